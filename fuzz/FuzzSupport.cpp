#include "FuzzSupport.h"

#include "support/ManualClock.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>

#include <cstdio>
#include <cstdlib>
#include <dirent.h>
#include <sys/stat.h>
#include <unistd.h>

namespace Fuzz {

namespace {

QString g_outer;
QString g_work;
QString g_seeds;

} // namespace

void setUp(int *argc, char ***argv)
{
    static QCoreApplication app(*argc, *argv);

    // Relative paths on the command line would move with the working
    // directory: the seed folder is taken before it changes.
    if (!qEnvironmentVariableIsEmpty("KLIMA_FUZZ_SEEDS"))
        g_seeds = QDir().absoluteFilePath(qEnvironmentVariable("KLIMA_FUZZ_SEEDS"));
    const QByteArray base = qEnvironmentVariableIsEmpty("TMPDIR") ? QByteArray("/tmp") : qgetenv("TMPDIR");
    QByteArray pattern = base + "/klima-fuzz-XXXXXX";
    if (!mkdtemp(pattern.data()))
        fail(QStringLiteral("no temporary folder under %1").arg(QString::fromLocal8Bit(base)));
    g_outer = QString::fromLocal8Bit(pattern);
    g_work = g_outer + QStringLiteral("/work");
    if (!QDir().mkdir(g_work) || !QDir::setCurrent(g_work))
        fail(QStringLiteral("cannot use %1 as the working directory").arg(g_work));
}

Clock &clock()
{
    static ManualClock manual;
    return manual;
}

QByteArray bytes(const uint8_t *data, size_t size)
{
    return QByteArray(reinterpret_cast<const char *>(data), static_cast<qsizetype>(size));
}

void writeWorkFile(const char *name, const QByteArray &bytes)
{
    QFile f(QString::fromLatin1(name));
    if (!f.open(QIODevice::WriteOnly | QIODevice::Truncate) || f.write(bytes) != bytes.size() || !f.flush())
        fail(QStringLiteral("cannot write %1: %2").arg(QString::fromLatin1(name), f.errorString()));
}

namespace {

// Names in a folder, without "." and "..".
QList<QByteArray> entries(const QString &folder)
{
    QList<QByteArray> names;
    DIR *dir = opendir(QFile::encodeName(folder).constData());
    if (!dir)
        fail(QStringLiteral("cannot list %1").arg(folder));
    while (const dirent *e = readdir(dir)) {
        const QByteArray name(e->d_name);
        if (name != "." && name != "..")
            names.append(name);
    }
    closedir(dir);
    return names;
}

} // namespace

QStringList workFiles()
{
    QStringList files;
    for (const QByteArray &name : entries(g_work)) {
        struct stat st;
        const QByteArray path = QFile::encodeName(g_work) + '/' + name;
        if (lstat(path.constData(), &st) != 0 || !S_ISREG(st.st_mode))
            fail(
                QStringLiteral("not a plain file in the working directory: %1").arg(QString::fromUtf8(name)));
        files.append(QFile::decodeName(name));
    }
    return files;
}

void clearWork()
{
    for (const QByteArray &name : entries(g_work)) {
        const QByteArray path = QFile::encodeName(g_work) + '/' + name;
        if (unlink(path.constData()) != 0)
            fail(QStringLiteral("cannot remove %1").arg(QString::fromUtf8(path)));
    }
}

void expectNothingBesideWork()
{
    const QList<QByteArray> names = entries(g_outer);
    if (names != QList<QByteArray>{"work"})
        fail(QStringLiteral("written outside the working directory: %1")
                 .arg(QString::fromUtf8(names.join(' '))));
}

void writeSeed(const char *name, const QByteArray &bytes)
{
    if (g_seeds.isEmpty())
        return;
    QFile f(g_seeds + QLatin1Char('/') + QString::fromLatin1(name));
    if (!f.open(QIODevice::WriteOnly | QIODevice::Truncate) || f.write(bytes) != bytes.size() || !f.flush())
        fail(QStringLiteral("cannot write the seed %1: %2").arg(f.fileName(), f.errorString()));
}

void fail(const QString &what)
{
    std::fprintf(stderr, "FINDING: %s\n", qUtf8Printable(what));
    std::fflush(stderr);
    std::abort();
}

} // namespace Fuzz

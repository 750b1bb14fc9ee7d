#include "platform/ServiceStore.h"

#include <QDir>
#include <QFile>
#include <QSaveFile>
#include <QStandardPaths>

DirectoryServiceStore::DirectoryServiceStore(QString dir) : m_dir(std::move(dir)) {}

QString DirectoryServiceStore::defaultDirectory()
{
    const QByteArray env = qgetenv("KLIMAWARTE_SERVICE_DIR");
    if (!env.isEmpty())
        return QString::fromLocal8Bit(env);
    QString state = QString::fromLocal8Bit(qgetenv("XDG_STATE_HOME"));
    if (state.isEmpty())
        state = QDir::homePath() + QStringLiteral("/.local/state");
    return state + QStringLiteral("/klimawarte/services/zav_sensor");
}

QString DirectoryServiceStore::fileFor(const QByteArray &name) const
{
    QDir dir(m_dir);
    const QString wanted = QString::fromLatin1(name);
    const QStringList files = dir.entryList(QDir::Files);
    for (const QString &f : files)
        if (f.compare(wanted, Qt::CaseInsensitive) == 0)
            return dir.filePath(f);
    return dir.filePath(wanted);
}

std::optional<QByteArray> DirectoryServiceStore::readValue(const QByteArray &name)
{
    if (!QDir(m_dir).exists())
        return std::nullopt;
    QFile f(fileFor(name));
    if (!f.open(QIODevice::ReadOnly))
        return std::nullopt;
    return f.readAll();
}

bool DirectoryServiceStore::writeValue(const QByteArray &name, const QByteArray &data)
{
    if (!QDir(m_dir).exists())
        return false;
    QSaveFile f(fileFor(name));
    if (!f.open(QIODevice::WriteOnly))
        return false;
    if (f.write(data) != data.size() || !f.flush()) {
        f.cancelWriting();
        return false;
    }
    return f.commit();
}

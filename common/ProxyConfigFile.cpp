#include "common/ProxyConfigFile.h"

#include "common/LoginTestTexts.h"
#include "common/StationConfigFormat.h"

#include <QFile>
#include <QFileInfo>
#include <QSaveFile>

#include <cerrno>

#include <unistd.h>

namespace ProxyConfigFile {

QByteArray format(const Values &v)
{
    return ConfigFormat::joinLines({
        KeyHost,
        v.ProxyHost,
        KeyPort,
        v.ProxyPort,
        KeyUser,
        v.ProxyUser,
        KeyPassword,
        v.ProxyPassword,
        KeyDestination,
        v.DestinationServer,
        KeyUseProxy,
        v.UseProxy ? QByteArrayLiteral("1") : QByteArrayLiteral("0"),
        KeySelection,
        v.Http ? QByteArrayLiteral("HTTP") : QByteArrayLiteral("SOCKS"),
    });
}

bool fitsLines(const Values &v)
{
    using ConfigFormat::fitsOneLine;
    return fitsOneLine(v.ProxyHost) && fitsOneLine(v.ProxyPort) && fitsOneLine(v.ProxyUser) &&
           fitsOneLine(v.ProxyPassword) && fitsOneLine(v.DestinationServer);
}

namespace {

// Why the file cannot be opened for replacing. For an existing file that
// may not be written (a read-only file system, a write-protected file)
// QSaveFile words the refusal itself, without the system's reason: that
// one comes from asking the system.
QString openFailure(const QString &path, const QSaveFile &file)
{
    const QByteArray name = QFile::encodeName(path);
    if (::access(name.constData(), F_OK) == 0 && ::access(name.constData(), W_OK) != 0)
        return qt_error_string(errno);
    return file.errorString();
}

} // namespace

bool write(const Values &values, const QString &path, QString *reason)
{
    const auto fail = [reason](const QString &why) {
        if (reason)
            *reason = why;
        return false;
    };
    // The dialogs refuse such a value with their message; this is the last
    // guard, and the old file stays as it is.
    if (!fitsLines(values))
        return fail(QString());
    QSaveFile file(path);
    if (!file.open(QIODevice::WriteOnly))
        return fail(openFailure(path, file));
    // The file holds the proxy password in plain text: the owner's alone,
    // also where an older file was readable by others.
    if (!file.setPermissions(QFileDevice::ReadOwner | QFileDevice::WriteOwner)) {
        const QString why = file.errorString(); // before cancelWriting puts its own text there
        file.cancelWriting();
        return fail(why);
    }
    const QByteArray bytes = format(values);
    // Flushed before the commit: a commit whose last buffered write fails
    // would put a cut file in place (seen with a full disk).
    if (file.write(bytes) != bytes.size() || !file.flush()) {
        const QString why = file.errorString();
        file.cancelWriting();
        return fail(why);
    }
    return file.commit() || fail(file.errorString());
}

QString writeFailureMessage(const QString &path, const QString &reason)
{
    return QString::fromUtf8(LoginTestTexts::ProxyFileNotWritten) +
           QString::fromLatin1(LoginTestTexts::LineBreak) + QFileInfo(path).absoluteFilePath() +
           QStringLiteral(": ") + reason;
}

namespace {

bool usesProxy(const QByteArray &value)
{
    return !value.isEmpty() && value != " " && value != "0";
}

} // namespace

bool readInto(ProxySettings &s, const QString &path, bool *passwordRead)
{
    if (passwordRead)
        *passwordRead = false;
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return false;
    ConfigFormat::LineReader in(file);
    std::optional<QByteArray> line;
    auto next = [&] { return (line = in.next()).has_value(); };

    if (!next() || !next())
        return false;
    s.ProxyHost = *line;
    if (!next() || !next())
        return false;
    s.ProxyPort = ConfigFormat::toInteger(*line).value_or(1080);
    if (!next() || !next())
        return false;
    s.ProxyUser = *line;
    if (!next() || !next())
        return false;
    s.ProxyPassword = *line;
    if (passwordRead)
        *passwordRead = true;

    // Key line of the destination pair, or already that of the use flag.
    if (!next())
        return false;
    if (*line == KeyDestination) {
        if (!next() || !next())
            return false;
    }
    if (!next())
        return false;
    s.UseProxy = usesProxy(*line);
    if (!next() || !next()) {
        s.ProxyKind = "HTTP";
        return false;
    }
    s.ProxyKind = *line;
    return true;
}

} // namespace ProxyConfigFile

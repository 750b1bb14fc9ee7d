#include "common/ProxyConfigFile.h"

#include "common/StationConfigFormat.h"

#include <QFile>
#include <QSaveFile>

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

bool write(const Values &values, const QString &path)
{
    // The dialogs refuse such a value with their message; this is the last
    // guard, and the old file stays as it is.
    if (!fitsLines(values))
        return false;
    QSaveFile file(path);
    if (!file.open(QIODevice::WriteOnly))
        return false;
    // The file holds the proxy password in plain text: the owner's alone,
    // also where an older file was readable by others.
    if (!file.setPermissions(QFileDevice::ReadOwner | QFileDevice::WriteOwner)) {
        file.cancelWriting();
        return false;
    }
    const QByteArray bytes = format(values);
    // Flushed before the commit: a commit whose last buffered write fails
    // would put a cut file in place (seen with a full disk).
    if (file.write(bytes) != bytes.size() || !file.flush()) {
        file.cancelWriting();
        return false;
    }
    return file.commit();
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

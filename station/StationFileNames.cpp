#include "station/StationFileNames.h"

#include "common/Text8.h"
#include "station/ConfigTexts.h"
#include "station/ConfigValueChecks.h"

namespace {

char digitOrLetter(int v)
{
    return static_cast<char>(v < 10 ? '0' + v : 'A' + (v - 10));
}

// Seven characters, so that the weekday digit and the hour character always
// land in their places.
QByteArray sevenCharacters(const QByteArray &stationId)
{
    QByteArray id = StationFileNames::plainId(stationId.left(7));
    while (id.size() < 7)
        id.append('-');
    return id;
}

} // namespace

namespace StationFileNames {

QByteArray plainId(const QByteArray &stationId)
{
    QByteArray id = stationId;
    for (char &c : id) {
        const auto u = static_cast<unsigned char>(c);
        if (u < 0x20 || u == 0x7F || c == '/' || c == '\\' || c == ':')
            c = '-';
    }
    if (id.contains(".."))
        id.replace('.', '-');
    return id;
}

QByteArray measureFileName(const QByteArray &stationId, const QDateTime &local)
{
    QByteArray name = sevenCharacters(stationId) + "_._MS";
    name[7] = static_cast<char>('0' + local.date().dayOfWeek() % 7);
    name[9] = digitOrLetter(local.time().hour());
    return name;
}

QByteArray errorFileName(const QByteArray &stationId, const QDateTime &local, int counter)
{
    QByteArray name = sevenCharacters(stationId) + "_.__R";
    name[7] = static_cast<char>('0' + local.date().dayOfWeek() % 7);
    name[9] = digitOrLetter(local.time().hour());
    name[10] = digitOrLetter(counter);
    return name;
}

QString configCopyName(const QByteArray &stationId)
{
    const QByteArray id = Text8::trimmed(stationId);
    if (!ConfigValueChecks::isPlainStationId(id))
        return QString();
    return Text8::toQString(id) + QString::fromLatin1(ConfigTexts::ConfigCopySuffix);
}

QString measureFilePattern(const QByteArray &stationId)
{
    return Text8::toQString(plainId(stationId) + "*.?MS");
}

QString errorFilePattern(const QByteArray &stationId)
{
    return Text8::toQString(plainId(stationId) + "?.??r");
}

} // namespace StationFileNames

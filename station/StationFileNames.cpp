#include "station/StationFileNames.h"

#include "common/Text8.h"
#include "station/ConfigTexts.h"
#include "station/ConfigValueChecks.h"

namespace {

char digitOrLetter(int v)
{
    return static_cast<char>(v < 10 ? '0' + v : 'A' + (v - 10));
}

constexpr qsizetype kIdLength = 7;

// The rest of a name after its identifier part matches the shape of a
// record ("*.?MS") or of an error file ("?.??R").
bool isMeasureRest(QStringView rest)
{
    return rest.size() >= 4 && rest[rest.size() - 4] == u'.' && rest.endsWith(u"MS", Qt::CaseInsensitive);
}

bool isErrorRest(QStringView rest)
{
    return rest.size() == 5 && rest[1] == u'.' && rest[4].toUpper() == u'R';
}

bool startsWithFileId(const QByteArray &stationId, const QString &name)
{
    return name.startsWith(Text8::toQString(StationFileNames::fileId(stationId)), Qt::CaseInsensitive);
}

bool isMeasureFileName(const QByteArray &stationId, const QString &name)
{
    return startsWithFileId(stationId, name) && isMeasureRest(QStringView(name).mid(kIdLength));
}

bool isErrorFileName(const QByteArray &stationId, const QString &name)
{
    return startsWithFileId(stationId, name) && isErrorRest(QStringView(name).mid(kIdLength));
}

QStringList matching(const QDir &dir, QDir::Filters filters, const QByteArray &stationId,
                     bool (*is)(const QByteArray &, const QString &))
{
    QStringList out;
    for (const QString &name : dir.entryList(filters, QDir::Name))
        if (is(stationId, name))
            out.append(name);
    return out;
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

// Seven characters, so that the weekday digit and the hour character always
// land in their places.
QByteArray fileId(const QByteArray &stationId)
{
    QByteArray id = plainId(stationId.left(kIdLength));
    while (id.size() < kIdLength)
        id.append('-');
    return id;
}

QByteArray measureFileName(const QByteArray &stationId, const QDateTime &local)
{
    QByteArray name = fileId(stationId) + "_._MS";
    name[7] = static_cast<char>('0' + local.date().dayOfWeek() % 7);
    name[9] = digitOrLetter(local.time().hour());
    return name;
}

QByteArray errorFileName(const QByteArray &stationId, const QDateTime &local, int counter)
{
    QByteArray name = fileId(stationId) + "_.__R";
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

QStringList measureFiles(const QDir &dir, const QByteArray &stationId)
{
    return matching(dir, QDir::Files | QDir::Hidden | QDir::System, stationId, isMeasureFileName);
}

QStringList errorFiles(const QDir &dir, const QByteArray &stationId)
{
    return matching(dir, QDir::Files | QDir::Hidden, stationId, isErrorFileName);
}

} // namespace StationFileNames

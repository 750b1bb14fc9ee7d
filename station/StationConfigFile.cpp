#include "station/StationConfigFile.h"

#include "common/StationConfigFormat.h"
#include "common/Text8.h"
#include "station/ConfigTexts.h"
#include "station/ConfigValueChecks.h"
#include "station/CpuTemperature.h"
#include "station/Notices.h"
#include "station/StationFileNames.h"

#include <QFile>
#include <QSaveFile>

#include <algorithm>

namespace {

constexpr int ComPortValueLine = 29; // zero-based: the value line of pair 15

QByteArray serverLine(const StationConfig &c)
{
    return Text8::trimmed(c.ServerHost) + ':' + Text8::trimmed(c.ServerPort);
}

QByteArray identifierLine(const StationConfig &c)
{
    const QByteArray id = Text8::trimmed(c.StationId);
    return c.ManualStationId ? '$' + id : id;
}

// Writes one file whole. The port box is read once lines 1 to 29 are written,
// before the value line of pair 15, when `takePort` is given.
bool writeConfigFile(const QString &name, StationConfig &config, const std::function<QByteArray()> *takePort)
{
    if (name.isEmpty())
        return false;
    // The files are read by position: a setting holding a line break or a
    // NUL never goes in (the checks refuse such texts before they become
    // settings; this is the last guard).
    if (!StationConfigFitsLines(config))
        return false;
    QByteArrayList lines = StationConfigFileLines(config);
    QSaveFile file(name);
    if (!file.open(QIODevice::WriteOnly))
        return false;
    const QByteArray head = ConfigFormat::joinLines(lines.mid(0, ComPortValueLine));
    if (file.write(head) != head.size()) {
        file.cancelWriting();
        return false;
    }
    if (takePort) {
        const QByteArray port = (*takePort)();
        if (!ConfigValueChecks::fitsOneLine(port)) {
            file.cancelWriting();
            return false;
        }
        config.ComPort = port;
        lines[ComPortValueLine] = Text8::trimmed(config.ComPort);
    }
    const QByteArray tail = ConfigFormat::joinLines(lines.mid(ComPortValueLine));
    // Flushed before the commit: a commit whose last buffered write fails
    // would put a cut file in place (seen with a full disk).
    if (file.write(tail) != tail.size() || !file.flush()) {
        file.cancelWriting();
        return false;
    }
    return file.commit();
}

} // namespace

QByteArrayList StationConfigFileLines(const StationConfig &c)
{
    using ConfigFormat::booleanText;
    const QByteArray values[17] = {Text8::trimmed(c.TempMin),
                                   Text8::trimmed(c.TempMax),
                                   Text8::trimmed(c.RHMin),
                                   Text8::trimmed(c.RHMax),
                                   Text8::trimmed(c.TPMin),
                                   Text8::trimmed(c.TPMax),
                                   Text8::trimmed(c.TTPMin),
                                   Text8::trimmed(c.TTPMax),
                                   booleanText(c.CheckRX),
                                   booleanText(c.CheckRI),
                                   booleanText(c.CheckDC),
                                   booleanText(c.CheckCTS),
                                   identifierLine(c),
                                   serverLine(c),
                                   Text8::trimmed(c.ComPort),
                                   Text8::trimmed(c.AlarmInterval),
                                   Text8::trimmed(c.CpuMaxTempDistance)};
    QByteArrayList lines;
    for (int i = 0; i < 17; ++i) {
        lines.append(ConfigFormat::StationKeys[i]);
        lines.append(values[i]);
    }
    return lines;
}

QByteArray StationConfigFileBytes(const StationConfig &config)
{
    return ConfigFormat::joinLines(StationConfigFileLines(config));
}

bool StationConfigFitsLines(const StationConfig &config)
{
    const QByteArrayList lines = StationConfigFileLines(config);
    return std::all_of(lines.cbegin(), lines.cend(),
                       [](const QByteArray &line) { return ConfigValueChecks::fitsOneLine(line); });
}

QString StationIdCopyFileName(const QByteArray &stationId)
{
    return StationFileNames::configCopyName(stationId);
}

void SaveStationConfigFiles(StationConfig &config, const std::function<QByteArray()> &portBoxText,
                            NoticeSink &notices)
{
    if (!writeConfigFile(QString::fromLatin1(ConfigTexts::ConfigFileName), config, &portBoxText))
        notices.show(Text8::cp(ConfigTexts::WriteConfigError1));
    if (!writeConfigFile(StationIdCopyFileName(config.StationId), config, nullptr))
        notices.show(Text8::cp(ConfigTexts::WriteConfigError2));
}

bool ReadStationConfigFile(StationConfig &config, StationState &state)
{
    const QString name = QString::fromLatin1(ConfigTexts::ConfigFileName);
    QFile file(name);
    if (!file.open(QIODevice::ReadOnly)) {
        QFile::rename(QString::fromLatin1(ConfigTexts::ConfigSaveName), name);
        if (!file.open(QIODevice::ReadOnly))
            return true;
    }

    ConfigFormat::LineReader in(file);
    for (int pair = 0; pair < 17; ++pair) {
        const auto key = in.next();
        const auto value = key ? in.next() : std::nullopt;
        if (!value)
            return true; // pairs read so far have been applied
        const QByteArray &v = *value;
        switch (pair) {
        case 0:
            config.TempMin = v;
            break;
        case 1:
            config.TempMax = v;
            break;
        case 2:
            config.RHMin = v;
            break;
        case 3:
            config.RHMax = v;
            break;
        case 4:
            config.TPMin = v;
            break;
        case 5:
            config.TPMax = v;
            break;
        case 6:
            config.TTPMin = v;
            break;
        case 7:
            config.TTPMax = v;
            break;
        case 8:
        case 9:
        case 10:
        case 11: {
            bool *flags[4] = {&config.CheckRX, &config.CheckRI, &config.CheckDC, &config.CheckCTS};
            if (const auto b = ConfigFormat::toBoolean(v))
                *flags[pair - 8] = *b;
            break;
        }
        case 12: {
            QByteArray id = Text8::trimmed(v);
            config.ManualStationId = false;
            if (id.size() == 8 && id.startsWith('$')) {
                config.ManualStationId = true;
                id = id.mid(1);
            }
            config.StationId = id;
            break;
        }
        case 13: {
            QByteArray host = v;
            QByteArray port = "2000";
            const qsizetype colon = v.indexOf(':');
            if (!v.isEmpty() && colon >= 0) {
                host = v.left(colon);
                port = v.mid(colon + 1);
            }
            if (ConfigFormat::toInteger(port))
                config.ServerPort = port;
            config.ServerHost = host;
            break;
        }
        case 14:
            config.ComPort = v;
            break;
        case 15:
            config.AlarmInterval = v;
            break;
        case 16:
            config.CpuMaxTempDistance = v;
            state.CpuTempLimit =
                CpuLimitFromDistance(state.CpuTjMax.load(), state.CpuTempLimit, config.CpuMaxTempDistance);
            break;
        }
    }
    return false;
}

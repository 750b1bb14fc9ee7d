#include "common/ViewerProtocol.h"

#include "common/StationConfigFormat.h"
#include "common/Text8.h"
#include "common/ViewerTexts.h"

#include <utility>

namespace ViewerProtocol {

namespace {

constexpr qsizetype MinStationIdLength = 7;

QByteArray setting(const QByteArray &value)
{
    return value + ' ';
}

QByteArray integerText(qint32 value)
{
    return QByteArray::number(value);
}

// Cuts a final "$$$"; true when there was one.
bool cutManualSuffix(QByteArray &id)
{
    if (!id.endsWith(ViewerTexts::ManualIdSuffix))
        return false;
    id.chop(qsizetype(sizeof(ViewerTexts::ManualIdSuffix) - 1));
    return true;
}

qint32 integerOr(const QByteArray &text, qint32 fallback)
{
    return ConfigFormat::toInteger(text).value_or(fallback);
}

} // namespace

QByteArray startText()
{
    return ViewerTexts::Start;
}

QByteArray okText()
{
    return ViewerTexts::Ok;
}

QByteArray configText()
{
    return ViewerTexts::Config;
}

QByteArray repeatText()
{
    return ViewerTexts::Repeat;
}

QByteArray stationBreakText()
{
    return ViewerTexts::StationBreak;
}

QByteArray viewerBreakText()
{
    return ViewerTexts::ViewerBreak;
}

QByteArray cpuNotAvailableText()
{
    return Text8::cp(ViewerTexts::CpuNotAvailable);
}

QByteArray booleanText(bool value)
{
    return value ? QByteArrayLiteral("-1") : QByteArrayLiteral("0");
}

std::optional<bool> readBoolean(const QByteArray &text)
{
    return ConfigFormat::toBoolean(Text8::trimmed(text));
}

QByteArray padStationId(const QByteArray &stationId)
{
    QByteArray id = stationId;
    while (id.size() < MinStationIdLength)
        id.append(ViewerTexts::IdFill);
    if (id == ViewerTexts::UnsetId)
        id = ViewerTexts::UnsetIdReplacement;
    return id;
}

QByteArray stationIdText(const QByteArray &stationId, bool manualStationId, const QByteArray &deviceStationId)
{
    if (manualStationId && !deviceStationId.isEmpty())
        return deviceStationId + ViewerTexts::ManualIdSuffix;
    return setting(padStationId(stationId));
}

QByteArray measurementText(int index, const MeasurementInputs &in)
{
    switch (index) {
    case 0:
        return startText();
    case 1:
        return in.MeasureTime;
    case 2:
        return integerText(in.RawTemp);
    case 3:
        return integerText(in.RawHumidity);
    case 4:
        return in.CpuTemp >= 1 ? integerText(in.CpuTemp) : cpuNotAvailableText();
    case 5:
        return integerText(in.CpuTjMax);
    case 6:
        return setting(in.TempMin);
    case 7:
        return setting(in.TempMax);
    case 8:
        return setting(in.TPMin);
    case 9:
        return setting(in.TPMax);
    case 10:
        return setting(in.TTPMin);
    case 11:
        return setting(in.TTPMax);
    case 12:
        return setting(in.RHMin);
    case 13:
        return setting(in.RHMax);
    case 14:
        return booleanText(in.RIStat);
    case 15:
        return booleanText(in.CheckRI);
    case 16:
        return booleanText(in.CheckDC);
    case 17:
        return booleanText(in.DCStat);
    case 18:
        return stationIdText(in.StationId, in.ManualStationId, in.DeviceStationId);
    case 19:
        return setting(in.ServerHost + ':' + in.ServerPort);
    case 20:
        return setting(in.ComPort);
    case 21:
        return setting(in.LastErrorCaption);
    case 22:
        return setting(in.AlarmInterval);
    case 23:
        return setting(in.CpuMaxTempDistance);
    default:
        return {};
    }
}

QByteArrayList measurementTexts(const MeasurementInputs &in)
{
    QByteArrayList texts;
    texts.reserve(MeasurementTextCount);
    for (int i = 0; i < MeasurementTextCount; ++i)
        texts.append(measurementText(i, in));
    return texts;
}

QByteArrayList remoteConfigTexts(const RemoteConfigInputs &in)
{
    QByteArray id = setting(in.StationId);
    if (in.ManualStationId)
        id += ViewerTexts::ManualIdSuffix;
    return {setting(in.TempMin),
            setting(in.TempMax),
            setting(in.TPMin),
            setting(in.TPMax),
            setting(in.TTPMin),
            setting(in.TTPMax),
            setting(in.RHMin),
            setting(in.RHMax),
            booleanText(in.CheckRX),
            booleanText(in.CheckRI),
            booleanText(in.CheckDC),
            booleanText(in.CheckCTS),
            id,
            setting(in.Server),
            setting(in.ComPort),
            setting(in.AlarmInterval),
            setting(in.CpuMaxTempDistance)};
}

ReceivedStationId readConfigStationId(const QByteArray &text)
{
    QByteArray id = padStationId(Text8::trimmed(text));
    ReceivedStationId result;
    result.ManualStationId = cutManualSuffix(id);
    result.Id = Text8::trimmed(id);
    return result;
}

ReceivedServer readServerText(const QByteArray &text)
{
    const QByteArray server = Text8::trimmed(text);
    ReceivedServer result;
    QByteArray port = ViewerTexts::DefaultServerPort;
    const qsizetype colon = server.indexOf(':');
    if (colon < 0) {
        result.Host = server;
    } else {
        result.Host = server.left(colon);
        port = server.mid(colon + 1);
    }
    if (ConfigFormat::toInteger(port))
        result.Port = port;
    return result;
}

std::optional<ReceivedConfig> readRemoteConfig(const QByteArrayList &texts)
{
    if (texts.size() != RemoteConfigTextCount)
        return std::nullopt;
    const auto text = [&](int item) { return Text8::trimmed(texts.at(item - 1)); };
    ReceivedConfig c;
    c.TempMin = text(1);
    c.TempMax = text(2);
    c.TPMin = text(3);
    c.TPMax = text(4);
    c.TTPMin = text(5);
    c.TTPMax = text(6);
    c.RHMin = text(7);
    c.RHMax = text(8);
    c.CheckRX = readBoolean(texts.at(8));
    c.CheckRI = readBoolean(texts.at(9));
    c.CheckDC = readBoolean(texts.at(10));
    c.CheckCTS = readBoolean(texts.at(11));
    c.StationId = readConfigStationId(texts.at(12));
    c.Server = readServerText(texts.at(13));
    c.ComPort = text(15);
    c.AlarmInterval = text(16);
    c.CpuMaxTempDistance = text(17);
    return c;
}

ReceivedStationId readMeasurementStationId(const QByteArray &text)
{
    QByteArray id = Text8::upper(Text8::trimmed(text));
    ReceivedStationId result;
    result.ManualStationId = cutManualSuffix(id);
    result.Id = Text8::trimmed(id);
    return result;
}

MeasurementReader::Step MeasurementReader::take(const QByteArray &text)
{
    Step step;
    if (text == ViewerTexts::StationBreak) {
        step.stationBreak = true;
        step.index = m_index;
        return step;
    }
    if (text == ViewerTexts::Start)
        m_index = 0;
    else
        ++m_index;
    if (m_index > LastMeasurementIndex) {
        m_index = -1;
        return step;
    }
    step.index = m_index;

    ReceivedMeasurement &v = m_values;
    switch (m_index) {
    case 1:
        v.MeasureTime = text;
        break;
    case 2:
        v.RawTemp = integerOr(text, 0);
        break;
    case 3:
        v.RawHumidity = integerOr(text, 0);
        break;
    case 4:
        v.CpuText = Text8::trimmed(text);
        v.CpuTemp = ConfigFormat::toInteger(v.CpuText);
        break;
    case 5:
        v.CpuTjMax = integerOr(Text8::trimmed(text), 85);
        break;
    case 6:
    case 7:
    case 8:
    case 9:
    case 10:
    case 11:
    case 12:
    case 13:
        v.Limits[std::size_t(m_index - 6)] = text;
        break;
    case 14:
        v.RIStat = readBoolean(text);
        break;
    case 15:
        v.CheckRI = readBoolean(text);
        break;
    case 16:
        v.CheckDC = readBoolean(text);
        break;
    case 17:
        v.DCStat = readBoolean(text);
        break;
    case 18:
        v.StationId = readMeasurementStationId(text);
        break;
    case 19:
        v.Server = Text8::trimmed(text);
        break;
    case 20:
        v.ComPort = Text8::trimmed(text);
        break;
    case 21:
        v.LastError = Text8::trimmed(text);
        break;
    case 22:
        v.AlarmInterval = Text8::trimmed(text);
        break;
    case 23:
        v.CpuMaxTempDistance = Text8::trimmed(text);
        break;
    default:
        break;
    }
    return step;
}

std::optional<QByteArray> MeasurementReader::answer(const Step &step, bool disconnectRequested)
{
    if (step.stationBreak)
        return std::nullopt;
    if (disconnectRequested && step.index == LastMeasurementIndex)
        return viewerBreakText();
    return okText();
}

ConfigReply readConfigReply(const QByteArray &received)
{
    // The station's answer comes last in a read: whatever stands before it
    // was sent before the "<CONFIG>" reached the station. No text of a
    // measurement message ends in one of these.
    ConfigReply reply;
    for (const auto &[text, kind] : {std::pair{ViewerTexts::StationBreak, ConfigReply::Kind::StationBreak},
                                     std::pair{ViewerTexts::Repeat, ConfigReply::Kind::Again},
                                     std::pair{ViewerTexts::Ok, ConfigReply::Kind::Ok}}) {
        if (received.endsWith(text)) {
            reply.kind = kind;
            reply.answer = text;
            return reply;
        }
    }
    return reply;
}

} // namespace ViewerProtocol

// Feeds arbitrary station texts to the viewer's message reader and arbitrary
// configuration texts to the station's reader. The input is split into
// texts at NUL bytes; the first byte chooses the disconnect request.

#include "common/ViewerProtocol.h"

#include <QByteArray>
#include <QByteArrayList>

#include <cstddef>
#include <cstdint>
#include <cstdlib>

namespace {

void check(bool condition)
{
    if (!condition)
        std::abort();
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    if (size == 0)
        return 0;
    const bool disconnect = (data[0] & 1) != 0;
    const QByteArray input(reinterpret_cast<const char *>(data + 1), qsizetype(size - 1));
    const QByteArrayList texts = input.split('\0');

    ViewerProtocol::MeasurementReader reader;
    for (const QByteArray &text : texts) {
        const auto step = reader.take(text);
        check(step.index >= -1 && step.index <= ViewerProtocol::LastMeasurementIndex);
        check(reader.index() == step.index || step.stationBreak);
        const auto answer = ViewerProtocol::MeasurementReader::answer(step, disconnect);
        check(answer.has_value() != step.stationBreak);
        if (step.stationBreak)
            break;
    }
    const ViewerProtocol::ReceivedMeasurement &v = reader.values();
    check(!v.StationId.Id.endsWith(' '));

    QByteArrayList config = texts.mid(0, ViewerProtocol::RemoteConfigTextCount);
    if (const auto received = ViewerProtocol::readRemoteConfig(config)) {
        check(config.size() == ViewerProtocol::RemoteConfigTextCount);
        check(received->StationId.Id.size() <= qMax<qsizetype>(7, config.at(12).size()));
        if (received->Server.Port)
            check(!received->Server.Port->isEmpty());
    } else {
        check(config.size() != ViewerProtocol::RemoteConfigTextCount);
    }
    for (const QByteArray &text : texts) {
        const auto id = ViewerProtocol::readConfigStationId(text);
        check(id.takesId() == !id.Id.isEmpty());
        ViewerProtocol::readServerText(text);
        ViewerProtocol::readBoolean(text);
    }
    return 0;
}

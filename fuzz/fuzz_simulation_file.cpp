// The simulated sensor stick's file: the key=value parser on any text, and
// the bounded reader on the same bytes as a file. Applying a text twice
// changes nothing more than applying it once.

#include "FuzzSupport.h"

#include "platform/SimulatedSensorStick.h"

#include <QtGlobal>

namespace {

void quiet(QtMsgType, const QMessageLogContext &, const QString &)
{}

} // namespace

extern "C" int LLVMFuzzerInitialize(int *argc, char ***argv)
{
    Fuzz::setUp(argc, argv);
    qInstallMessageHandler(quiet); // the reader reports long files
    Fuzz::writeSeed("sim-all-keys", "raw_temp=6000\nraw_humidity=1500\nring=0\ndcd=1\nack=1\nzero=0\n");
    Fuzz::writeSeed("sim-comments",
                    "# comment\r\n raw_temp = -2147483648 \r\nfoo=1\r\nraw_humidity=+99999999999\r\n");
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    const QByteArray text = Fuzz::bytes(data, size);
    SensorStickValues once;
    SensorSimulation::applyFile(text, once);
    SensorStickValues twice = once;
    SensorSimulation::applyFile(text, twice);
    if (!(once == twice))
        Fuzz::fail(QStringLiteral("applying the file twice gave other values"));

    Fuzz::writeWorkFile("sensor.txt", text);
    SensorSimulation::FileReader reader(QStringLiteral("sensor.txt"));
    SensorStickValues read;
    const auto result = reader.apply(read);
    const bool fits = text.size() <= SensorSimulation::MaxFileSize;
    if (result !=
        (fits ? SensorSimulation::FileReader::Result::Applied : SensorSimulation::FileReader::Result::TooBig))
        Fuzz::fail(QStringLiteral("the reader judged a file of %1 bytes wrongly").arg(text.size()));
    if (fits ? !(read == once) : !(read == SensorStickValues{}))
        Fuzz::fail(QStringLiteral("the reader's values differ from the parser's"));
    Fuzz::clearWork();
    return 0;
}

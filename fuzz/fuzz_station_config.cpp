// r2arodire.cfg as the start-up reader takes it: any bytes, read by position.
// The reader keeps values untrimmed and the save trims them, and the reader
// corrects a CPU distance out of range: after one save and read the settings
// are settled, and saving and reading them again must change nothing. The
// identifier copy must stay a plain name.

#include "FuzzSupport.h"

#include "common/StationConfigFormat.h"
#include "station/ConfigTexts.h"
#include "station/StationConfigFile.h"

namespace {

QByteArray readAndSave(const QByteArray &file, StationConfig &config)
{
    Fuzz::writeWorkFile(ConfigTexts::ConfigFileName, file);
    StationState state;
    if (ReadStationConfigFile(config, state))
        Fuzz::fail(QStringLiteral("a readable r2arodire.cfg was reported as a read error"));
    return StationConfigFileBytes(config);
}

} // namespace

extern "C" int LLVMFuzzerInitialize(int *argc, char ***argv)
{
    Fuzz::setUp(argc, argv);
    StationConfig config;
    config.TempMin = "5";
    config.TempMax = "30";
    config.RHMin = "20";
    config.RHMax = "80";
    config.StationId = "ABCDEFG";
    config.ServerHost = "heron.example";
    config.ComPort = "COM3:";
    config.AlarmInterval = "60";
    config.CpuMaxTempDistance = "10";
    config.CheckRI = true;
    Fuzz::writeSeed("station-config-saved", StationConfigFileBytes(config));
    config.ManualStationId = true;
    config.ServerPort = "2001";
    Fuzz::writeSeed("station-config-manual-id", StationConfigFileBytes(config));
    Fuzz::writeSeed("station-config-short", "Temp-Min\r\n-5\r\nTemp-Max\n+40\r\r\n");
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    StationConfig first;
    StationConfig second;
    StationConfig third;
    const QByteArray saved = readAndSave(readAndSave(Fuzz::bytes(data, size), first), second);
    const QByteArray savedAgain = readAndSave(saved, third);
    if (savedAgain != saved || !(third == second))
        Fuzz::fail(
            QStringLiteral("saved configuration reads back differently:\n%1\n%2")
                .arg(QString::fromLatin1(saved.toHex(' ')), QString::fromLatin1(savedAgain.toHex(' '))));
    const QString copy = StationIdCopyFileName(first.StationId);
    if (copy.contains(QLatin1Char('/')) || copy.contains(QChar(0)))
        Fuzz::fail(QStringLiteral("identifier copy outside the working directory: %1").arg(copy));
    Fuzz::clearWork();
    return 0;
}

#include "common/LocaleFormat.h"
#include "common/Text8.h"
#include "platform/SimulatedSensorStick.h"
#include "station/MeasurementTexts.h"
#include "station/MyThread.h"
#include "station/StationCore.h"
#include "support/ManualClock.h"
#include "support/RecordingView.h"
#include "support/ScopedLocale.h"
#include "support/TestPlatform.h"

#include "support/TempDir.h"
#include "support/WarningCatcher.h"

#include <gtest/gtest.h>

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QFile>
#include <QTemporaryDir>

#include <cstdlib>
#include <functional>

namespace {

void writeFile(const QString &path, const QByteArray &text)
{
    QFile f(path);
    ASSERT_TRUE(f.open(QIODevice::WriteOnly | QIODevice::Truncate));
    f.write(text);
}

} // namespace

// The file-driven stick behind the measurement thread, step by step.
TEST(SensorSimulationFile, ChangedFileReachesTheReadingsWithinTwoRounds)
{
    ScopedWorkDir workDir;
    ManualClock clock;
    ScopedLocale locale(QLocale(QLocale::German, QLocale::Germany));
    QTemporaryDir dir;
    const QString path = dir.filePath("sensor.txt");
    writeFile(path, "ring=1\n");

    RecordingView view;
    StationCore core(view, platformWith(clock));
    auto stick = SensorSimulation::fileDrivenStick(path);
    MyThread thread(core,
                    [stick](const QByteArray &) { return std::make_unique<SimulatedSensorPort>(stick); });
    thread.threadStart();
    core.state.ComPortName = QByteArray(SensorSimulation::PortName);
    core.state.BaudRate = 19200;
    core.state.SensorRunning = true;

    auto rounds = [&](int n) {
        const int target = thread.humidityQueries() + n;
        while (thread.humidityQueries() < target)
            ASSERT_TRUE(thread.step());
    };
    rounds(2);
    EXPECT_EQ(core.state.RawTemp, 6000) << "start values for keys the file does not give";
    EXPECT_EQ(core.state.RawHumidity, 1500);
    EXPECT_EQ(stick->values().ring, true);

    // Changed between the temperature and the humidity query of a round.
    while (!(thread.phase() == MyThread::Phase::QueryLoop && thread.QueryStep == 1))
        ASSERT_TRUE(thread.step());
    writeFile(path, "raw_temp=7000\nraw_humidity=2000\n");
    rounds(1);
    EXPECT_EQ(core.state.RawHumidity, 2000);
    rounds(1);
    EXPECT_EQ(core.state.RawTemp, 7000);
    EXPECT_TRUE(view.lines.last().endsWith(" Sensor(RH): 7:208:163"));
    EXPECT_TRUE(view.lines[view.lines.size() - 2].endsWith(" Sensor(T): 27:88:121"));
    EXPECT_EQ(stick->values().ring, true) << "a missing key keeps its last value";

    writeFile(path, "ack=0\n");
    while (core.state.ComHandle.load() != -1)
        ASSERT_TRUE(thread.step());
    EXPECT_TRUE(view.lines.last().startsWith("***Sensor-Fehler bei"));
    thread.threadEnd();
}

// A file without end (or a huge one) is not read: measuring goes on with the
// values the stick had, and the file is reported once, not at every query.
TEST(SensorSimulationFile, EndlessFileMeasuresWithTheLastValues)
{
    ScopedWorkDir workDir;
    ManualClock clock;
    WarningCatcher warnings;

    RecordingView view;
    StationCore core(view, platformWith(clock));
    auto stick = SensorSimulation::fileDrivenStick(QStringLiteral("/dev/zero"));
    MyThread thread(core,
                    [stick](const QByteArray &) { return std::make_unique<SimulatedSensorPort>(stick); });
    thread.threadStart();
    core.state.ComPortName = QByteArray(SensorSimulation::PortName);
    core.state.BaudRate = 19200;
    core.state.SensorRunning = true;

    while (thread.humidityQueries() < 3)
        ASSERT_TRUE(thread.step());
    EXPECT_EQ(core.state.RawTemp, 6000);
    EXPECT_EQ(core.state.RawHumidity, 1500);
    EXPECT_GE(stick->commandsReceived(), 6);
    EXPECT_EQ(warnings.take().size(), 1);
    thread.threadEnd();
}

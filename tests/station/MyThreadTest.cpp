#include "station/MyThread.h"
#include "common/LocaleFormat.h"
#include "common/Text8.h"
#include "platform/SimulatedSensorStick.h"
#include "station/MeasurementTexts.h"
#include "station/StationCore.h"
#include "station/StationTexts.h"
#include "support/FailingFileCalls.h"
#include "support/ManualClock.h"
#include "support/RecordingView.h"
#include "support/ScopedLocale.h"
#include "support/TestPlatform.h"

#include "support/TempDir.h"

#include <gtest/gtest.h>

#include <memory>

namespace {

QByteArray cp(const char *s)
{
    return Text8::cp(s);
}

// The measurement thread driven step by step on the test's thread, with the
// simulated stick on its port and a manual clock.
struct MyThreadCycle : ::testing::Test
{
    ScopedWorkDir workDir; // the evaluation writes its log and record files here
    ManualClock clock;
    ScopedLocale locale{QLocale(QLocale::German, QLocale::Germany)};
    RecordingView view;
    StationCore core{view, platformWith(clock)};
    StationState &s = core.state;
    std::shared_ptr<SimulatedSensorStick> stick = std::make_shared<SimulatedSensorStick>(true);
    QList<QByteArray> openedPaths;
    MyThread thread{core, [this](const QByteArray &path) {
                        openedPaths.append(path);
                        return std::make_unique<SimulatedSensorPort>(stick);
                    }};

    void SetUp() override { thread.threadStart(); }

    void startPolling(const QByteArray &port = "COM3:")
    {
        s.ComPortName = port;
        s.BaudRate = 19200;
        s.LineInvert = 1;
        s.SensorRunning = true;
        core.mirror.StartButtonStop = true;
    }

    // Runs the body until n more humidity queries were made.
    void rounds(int n)
    {
        const int target = thread.humidityQueries() + n;
        for (int i = 0; i < 10000 && thread.humidityQueries() < target; ++i)
            ASSERT_TRUE(thread.step());
        ASSERT_EQ(thread.humidityQueries(), target);
    }

    // Runs the body until the query loop is about to query the temperature.
    void untilTemperatureQuery()
    {
        for (int i = 0; i < 10000; ++i) {
            if (thread.phase() == MyThread::Phase::QueryLoop && thread.QueryStep == 0)
                return;
            ASSERT_TRUE(thread.step());
        }
        FAIL() << "no temperature query";
    }

    QByteArray now() const { return LocaleFormat::dateTime(clock.localDateTime()); }
};

} // namespace

TEST(MyThreadConversion, RawTicksToValues)
{
    struct Case
    {
        qint32 rawTemp, rawHumidity, lineInvert;
        double T, RHlin, RH, TP;
    } cases[] = {
        {6000, 1500, 1, 19.4, 52.55, 52.4268, 9.4551},
        {6000, 1500, 0, 20.4, 50.45, 50.3488, 9.7700},
        // A line inversion of 2 counts as not 1 for the conversion.
        {6000, 1500, 2, 20.4, 50.45, 50.3488, 9.7700},
        // No humidity reading: the dew point falls back to logEW = 3.0.
        {0, 0, 1, -39.4, -1.9, -2.544, 107.5613},
        {0, 0, 0, -38.4, -4.0, -4.634, 107.5613},
    };
    for (const Case &c : cases) {
        const SensorConversion v = MyThread::convert(c.rawTemp, c.rawHumidity, c.lineInvert);
        SCOPED_TRACE(testing::Message() << c.rawTemp << "/" << c.rawHumidity << "/" << c.lineInvert);
        EXPECT_NEAR(v.T, c.T, 1e-9);
        EXPECT_NEAR(v.RHlin, c.RHlin, 1e-9);
        EXPECT_NEAR(v.RH, c.RH, 5e-5);
        EXPECT_NEAR(v.TP, c.TP, 5e-5);
    }
    const SensorConversion worked = MyThread::convert(6000, 1500, 1);
    EXPECT_NEAR(worked.T - worked.TP, 9.9449, 5e-5);
    EXPECT_EQ(MyThread::convert(0, 0, 1).logEW, 3.0);
}

TEST(MyThreadDevicePath, PortNameWithoutItsColon)
{
    EXPECT_EQ(MyThread::devicePath("COM3:"), "\\\\.\\COM3");
    EXPECT_EQ(MyThread::devicePath("COM12:"), "\\\\.\\COM12");
}

TEST_F(MyThreadCycle, WorkedExampleAfterTheFirstReadingsSettle)
{
    startPolling();
    rounds(1);
    ASSERT_GE(view.lines.size(), 3);
    EXPECT_EQ(view.lines[0], cp(MeasurementTexts::PortActivated));
    // MeasureTime is still empty before the first evaluation.
    EXPECT_EQ(view.lines[1], " Sensor(T): 23:112:242");
    EXPECT_EQ(view.lines[2], " Sensor(RH): 5:220:134");
    EXPECT_EQ(openedPaths, QList<QByteArray>{"\\\\.\\COM3"});
    EXPECT_EQ(stick->baudRate(), 19200);

    // PreviousTemp starts at 0.0: 19.4 is dropped four times, the fifth is
    // evaluated as invalid, the sixth is valid.
    EXPECT_EQ(thread.evaluations(), 0);
    rounds(4);
    ASSERT_EQ(thread.evaluations(), 1);
    EXPECT_FALSE(thread.lastEvaluation().ReadingValid);
    const QByteArray previousTime = s.MeasureTime.get();
    clock.advance(2000);
    rounds(1);
    ASSERT_EQ(thread.evaluations(), 2);
    const EvaluationInput e = thread.lastEvaluation();
    EXPECT_TRUE(e.ReadingValid);
    EXPECT_FALSE(e.SensorFault);
    EXPECT_NEAR(e.T, 19.4, 5e-5);
    EXPECT_NEAR(thread.Values.RHlin, 52.55, 5e-5);
    EXPECT_NEAR(e.RH, 52.4268, 5e-5);
    EXPECT_NEAR(e.TP, 9.4551, 5e-5);
    EXPECT_NEAR(e.T - e.TP, 9.9449, 5e-5);
    EXPECT_EQ(s.RawTemp, 6000);
    EXPECT_EQ(s.RawHumidity, 1500);
    EXPECT_EQ(s.MeasureTime.get(), now());
    // The answer lines carry the time of the previous evaluation.
    EXPECT_NE(previousTime, s.MeasureTime.get());
    EXPECT_EQ(view.lines.mid(view.lines.size() - 2),
              (QList<QByteArray>{previousTime + " Sensor(T): 23:112:242",
                                 previousTime + " Sensor(RH): 5:220:134"}));
    EXPECT_EQ(s.AlarmSensor.SensorErrorCount, 0);
    EXPECT_EQ(core.semaphore.available(), 1);
}

TEST_F(MyThreadCycle, ImplausibleTemperaturesAreDroppedFourTimes)
{
    startPolling();
    rounds(6); // settled at 19.4
    ASSERT_EQ(thread.evaluations(), 2);

    // 7082 ticks: 30.0 degrees, more than 5 away from 19.4.
    stick->setRawTemp(7082);
    for (int i = 1; i <= 2; ++i) {
        stick->setRawHumidity(1500 + i);
        rounds(1);
        EXPECT_EQ(thread.evaluations(), 2);
        EXPECT_EQ(thread.ImplausibleCount, i);
        EXPECT_EQ(s.RawHumidity, 1500 + i) << "the humidity is kept";
        EXPECT_EQ(thread.QueryStep, 0) << "the next query is the temperature again";
    }
    // A plausible reading in between resets the count.
    stick->setRawTemp(6000);
    rounds(1);
    EXPECT_EQ(thread.evaluations(), 3);
    EXPECT_EQ(thread.ImplausibleCount, 0);

    stick->setRawTemp(7082);
    for (int i = 1; i <= 4; ++i) {
        const int commands = stick->commandsReceived();
        const QByteArray timeBefore = s.MeasureTime.get();
        clock.advance(1000);
        rounds(1);
        EXPECT_EQ(stick->commandsReceived(), commands + 2) << "no idle step after a dropped reading";
        EXPECT_NE(s.MeasureTime.get(), timeBefore);
        EXPECT_EQ(thread.evaluations(), 3);
        EXPECT_NEAR(thread.PreviousTemp, 19.4, 1e-9);
    }
    rounds(1);
    ASSERT_EQ(thread.evaluations(), 4);
    EXPECT_FALSE(thread.lastEvaluation().ReadingValid);
    EXPECT_NEAR(thread.lastEvaluation().T, 30.0036, 5e-5);
    EXPECT_NEAR(thread.PreviousTemp, 30.0036, 5e-5);
    rounds(1);
    EXPECT_TRUE(thread.lastEvaluation().ReadingValid);
}

TEST_F(MyThreadCycle, MissingTemperatureAcknowledgeReopensAndQueriesHumidity)
{
    startPolling();
    rounds(1);
    untilTemperatureQuery();
    view.lines.clear();
    stick->setAcknowledge(false);
    ASSERT_TRUE(thread.step());

    EXPECT_EQ(s.ComHandle.load(), -1);
    EXPECT_FALSE(stick->portOpen());
    EXPECT_EQ(view.lines,
              (QList<QByteArray>{cp(StationTexts::ComPortError), cp(MeasurementTexts::NoAckTemperature)}));
    EXPECT_EQ(s.AlarmSensor.SensorErrorCount, 2) << "one from the query, one from the COM-port branch";
    EXPECT_EQ(s.RawTemp, 0);
    EXPECT_EQ(view.texts[ValueDisplay::T], " ");
    EXPECT_EQ(view.texts[ValueDisplay::RH], " ");
    EXPECT_EQ(thread.SensorFault, 0);
    EXPECT_EQ(view.lastErrorSets, 0) << "only after more than three unanswered passes";

    stick->setAcknowledge(true);
    const int opens = stick->opens();
    while (thread.phase() != MyThread::Phase::QueryLoop)
        ASSERT_TRUE(thread.step());
    EXPECT_EQ(stick->opens(), opens + 1);
    EXPECT_EQ(thread.PortOpenCount, 2) << "an error close does not restart the count";
    ASSERT_TRUE(thread.step());
    EXPECT_EQ(stick->lastCommand(), 0x05) << "the first query on the reopened port is the humidity";
    EXPECT_EQ(s.AlarmSensor.SensorErrorCount, 0) << "a good answer clears the count";
}

TEST_F(MyThreadCycle, MissingHumidityAcknowledgeThenIdleThenTemperature)
{
    startPolling();
    rounds(1);
    untilTemperatureQuery();
    ASSERT_TRUE(thread.step()); // temperature answered
    stick->setAcknowledge(false);
    ASSERT_TRUE(thread.step());
    EXPECT_EQ(view.lines.last(), cp(MeasurementTexts::NoAckHumidity));
    EXPECT_EQ(thread.QueryStep, 2);
    stick->setAcknowledge(true);
    const int commands = stick->commandsReceived();
    untilTemperatureQuery();
    EXPECT_EQ(stick->commandsReceived(), commands) << "the idle step comes first";
    ASSERT_TRUE(thread.step());
    EXPECT_EQ(stick->lastCommand(), 0x03);
}

TEST_F(MyThreadCycle, UnansweredPassesMarkTheSensorFailed)
{
    startPolling();
    rounds(1);
    untilTemperatureQuery();
    stick->setAcknowledge(false);
    // Passes since the last answer: temperature (1), humidity (2), idle (3),
    // temperature (4).
    auto nextQuery = [&] {
        const int before = stick->commandsReceived();
        for (int i = 0; i < 100 && stick->commandsReceived() == before; ++i)
            ASSERT_TRUE(thread.step());
    };
    nextQuery();
    nextQuery();
    EXPECT_EQ(thread.RoundsSinceAnswer, 2);
    EXPECT_EQ(view.lastErrorSets, 0);
    EXPECT_EQ(thread.SensorFault, 0);
    const QByteArray when = now();
    nextQuery();
    EXPECT_EQ(thread.RoundsSinceAnswer, 4);
    EXPECT_EQ(view.lastErrorText, when + cp(MeasurementTexts::LabelNoAckTemperature));
    EXPECT_EQ(view.lastErrorColour, Colours::Red);
    EXPECT_EQ(thread.SensorFault, 1);
    EXPECT_EQ(s.AlarmSensor.SensorErrorCount, 6);

    nextQuery();
    EXPECT_EQ(view.lastErrorText, now() + cp(MeasurementTexts::LabelNoAckHumidity));
    EXPECT_EQ(thread.SensorFault, 1);

    stick->setAcknowledge(true);
    rounds(1);
    EXPECT_EQ(thread.SensorFault, 0) << "the next good answer clears the fault";
    EXPECT_EQ(thread.RoundsSinceAnswer, 0);
}

TEST_F(MyThreadCycle, SensorAlarmBitOnlyWhileTheCountIsBetween250And255)
{
    struct Case
    {
        qint32 countBefore;
        bool bitSet;
    } cases[] = {{247, false}, {248, true}, {253, true}, {254, true}, {255, false}, {300, false}};
    for (const Case &c : cases) {
        SCOPED_TRACE(c.countBefore);
        startPolling();
        untilTemperatureQuery();
        s.AlarmFlags = 0;
        s.AlarmSensor.AlarmTime = 0;
        s.AlarmSensor.SensorErrorCount = c.countBefore;
        view.timer5 = false;
        view.signals_.clear();
        stick->setAcknowledge(false);
        ASSERT_TRUE(thread.step());
        stick->setAcknowledge(true);
        EXPECT_EQ(s.AlarmSensor.SensorErrorCount, c.countBefore + 2);
        EXPECT_EQ((s.AlarmFlags & AlarmBit::SensorQuery) != 0, c.bitSet);
        EXPECT_EQ(s.AlarmSensor.AlarmTime != 0, c.bitSet);
        if (c.bitSet) {
            ASSERT_EQ(view.signals_.size(), 1);
            EXPECT_EQ(view.signals_[0].intervalMs, 500);
            EXPECT_FALSE(view.signals_[0].focus);
        }
    }
}

TEST_F(MyThreadCycle, SensorAlarmIsSignalledUnlessTimer5Runs)
{
    // Timer5 is the window's own: once the acknowledge command has stopped
    // it, a new sensor alarm is signalled again, and while it runs, not.
    struct Case
    {
        bool timer5Running;
        bool signal;
    } cases[] = {{false, true}, {true, false}, {false, true}};
    for (const Case &c : cases) {
        SCOPED_TRACE(testing::Message() << c.timer5Running);
        startPolling();
        untilTemperatureQuery();
        s.AlarmFlags = 0;
        s.AlarmSensor.SensorErrorCount = 248; // the query's own count reaches 250
        view.timer5 = c.timer5Running;
        view.signals_.clear();
        stick->setAcknowledge(false);
        ASSERT_TRUE(thread.step());
        stick->setAcknowledge(true);
        EXPECT_NE(s.AlarmFlags & AlarmBit::SensorQuery, 0u);
        EXPECT_EQ(view.signals_.size(), c.signal ? 1 : 0);
    }
}

TEST_F(MyThreadCycle, ZeroTemperatureCountsOnlyDuringTheFirstFivePasses)
{
    startPolling();
    stick->setZeroAnswer(true);
    // Each pass: the temperature 0,0,0 is taken, the humidity 0,0,0 is an
    // error that closes the port; the port loop reopens it.
    for (int pass = 1; pass <= 5; ++pass) {
        SCOPED_TRACE(pass);
        while (!(thread.phase() == MyThread::Phase::QueryLoop && thread.QueryStep == 0))
            ASSERT_TRUE(thread.step());
        EXPECT_EQ(thread.PortOpenCount, pass);
        const int errors = s.AlarmSensor.SensorErrorCount;
        ASSERT_TRUE(thread.step()); // temperature
        EXPECT_EQ(thread.SensorFault, 0);
        EXPECT_EQ(s.AlarmSensor.SensorErrorCount, 0);
        EXPECT_TRUE(stick->portOpen());
        EXPECT_EQ(thread.QueryStep, 1);
        EXPECT_EQ(view.lines.last(), s.MeasureTime.get() + " Sensor(T): 0:0:0");
        ASSERT_TRUE(thread.step()); // humidity
        EXPECT_EQ(view.lines.last(), cp(MeasurementTexts::ZeroAnswer));
        EXPECT_EQ(s.AlarmSensor.SensorErrorCount, 1) << errors;
        EXPECT_FALSE(stick->portOpen());
        EXPECT_EQ(thread.SensorFault, 0) << "a humidity 0,0,0 does not mark the sensor failed";
    }
    while (!(thread.phase() == MyThread::Phase::QueryLoop && thread.QueryStep == 0))
        ASSERT_TRUE(thread.step());
    EXPECT_EQ(thread.PortOpenCount, 6);
    ASSERT_TRUE(thread.step());
    EXPECT_EQ(view.lines.last(), cp(MeasurementTexts::ZeroAnswer));
    EXPECT_EQ(thread.SensorFault, 1);
    EXPECT_EQ(s.ComHandle.load(), -1);
    EXPECT_FALSE(stick->portOpen());
    EXPECT_EQ(s.RawTemp, 0);
    EXPECT_EQ(view.texts[ValueDisplay::T], " ");
}

TEST_F(MyThreadCycle, PortThatCannotBeOpenedIsRetried)
{
    startPolling("COM12:");
    stick->setOpenRefused(true);
    for (int pass = 1; pass <= 7; ++pass) {
        SCOPED_TRACE(pass);
        view.lines.clear();
        const qint64 slept = clock.totalSlept();
        ASSERT_TRUE(thread.step()); // port loop start
        ASSERT_TRUE(thread.step()); // open
        EXPECT_EQ(thread.phase(), MyThread::Phase::PortLoop);
        EXPECT_EQ(clock.totalSlept() - slept, 1500);
        EXPECT_EQ(s.MeasureTime.get(), now()) << "MeasureTime keeps moving";
        if (pass <= 5)
            EXPECT_TRUE(view.lines.isEmpty());
        else
            EXPECT_EQ(view.lines, (QList<QByteArray>{cp(StationTexts::ComPortError),
                                                     cp(MeasurementTexts::InvalidHandle)}));
    }
    EXPECT_EQ(s.AlarmSensor.SensorErrorCount, 2);
    EXPECT_EQ(openedPaths.size(), 7);
    EXPECT_EQ(openedPaths.first(), "\\\\.\\COM12");

    stick->setOpenRefused(false);
    view.lines.clear();
    ASSERT_TRUE(thread.step());
    ASSERT_TRUE(thread.step());
    EXPECT_EQ(thread.phase(), MyThread::Phase::QueryLoop);
    EXPECT_EQ(view.lines, QList<QByteArray>{cp(MeasurementTexts::PortActivated)});
    EXPECT_NE(s.ComHandle.load(), -1);
}

TEST_F(MyThreadCycle, PortThatCannotBeConfiguredSwitchesPollingOffAndIsClosed)
{
    startPolling();
    stick->setConfigureThrows(true);
    ASSERT_TRUE(thread.step());
    ASSERT_TRUE(thread.step());
    EXPECT_EQ(view.lines, QList<QByteArray>{cp(MeasurementTexts::PortFailed)});
    EXPECT_FALSE(s.SensorRunning.load());
    EXPECT_EQ(s.ComHandle.load(), -1);
    EXPECT_FALSE(stick->portOpen()) << "the half-opened port is closed again";

    // Polling stays off until started again: the thread waits.
    stick->setConfigureThrows(false);
    for (int i = 0; i < 5; ++i)
        ASSERT_TRUE(thread.step());
    EXPECT_EQ(thread.phase(), MyThread::Phase::PortWait);
    s.SensorRunning = true;
    ASSERT_TRUE(thread.step());
    EXPECT_EQ(thread.phase(), MyThread::Phase::QueryLoop);
    EXPECT_TRUE(stick->portOpen());
}

TEST_F(MyThreadCycle, StopClosesThePortAndResetsTheCounters)
{
    startPolling();
    rounds(2);
    s.AlarmDelay = 10;
    s.AlarmSensor.SensorErrorCount = 17;
    s.AlarmT.RedCount = s.AlarmTP.RedCount = s.AlarmT_TP.RedCount = s.AlarmRH.RedCount = 3;
    s.AlarmCpu.RedCount = 4;
    s.AlarmRI = InputAlarm{12.5, 2, 1, 1};
    s.AlarmDC = InputAlarm{13.5, 3, 1, 1};

    s.SensorRunning = false;
    core.mirror.StartButtonStop = false;
    ASSERT_TRUE(thread.step());
    EXPECT_FALSE(stick->portOpen());
    EXPECT_EQ(s.ComHandle.load(), -1);
    EXPECT_EQ(thread.PortOpenCount, 0);
    ASSERT_TRUE(thread.step()); // port loop: the resets
    EXPECT_EQ(thread.PortOpenCount, 1);
    EXPECT_EQ(s.AlarmDelay, 5);
    EXPECT_EQ(s.AlarmSensor.SensorErrorCount, 0);
    EXPECT_EQ(s.AlarmT.RedCount + s.AlarmTP.RedCount + s.AlarmT_TP.RedCount + s.AlarmRH.RedCount, 0);
    EXPECT_EQ(s.AlarmCpu.RedCount, 4);
    EXPECT_EQ(s.AlarmRI.AlarmTime, 0);
    EXPECT_EQ(s.AlarmRI.Count, 0);
    EXPECT_EQ(s.AlarmRI.Latched, 1);
    EXPECT_EQ(s.AlarmDC.AlarmTime, 0);
    EXPECT_EQ(s.AlarmDC.Count, 0);
    EXPECT_EQ(thread.QueryStep, 0);

    const qint64 slept = clock.totalSlept();
    for (int i = 0; i < 3; ++i)
        ASSERT_TRUE(thread.step());
    EXPECT_EQ(clock.totalSlept() - slept, 1500) << "waits 500 ms per round";
    EXPECT_EQ(thread.phase(), MyThread::Phase::PortWait);
}

TEST_F(MyThreadCycle, ThreadStartResetsAndTerminateEnds)
{
    EXPECT_EQ(s.ActiveThreadCount.load(), 1);
    EXPECT_EQ(s.AlarmDelay, 10);
    startPolling();
    rounds(1);
    EXPECT_TRUE(stick->portOpen());
    s.TerminateRequested = true;
    EXPECT_FALSE(thread.step());
    thread.threadEnd();
    EXPECT_FALSE(stick->portOpen());
    EXPECT_EQ(s.ComHandle.load(), -1);
    EXPECT_EQ(s.ActiveThreadCount.load(), 0);

    // A new start resets the shared state.
    s.TerminateRequested = false;
    s.AlarmDelay = 5;
    s.AlarmSensor.SensorErrorCount = 9;
    s.AlarmT.RedCount = s.AlarmRH.RedCount = 2;
    s.AlarmCpu = CpuAlarm{7.0, 3.0, 4};
    s.AlarmRI = InputAlarm{1.0, 2, 1, 1};
    s.AlarmDC = InputAlarm{1.0, 2, 1, 1};
    thread.threadStart();
    EXPECT_EQ(s.AlarmDelay, 10);
    EXPECT_EQ(s.AlarmSensor.SensorErrorCount, 0);
    EXPECT_EQ(s.AlarmT.RedCount + s.AlarmRH.RedCount, 0);
    EXPECT_EQ(s.AlarmCpu.RedCount, 0);
    EXPECT_EQ(s.AlarmCpu.AlarmTime, 0);
    EXPECT_EQ(s.AlarmCpu.LastAlarmTime, 3.0) << "not part of the reset";
    for (const InputAlarm &in : {s.AlarmRI, s.AlarmDC})
        EXPECT_EQ(in.AlarmTime + in.Count + in.Active + in.Latched, 0);
    EXPECT_EQ(thread.PortOpenCount, 0);
    EXPECT_EQ(thread.PreviousTemp, 0.0);
    thread.threadEnd();
}

TEST_F(MyThreadCycle, NoSleepAndNoBusCommandWhileHoldingTheSemaphore)
{
    // Every sleep and every command the stick receives is checked against
    // the semaphore, along the good path and every error path of the cycle.
    int sleepsHeld = 0, sleeps = 0, commandsHeld = 0, commands = 0;
    clock.setSleepHook([&](int) {
        ++sleeps;
        if (core.semaphore.available() != 1)
            ++sleepsHeld;
    });
    stick->setBeforeQuery([&](SensorStickValues &) {
        ++commands;
        if (core.semaphore.available() != 1)
            ++commandsHeld;
    });
    auto runFor = [&](int n) {
        for (int i = 0; i < n; ++i)
            ASSERT_TRUE(thread.step());
    };

    startPolling();
    rounds(6); // dropped readings, then evaluated ones
    stick->setAcknowledge(false);
    runFor(20);
    stick->setAcknowledge(true);
    stick->setZeroAnswer(true);
    runFor(20);
    stick->setZeroAnswer(false);
    stick->setOpenRefused(true);
    s.SensorRunning = false; // stop: close, then reopen refused
    runFor(3);
    s.SensorRunning = true;
    runFor(16);
    stick->setOpenRefused(false);
    stick->setConfigureThrows(true);
    runFor(4);
    stick->setConfigureThrows(false);
    s.SensorRunning = true;
    rounds(2);
    s.TerminateRequested = true;
    EXPECT_FALSE(thread.step());
    thread.threadEnd();
    clock.setSleepHook(nullptr);

    EXPECT_GT(sleeps, 50);
    EXPECT_GT(commands, 20);
    EXPECT_EQ(sleepsHeld, 0);
    EXPECT_EQ(commandsHeld, 0);
    EXPECT_EQ(core.semaphore.available(), 1);
}

TEST_F(MyThreadCycle, ContactsAreSampledAfterEachHumidityQuery)
{
    using Contacts = std::pair<std::optional<bool>, std::optional<bool>>;
    const struct
    {
        bool ring, dcd;
    } cases[] = {{false, false}, {true, false}, {false, true}, {true, true}};
    // The line inversion does not apply to the contacts: with an adapter
    // that inverts (LineInvert 1) and one that does not (Testmode), an
    // input is active while its status bit is clear.
    for (bool inverting : {true, false}) {
        SCOPED_TRACE(inverting);
        stick = std::make_shared<SimulatedSensorStick>(inverting);
        startPolling();
        s.LineInvert = inverting ? 1 : 0;
        for (const auto &c : cases) {
            stick->setRing(c.ring);
            stick->setDcd(c.dcd);
            rounds(1);
            EXPECT_EQ(thread.lastContacts(), (Contacts{c.ring, c.dcd})) << c.ring << c.dcd;
        }
        s.SensorRunning = false;
        while (thread.phase() != MyThread::Phase::PortWait)
            ASSERT_TRUE(thread.step());
    }

    // After a failed humidity query the port is closed: no status.
    stick->setRing(true);
    startPolling();
    s.LineInvert = 0; // the last stick does not invert
    untilTemperatureQuery();
    ASSERT_TRUE(thread.step());
    stick->setAcknowledge(false);
    ASSERT_TRUE(thread.step());
    EXPECT_EQ(thread.lastContacts(), (Contacts{std::nullopt, std::nullopt}));
}

namespace {

struct EndCase
{
    const char *name;
    bool full;          // the disk is full while the sets are measured
    bool spaceAtEnd;    // and has room again when the thread ends
    int transferMs;     // the reporting side still sends the record files this long at the end
    const char *endLog; // the log line of the end, empty: none
    int recordLines;    // lines in the record file after the end
};

} // namespace

TEST_F(MyThreadCycle, HeldRecordSetsAreWrittenOrCountedWhenTheThreadEnds)
{
    const EndCase cases[] = {
        {"disk fine", false, true, 0, "", 21},
        {"space again", true, true, 0, "Zurückgehaltene Messwerte geschrieben, Sätze: 3, verworfen: 0", 21},
        {"disk still full", true, false, 0,
         "Programmende: 3 zurückgehaltene Messwertsätze verloren (Datei nicht schreibbar)", 0},
        {"transfer over within the wait", true, true, 1500,
         "Zurückgehaltene Messwerte geschrieben, Sätze: 3, verworfen: 0", 21},
        {"transfer longer than the wait", true, true, 60000,
         "Programmende: 3 zurückgehaltene Messwertsätze verloren (Übertragung zum Server läuft)", 0},
    };
    core.config.StationId = "ABC1234";
    ScopedFailingFiles failing;
    failing.calls.match = "ABC12342.8MS";
    const auto logLines = [this] { return workDir.read("zav_sensor_logfile.log").split('\n'); };
    bool first = true;
    for (const EndCase &c : cases) {
        SCOPED_TRACE(c.name);
        QFile::remove(workDir.file("ABC12342.8MS"));
        QFile::remove(workDir.file("zav_sensor_logfile.log"));
        clock.setLocalDateTime(QDateTime(QDate(2011, 3, 1), QTime(8, 30, 0)));
        if (!first) {
            s.TerminateRequested = false;
            thread.threadStart();
        }
        first = false;
        failing.calls.spaceLeft = c.full ? 0 : -1;

        // Three sets: the first evaluation after the start, then one every
        // five minutes.
        startPolling();
        rounds(6);
        for (int i = 0; i < 2; ++i) {
            clock.advance(300000);
            rounds(1);
        }
        ASSERT_EQ(thread.evaluation().recordWriter().heldSets() * 7 +
                      workDir.read("ABC12342.8MS").count("\r\n"),
                  21);
        const QByteArray before = workDir.read("ABC12342.8MS");
        const qsizetype logBefore = logLines().size();
        if (c.spaceAtEnd)
            failing.calls.spaceLeft = -1;

        s.TransferBusy = c.transferMs > 0;
        const qint64 sleptBefore = clock.totalSlept();
        clock.setSleepHook([&](int) {
            if (clock.totalSlept() - sleptBefore >= c.transferMs)
                s.TransferBusy = false;
        });
        s.TerminateRequested = true;
        EXPECT_FALSE(thread.step());
        thread.threadEnd();
        clock.setSleepHook(nullptr);
        const qint64 waited = clock.totalSlept() - sleptBefore;
        s.TransferBusy = false;

        EXPECT_EQ(s.ActiveThreadCount.load(), 0);
        EXPECT_EQ(core.semaphore.available(), 1);
        EXPECT_EQ(thread.evaluation().recordWriter().heldSets(), 0);
        EXPECT_EQ(waited, std::min(c.transferMs, MyThread::EndTransferWaitMs));
        const QByteArray records = workDir.read("ABC12342.8MS");
        EXPECT_EQ(records.count("\r\n"), c.recordLines) << records.constData();
        if (c.full) {
            EXPECT_TRUE(before.isEmpty());
        } else {
            EXPECT_EQ(records, before) << "nothing more at the end";
        }
        const QList<QByteArray> lines = records.split('\n');
        for (int i = 0; i + 1 < lines.size(); ++i) {
            EXPECT_EQ(lines[i].mid(11, 1), QByteArray::number(i % 7 + 1)) << lines[i].constData();
            if (i >= 7) {
                EXPECT_LT(lines[i - 7].left(9), lines[i].left(9)) << "oldest first";
            }
        }

        const QList<QByteArray> log = logLines();
        if (*c.endLog) {
            ASSERT_EQ(log.size(), logBefore + 1);
            EXPECT_TRUE(log[log.size() - 2].endsWith(" /Sensor/ " + cp(c.endLog) + "\r"))
                << log[log.size() - 2].constData();
        } else {
            EXPECT_EQ(log.size(), logBefore);
        }
    }
}

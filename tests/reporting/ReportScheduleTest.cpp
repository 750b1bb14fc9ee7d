#include "support/ReportingPass.h"

#include <QDir>
#include <QTest>

#include <functional>

using namespace ReportingTexts;

TEST_F(ReportingPass, AlarmIntervalGivesTheReportIntervalAndIsCutInPlace)
{
    const struct
    {
        const char *setting;
        qint32 seconds;
        const char *afterwards;
    } cases[] = {
        {"4", 14400, "4"},   {"24", 86400, "24"}, {"25", 86400, "25"},  {"0", 86400, "0"},
        {"", 86400, "0"},    {"abc", 86400, "0"}, {"4h", 14400, "4"},   {"4.5", 86400, "4.5"},
        {"2:30", 7200, "2"}, {" 3", 10800, " 3"}, {"1\xE4", 3600, "1"},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.setting);
        core.config.AlarmInterval = c.setting;
        pass();
        EXPECT_EQ(thread.state().ReportInterval, c.seconds);
        EXPECT_EQ(core.config.AlarmInterval, QByteArray(c.afterwards));
    }
}

TEST_F(ReportingPass, AcknowledgementWithAndWithoutAlarmsAndWithImmediateReport)
{
    const struct
    {
        const char *name;
        quint32 alarms;
        bool immediate;
        QByteArray status;
        bool logsKey;
        bool forcesReport;
        bool keepsAlarmState;
    } cases[] = {
        {"alarms raised", AlarmBit::TempHigh, false, cp(ErrorAcknowledged), false, false, false},
        {"no alarms", 0, false, cp(AcknowledgeConnect) + "127.0.0.1:2000", true, true, false},
        {"immediate report", AlarmBit::TempHigh, true, cp(AcknowledgeConnect) + "127.0.0.1:2000", true, true,
         true},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.name);
        work.write(QStringLiteral("zav_sensor_logfile.log"), {});
        view.lines.clear();
        view.reportCommandsEnabled.clear();
        thread.sessions = 0;
        thread.state().FirstPass = false;
        thread.state().ReportFailed = true;
        thread.state().LanErrorFiled = true;
        const TickSeconds lastReport = now() - 10;
        s.LastReportTime = lastReport;
        s.AlarmFlags = s.FiledAlarmFlags = s.ReportedAlarmFlags = c.alarms;
        s.AlarmT = LimitAlarm{31.0, 10.0, 30.0, now() - 5, 77.0, 12};
        s.AlarmCpu = CpuAlarm{now() - 5, 66.0, 3};
        s.AlarmRI.AlarmTime = s.AlarmDC.AlarmTime = s.AlarmSensor.AlarmTime = now() - 5;
        s.AlarmSensor.SensorErrorCount = 251;
        s.ImmediateReport = c.immediate;
        s.AcknowledgeRequest = true;

        pass();

        EXPECT_FALSE(s.AcknowledgeRequest.load());
        ASSERT_FALSE(view.lines.isEmpty());
        EXPECT_EQ(view.lines.first(), c.status);
        EXPECT_EQ(logged(LogAcknowledgeKey), c.logsKey);
        // Only the acknowledgement with alarms gives the commands back at once.
        EXPECT_EQ(view.reportCommandsEnabled.value(0, false), !c.forcesReport);
        EXPECT_EQ(thread.sessions, c.forcesReport ? 1 : 0);
        if (c.forcesReport)
            EXPECT_TRUE(logged(LogIntervalReport)); // -2 x interval: due by time
        else
            EXPECT_EQ(s.LastReportTime, lastReport);
        if (c.keepsAlarmState) {
            EXPECT_EQ(s.AlarmFlags, c.alarms);
            EXPECT_NE(s.AlarmT.AlarmTime, 0);
            EXPECT_EQ(s.AlarmT.RedCount, 12);
            EXPECT_EQ(s.AlarmSensor.SensorErrorCount, 251);
        } else {
            EXPECT_EQ(s.AlarmFlags | s.FiledAlarmFlags | s.ReportedAlarmFlags, 0u);
            EXPECT_EQ(s.AlarmT.AlarmTime, 0);
            EXPECT_EQ(s.AlarmT.LastAlarmTime, 0);
            EXPECT_EQ(s.AlarmT.RedCount, 0);
            EXPECT_EQ(s.AlarmCpu.AlarmTime + s.AlarmCpu.LastAlarmTime, 0);
            EXPECT_EQ(s.AlarmCpu.RedCount, 0);
            EXPECT_EQ(s.AlarmRI.AlarmTime + s.AlarmDC.AlarmTime + s.AlarmSensor.AlarmTime, 0);
            EXPECT_EQ(s.AlarmSensor.SensorErrorCount, 0);
        }
        EXPECT_FALSE(thread.state().LanErrorFiled);
        s.ImmediateReport = false;
    }
}

// Each group's alarm raised at t expires at the first pass after
// t + interval, not at t + interval itself.
TEST_F(ReportingPass, AlarmsExpireStrictlyAfterTheInterval)
{
    const TickSeconds t = 2000;
    const TickSeconds interval = 14400;
    struct Case
    {
        const char *name;
        quint32 bits;
        std::function<void()> raise;
        std::function<void()> expectExpired;
    };
    const Case cases[] = {
        {"air temperature", AlarmBit::TempHigh, [&] { s.AlarmT = LimitAlarm{31, 10, 30, t, 0, 10}; },
         [&] {
             EXPECT_EQ(s.AlarmT.AlarmTime, 0);
             EXPECT_EQ(s.AlarmT.LastAlarmTime, t);
             EXPECT_EQ(s.AlarmT.RedCount, 0);
         }},
        {"dew point", AlarmBit::DewPointLow, [&] { s.AlarmTP = LimitAlarm{1, 2, 9, t, 0, 10}; },
         [&] { EXPECT_EQ(s.AlarmTP.LastAlarmTime, t); }},
        {"distance", AlarmBit::DistanceHigh, [&] { s.AlarmT_TP = LimitAlarm{9, 2, 8, t, 0, 10}; },
         [&] { EXPECT_EQ(s.AlarmT_TP.LastAlarmTime, t); }},
        {"humidity", AlarmBit::HumidityLow, [&] { s.AlarmRH = LimitAlarm{5, 20, 80, t, 0, 10}; },
         [&] { EXPECT_EQ(s.AlarmRH.LastAlarmTime, t); }},
        {"input 1", AlarmBit::Input1,
         [&] {
             s.AlarmRI = InputAlarm{t, 3, 1, 1};
         },
         [&] {
             EXPECT_EQ(s.AlarmRI.AlarmTime, 0);
             EXPECT_EQ(s.AlarmRI.Count, 0);
         }},
        {"input 2", AlarmBit::Input2,
         [&] {
             s.AlarmDC = InputAlarm{t, 3, 1, 1};
         },
         [&] { EXPECT_EQ(s.AlarmDC.AlarmTime, 0); }},
        // The sensor's alarm time stays; only its bits go.
        {"sensor", AlarmBit::SensorQuery | AlarmBit::SensorZero,
         [&] {
             s.AlarmSensor = SensorAlarm{t, 255};
         },
         [&] { EXPECT_EQ(s.AlarmSensor.AlarmTime, t); }},
        {"cpu", AlarmBit::Cpu,
         [&] {
             s.AlarmCpu = CpuAlarm{t, 0, 10};
         },
         [&] {
             EXPECT_EQ(s.AlarmCpu.AlarmTime, 0);
             EXPECT_EQ(s.AlarmCpu.LastAlarmTime, t);
         }},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.name);
        thread.state().FirstPass = false;
        clearAlarms();
        c.raise();
        // Filed and reported, so the pass has nothing else to do.
        s.AlarmFlags = s.FiledAlarmFlags = s.ReportedAlarmFlags = c.bits | AlarmBit::Network;
        tickAt(t + interval);
        s.LastReportTime = now() - 10;
        pass();
        EXPECT_EQ(s.AlarmFlags & c.bits, c.bits) << "expired at the interval's end";

        tickAt(t + interval + 0.001L);
        s.LastReportTime = now() - 10;
        pass();
        EXPECT_EQ(s.AlarmFlags, AlarmBit::Network); // 0x2000 never expires
        EXPECT_EQ(s.FiledAlarmFlags, AlarmBit::Network);
        EXPECT_EQ(s.ReportedAlarmFlags, AlarmBit::Network);
        c.expectExpired();
    }

    // While the server cannot be reached nothing expires.
    clearAlarms();
    s.AlarmT = LimitAlarm{31, 10, 30, t, 0, 10};
    s.AlarmFlags = s.FiledAlarmFlags = s.ReportedAlarmFlags = AlarmBit::TempHigh;
    thread.state().ReportFailed = true;
    thread.state().LanErrorFiled = true;
    tickAt(t + 3 * interval);
    pass();
    EXPECT_EQ(s.AlarmFlags, AlarmBit::TempHigh);
    EXPECT_EQ(s.AlarmT.AlarmTime, t);
}

TEST_F(ReportingPass, FirstDueTestEndsAnIdlePassWhileTheIntervalRuns)
{
    const struct
    {
        const char *name;
        bool firstPass;
        TickSeconds left; // next report - tick time
        bool alarmsChanged;
        bool immediate;
        QList<QByteArray> intervallLeft; // texts of the pass
        bool connects;
        bool intervalLogged;
    } cases[] = {
        {"interval runs", false, 100.4L, false, false, {"100"}, false, false},
        {"rounds half to even", false, 100.5L, false, false, {"100"}, false, false},
        {"first pass skips the test", true, 100.4L, false, false, {"100"}, false, false},
        {"alarms differ from the report", false, 100.4L, true, false, {"100"}, true, false},
        {"immediate report", false, 100.4L, false, true, {"100", "100"}, true, false},
        {"interval ran out", false, -0.4L, false, false, {"0", "0"}, true, true},
        {"left equals the interval", false, 14400, false, false, {"14400", "14400"}, false, false},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.name);
        work.write(QStringLiteral("zav_sensor_logfile.log"), {});
        view.intervallLeft.clear();
        thread.sessions = 0;
        thread.state().FirstPass = c.firstPass;
        thread.state().ReportDue = false;
        thread.state().PendingAlarmFlags = 0;
        s.AlarmFlags = s.FiledAlarmFlags = AlarmBit::Input1;
        s.ReportedAlarmFlags = c.alarmsChanged ? 0 : AlarmBit::Input1;
        if (c.alarmsChanged)
            thread.state().PendingAlarmFlags = AlarmBit::Input1;
        s.AlarmRI.AlarmTime = now();
        s.ImmediateReport = c.immediate;
        s.LastReportTime = now() + c.left - 14400;

        const qint64 waited = pass();

        EXPECT_EQ(view.intervallLeft, c.intervallLeft);
        EXPECT_EQ(thread.sessions, c.connects ? 1 : 0);
        EXPECT_EQ(waited, c.connects ? 0 : 1000);
        EXPECT_EQ(logged(LogIntervalReport), c.intervalLogged);
        EXPECT_EQ(logged(LogImmediateActive), c.immediate);
        EXPECT_EQ(logged(LogConnecting), c.connects);
        s.ImmediateReport = false;
    }
}

TEST_F(ReportingPass, SecondDueTestByTimeByWrapAndOnRequest)
{
    const TickSeconds interval = 14400;
    const TickSeconds wrapAt = 4294967.296L;
    const struct
    {
        const char *name;
        TickSeconds tick;
        TickSeconds lastReport;
        bool immediate;
        bool due;
        bool intervalLogged;
    } cases[] = {
        {"interval runs", 50000, 50000 - 100, false, false, false},
        {"interval just over", 50000, 50000 - interval - 0.001L, false, true, true},
        {"interval exactly over", 50000, 50000 - interval, false, false, false},
        {"on request", 50000, 50000 - 100, true, true, false},
        // 49.7 days: the tick starts again near 0, the last report lies
        // above it.
        {"tick counter wrapped", 5, wrapAt - 60, false, true, true},
        {"wrap within the interval", 5, 5 + interval - 1, false, false, false},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.name);
        work.write(QStringLiteral("zav_sensor_logfile.log"), {});
        thread.sessions = 0;
        thread.state().FirstPass = true; // the first due test stays out of the way
        thread.state().ReportDue = false;
        tickAt(c.tick);
        s.LastReportTime = c.lastReport;
        s.ImmediateReport = c.immediate;
        pass();
        EXPECT_EQ(thread.sessions, c.due ? 1 : 0);
        EXPECT_EQ(logged(LogIntervalReport), c.intervalLogged);
        s.ImmediateReport = false;
    }
}

TEST_F(ReportingPass, WrappedTickCounterPassesTheFirstDueTestToo)
{
    thread.state().FirstPass = false;
    s.LastReportTime = 4294967.295L - 30;
    tickAt(2); // 32 s later, after the wrap
    EXPECT_EQ(pass(), 0);
    EXPECT_EQ(thread.sessions, 1);
    EXPECT_TRUE(logged(LogIntervalReport));
}

TEST_F(ReportingPass, OneLanErrorFilePerFailureStreak)
{
    thread.outcome = ScriptedHERONThread::Outcome::Fail;
    thread.state().FirstPass = false;
    s.ImmediateReport = true; // makes every pass connect

    EXPECT_EQ(pass(), 5000);
    EXPECT_TRUE(thread.state().ReportFailed);
    EXPECT_TRUE(errorFiles().isEmpty());
    for (int i = 0; i < 3; ++i)
        EXPECT_EQ(pass(), 5000);
    ASSERT_EQ(errorFiles(), QStringList{QStringLiteral("ABC12342.E0R")});
    EXPECT_EQ(work.read(QStringLiteral("ABC12342.E0R")),
              "03-12-24;14:05:14;001-001;LAN- / INTERNET-FEHLER;r;;;;21;ABC1234-001;\r\n");
    EXPECT_EQ(s.AlarmFlags, AlarmBit::Network);
    EXPECT_EQ(thread.lastPending, AlarmBit::Network);

    // The operator's acknowledgement ends the streak; the next failure
    // starts a new one.
    s.AcknowledgeRequest = true;
    pass();
    EXPECT_EQ(errorFiles().size(), 1);
    pass();
    pass();
    EXPECT_EQ(errorFiles().size(), 2);

    // So does a completed report.
    thread.outcome = ScriptedHERONThread::Outcome::Complete;
    pass();
    EXPECT_FALSE(thread.state().LanErrorFiled);
    thread.outcome = ScriptedHERONThread::Outcome::Fail;
    s.ImmediateReport = true;
    pass();
    pass();
    pass();
    EXPECT_EQ(errorFiles().size(), 3);
}

TEST_F(ReportingPass, WaitingFilesAtTheStartForceTheFirstReport)
{
    const struct
    {
        const char *name;
        QStringList files;
        QStringList dirs;
        bool forced;
    } cases[] = {
        {"none", {}, {}, false},
        {"one record file", {"ABC12342.EMS"}, {}, false},
        {"two record files", {"ABC12342.EMS", "abc1234x.fms"}, {}, true},
        {"one file and a folder", {"ABC12342.EMS"}, {"ABC12343.AMS"}, false},
        {"other station", {"XYZ98762.EMS", "XYZ98763.AMS"}, {}, false},
        {"update configuration", {"ABC1234.cfg"}, {}, true},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.name);
        ScopedWorkDir dir;
        for (const QString &f : c.files)
            dir.write(f, "x");
        for (const QString &d : c.dirs)
            QDir(dir.path()).mkdir(d);
        view.lines.clear();
        ScriptedHERONThread fresh{core};
        s.AcknowledgeRequest = false;
        s.AlarmFlags = 0;
        s.LastReportTime = now();
        const qint64 before = clock.totalSlept();
        fresh.threadStart();
        EXPECT_EQ(clock.totalSlept() - before, 10000);
        EXPECT_EQ(s.AcknowledgeRequest.load(), c.forced);
        EXPECT_EQ(view.lines.contains(cp(ReportAfterUpdate)), c.files.contains("ABC1234.cfg"));
        ASSERT_TRUE(fresh.step());
        EXPECT_EQ(fresh.sessions, c.forced ? 1 : 0);
        fresh.threadEnd();
    }
}

TEST_F(ReportingPass, FailedPassReleasesTheSemaphore)
{
    // The activity list breaks while the acknowledgement's status line is
    // handed over under the semaphore.
    view.throwAdds = 1;
    s.AcknowledgeRequest = true;
    EXPECT_EQ(pass(), 5000);
    EXPECT_EQ(core.semaphore.available(), 1);
    EXPECT_EQ(pass(), 1000); // the next pass runs as usual
    EXPECT_EQ(core.semaphore.available(), 1);
}

TEST_F(ReportingPass, ThreadEndsAtTheLoopHeadAndCountsItselfOut)
{
    EXPECT_EQ(s.ActiveThreadCount.load(), 1);
    EXPECT_TRUE(thread.step());
    s.TerminateRequested = true;
    EXPECT_FALSE(thread.step());
    thread.threadEnd();
    EXPECT_EQ(s.ActiveThreadCount.load(), 0);
    EXPECT_EQ(view.lines.last(), cp(DisconnectIfConnected));
}

TEST(ReportingThread, RunsOnItsOwnThreadAndEndsOnTerminate)
{
    ScopedWorkDir work;
    ManualClock clock;
    RecordingView view;
    StationCore core{view, platformWith(clock)};
    core.config.StationId = "ABC1234";
    core.config.AlarmInterval = "4";
    core.state.LastReportTime = clock.tickSeconds();
    MyHERONThread thread{core};
    thread.start();
    ASSERT_TRUE(QTest::qWaitFor([&] { return clock.totalSlept() > 20000; }, 10000));
    EXPECT_EQ(core.state.ActiveThreadCount.load(), 1);
    core.state.TerminateRequested = true;
    ASSERT_TRUE(QTest::qWaitFor(
        [&] {
            core.handover.drain();
            return thread.isFinished();
        },
        10000));
    EXPECT_EQ(core.state.ActiveThreadCount.load(), 0);
}

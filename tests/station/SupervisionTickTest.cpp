// The supervision tick without a window: control value, update restart,
// about box and the deadlock watchdog, on a clock that only moves when told.
#include "station/SupervisionTick.h"
#include "common/Text8.h"
#include "platform/ServiceStore.h"
#include "station/ApplicationTitle.h"
#include "station/Installation.h"
#include "station/SensorControl.h"
#include "station/StationCore.h"
#include "station/StationStartup.h"
#include "station/StationTexts.h"
#include "station/ViewerService.h"
#include "station/WorkerLifecycle.h"
#include "support/FakeShell.h"
#include "support/ManualClock.h"
#include "support/RecordingNotices.h"
#include "support/RecordingView.h"
#include "support/RecordingWindow.h"
#include "support/TempDir.h"

#include <gtest/gtest.h>

#include <QCoreApplication>
#include <QDir>

namespace {

struct Supervision : ::testing::Test
{
    ScopedWorkDir dir;
    ManualClock clock;
    FakeShell shell;
    QString serviceDir = dir.file("service");
    DirectoryServiceStore service{serviceDir};
    RecordingNotices notices;
    RecordingView view;
    RecordingWindow window;
    int quits = 0;
    StationCore core{view, [this] {
                         QDir().mkpath(serviceDir);
                         StationPlatform p;
                         p.clock = &clock;
                         p.notices = &notices;
                         p.service = &service;
                         p.shell = &shell;
                         p.quit = [this] { ++quits; };
                         return p;
                     }()};
    WorkerLifecycle workers{core};
    ViewerService viewer{core};
    SensorControl sensor{core, window};
    Installation installation{core, window};
    StationStartup startup{core, window, workers, viewer, sensor, installation};
    SupervisionTick tick{core, window, startup};

    Supervision() { ApplicationTitle::set(StationTexts::ApplicationTitle); }

    QByteArray control() const { return dir.read("service/CONTROL"); }
    QByteArray log() const { return dir.read("zav_sensor_logfile.log"); }
};

} // namespace

TEST_F(Supervision, WatchdogRestartsAfter361TicksWithoutBothHeartbeats)
{
    const struct
    {
        const char *name;
        bool measureMoves;
        bool reportMoves;
        bool restarts;
    } cases[] = {
        {"both stand", false, false, true},
        {"only the measurement moves", true, false, true},
        {"only the report moves", false, true, true},
        {"both move", true, true, false},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.name);
        shell.calls.clear();
        quits = 0;
        startup.WatchMeasureTime = "?";
        startup.WatchReportHeartbeat = " ";
        startup.DeadlockCount = 0;
        core.state.TerminateRequested = false;
        core.state.SensorRunning = true;
        // The first tick takes the start values over ("?" and " " at start).
        core.state.MeasureTime = "t0";
        core.state.ReportHeartbeat = "r0";
        tick.run();
        for (int i = 1; i <= SupervisionTick::DeadlockTicks; ++i) {
            if (c.measureMoves)
                core.state.MeasureTime = "t" + QByteArray::number(i);
            if (c.reportMoves)
                core.state.ReportHeartbeat = "r" + QByteArray::number(i);
            tick.run();
        }
        EXPECT_TRUE(shell.calls.isEmpty()); // 360 standing ticks are not yet enough
        EXPECT_EQ(quits, 0);
        if (c.measureMoves)
            core.state.MeasureTime = "last";
        if (c.reportMoves)
            core.state.ReportHeartbeat = "last";
        tick.run();
        ASSERT_EQ(shell.calls.size(), c.restarts ? 1 : 0);
        EXPECT_EQ(quits, c.restarts ? 1 : 0);
        EXPECT_EQ(core.state.TerminateRequested.load(), c.restarts);
        EXPECT_EQ(core.state.SensorRunning.load(), !c.restarts);
        if (c.restarts) {
            // The program's own executable, started in the working directory.
            EXPECT_EQ(shell.calls[0].file, QCoreApplication::applicationFilePath());
            EXPECT_EQ(QDir(shell.calls[0].directory), QDir::current());
            EXPECT_EQ(shell.calls[0].show, Shell::Show::Normal);
            EXPECT_TRUE(log().endsWith("Programm beendet wegen erkannten Deadlock\r\n"));
        }
    }
}

TEST_F(Supervision, WatchdogEndsEvenWhenTheWorkersDoNotStop)
{
    startup.DeadlockCount = SupervisionTick::DeadlockTicks;
    core.state.MeasureTime = startup.WatchMeasureTime; // nothing moved
    core.state.ActiveThreadCount = 1; // a worker that never ends
    const qint64 before = clock.totalSlept();
    tick.run();
    core.state.ActiveThreadCount = 0;
    EXPECT_EQ(clock.totalSlept() - before, 200 * 50);
    EXPECT_EQ(shell.calls.size(), 1);
    EXPECT_EQ(quits, 1);
}

TEST_F(Supervision, UpdateRestartAndShutdownAreSeparateEnds)
{
    const struct
    {
        const char *name;
        QByteArray stored;
        bool rebootAfterUpdate;
        QByteArray controlAfter;
        const char *logLine; // nullptr: the tick ends nothing
    } cases[] = {
        {"update restart", "UPDATE", true, "UPDATE", "Programm beendet für REBOOT nach Update!"},
        {"UPDATE alone is no stop", "UPDATE", false, "UPDATE", nullptr},
        {"shut-down", QByteArray("SHUTDOWN\0", 9), false, "IDLE", "Proramm beendet wegen SHUTDOWN"},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.name);
        dir.write("service/CONTROL", c.stored);
        dir.write("zav_sensor_logfile.log", "");
        quits = 0;
        core.state.TerminateRequested = false;
        core.state.SensorRunning = true;
        core.state.RebootAfterUpdate = c.rebootAfterUpdate;
        tick.run();
        EXPECT_EQ(control(), c.controlAfter);
        EXPECT_EQ(quits, c.logLine ? 1 : 0);
        EXPECT_EQ(core.state.TerminateRequested.load(), c.logLine != nullptr);
        EXPECT_EQ(core.state.SensorRunning.load(), c.logLine == nullptr);
        if (c.logLine)
            EXPECT_TRUE(log().endsWith(Text8::cp(c.logLine) + "\r\n")) << log().constData();
        else
            EXPECT_TRUE(log().isEmpty()) << log().constData();
        EXPECT_TRUE(window.timers[StationTimer::Timer1].active); // the tick runs to its end
    }
}

TEST_F(Supervision, ShutdownEndsWithinOneTickPlusTheWorkerWait)
{
    // Workers that end after three rounds of waiting, and workers that never
    // end: the tick waits 150 ms, or at most 100 rounds of 50 ms.
    const struct
    {
        int roundsUntilEnd;
        qint64 waited;
    } cases[] = {{3, 150}, {1000, 5000}};
    for (const auto &c : cases) {
        SCOPED_TRACE(c.roundsUntilEnd);
        dir.write("service/CONTROL", QByteArray("SHUTDOWN\0", 9));
        core.state.ActiveThreadCount = 1;
        int rounds = 0;
        clock.setSleepHook([&](int) {
            if (++rounds == c.roundsUntilEnd)
                core.state.ActiveThreadCount = 0;
        });
        quits = 0;
        const qint64 before = clock.totalSlept();
        tick.run();
        clock.setSleepHook({});
        core.state.ActiveThreadCount = 0;
        EXPECT_EQ(clock.totalSlept() - before, c.waited);
        EXPECT_EQ(quits, 1);
        EXPECT_EQ(control(), "IDLE");
    }
}

TEST_F(Supervision, TickClosesTheAboutBoxAndPutsTheTrayIconBack)
{
    window.aboutShowing = true;
    window.timers[StationTimer::Timer1].interval = 20000; // the Info command's
    tick.run();
    EXPECT_FALSE(window.aboutShowing);
    EXPECT_EQ(window.timers[StationTimer::Timer1].interval, 5000);
    tick.run();
    EXPECT_EQ(window.trayAdds, 2);
}

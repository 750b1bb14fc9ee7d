// The start-up, supervision and sensor start of the core without any window:
// the core reaches the window only through StationWindow and StationView.
#include "common/Text8.h"
#include "platform/UpdateFallback.h"
#include "station/ApplicationTitle.h"
#include "station/Installation.h"
#include "station/MeasurementTexts.h"
#include "station/MyThread.h"
#include "station/SensorControl.h"
#include "station/StartupTexts.h"
#include "station/StationCore.h"
#include "station/StationStartup.h"
#include "station/StationTexts.h"
#include "station/SupervisionTick.h"
#include "station/ViewerService.h"
#include "station/WorkerLifecycle.h"
#include "support/FailingFileCalls.h"
#include "support/FakeMsrReader.h"
#include "support/FakePortDirectory.h"
#include "support/ManualClock.h"
#include "support/RecordingNotices.h"
#include "support/RecordingView.h"
#include "support/RecordingWindow.h"
#include "support/TempDir.h"

#include <gtest/gtest.h>

#include <QDeadlineTimer>
#include <QFileInfo>
#include <QTcpServer>

#include <cerrno>
#include <optional>

namespace {

QByteArray configWithPort(const QByteArray &stationId, const QByteArray &comPort)
{
    const QList<QByteArray> values = {
        "",      "25",    "",     "",      "",      "",        "",
        "",      "FALSE", "TRUE", "FALSE", "FALSE", stationId, "heron.example:2000",
        comPort, "6",     "5"};
    QByteArray out;
    for (const QByteArray &v : values)
        out += "key\r\n" + v + "\r\n";
    return out;
}

struct CoreLife : ::testing::Test
{
    ScopedWorkDir dir;
    ManualClock clock;
    FakeMsrReader msr;
    FakePortDirectory ports;
    RecordingNotices notices;
    RecordingView view;
    RecordingWindow window;
    StationCore core{view, [this] {
                         StationPlatform p;
                         p.clock = &clock;
                         p.msr = &msr;
                         p.ports = &ports;
                         p.notices = &notices;
                         p.serialLines = [](const QByteArray &) { return std::unique_ptr<SerialLines>(); };
                         p.viewerBasePort = 0; // any free port
                         p.viewerPortTries = 1;
                         return p;
                     }()};
    WorkerLifecycle workers{core};
    ViewerService viewer{core};
    SensorControl sensor{core, window};
    Installation installation{core, window};
    StationStartup startup{core, window, workers, viewer, sensor, installation};
    SupervisionTick supervision{core, window, startup};

    CoreLife()
    {
        ports.addFtdiPort("ABC1234A", "COM3");
        msr.registers[0xEE] = 0;
        ApplicationTitle::set(StationTexts::ApplicationTitle);
    }
    ~CoreLife() override { startup.windowGone(); }

    // Ends the started station and waits for its measurement thread.
    void destroy()
    {
        startup.FormDestroy();
        EXPECT_TRUE(core.state.TerminateRequested.load());
        // The thread ends on its own; a loaded machine may need longer than the
        // shut-down's short wait, so the test serves its hand-overs until then.
        if (MyThread *thread = workers.measureThread()) {
            const QDeadlineTimer limit(30000);
            while (thread->isRunning() && !limit.hasExpired()) {
                core.handover.drain();
                thread->wait(5);
            }
            EXPECT_FALSE(thread->isRunning());
        }
        EXPECT_EQ(core.state.ActiveThreadCount.load(), 0);
    }
};

} // namespace

TEST_F(CoreLife, StartsMeasuresAndEndsWithoutAWindow)
{
    dir.write("r2arodire.cfg", configWithPort("ABC1234", "COM3:"));
    startup.FormCreate({});
    EXPECT_EQ(window.ports, QList<QByteArray>{"COM3:"});
    EXPECT_EQ(window.port, "COM3:");
    EXPECT_TRUE(window.watch1);
    EXPECT_EQ(window.serverDisplay, "heron.example");
    EXPECT_EQ(window.limits[LimitLabel::Temp], Text8::cp("max: 25") + Text8::cp(StartupTexts::DegreeUnit));
    EXPECT_EQ(window.startCaption, Text8::cp(MeasurementTexts::StopSensor)); // the sensor started
    EXPECT_TRUE(core.state.SensorRunning.load());

    window.captions.clear();
    startup.FormActivate();
    ASSERT_EQ(window.captions.size(), 11);
    EXPECT_EQ(window.captions.first(),
              Text8::cp(StartupTexts::CountdownPrefix) + "10" + StartupTexts::CountdownSuffix);
    EXPECT_EQ(window.captions.last(), QByteArray(StationTexts::CaptionPrefix) + "ABC1234");
    EXPECT_TRUE(viewer.socket()->isListening());
    EXPECT_TRUE(workers.measureThread()->isRunning());
    EXPECT_TRUE(notices.shown.isEmpty());
    EXPECT_GE(clock.totalSlept(), 10 * 500); // the countdown took no real time

    destroy();
}

// A program put back after the new one of an update could not run tells so
// in one log line at its start, and remembers the update that failed.
TEST_F(CoreLife, PutBackProgramSaysSoOnceAtItsStart)
{
    dir.write("r2arodire.cfg", configWithPort("ABC1234", "COM3:"));
    const QByteArray digest(64, 'c');
    dir.write(UpdateFallback::NoteFile, "program=/opt/klima/klimawarte\nsignal=11\nupdate=" + digest + "\n");
    startup.FormCreate({});
    startup.FormActivate();
    const QByteArray line = Text8::cp("Neues Programm nach Update mit Signal 11 beendet, bisheriges Programm "
                                      "/opt/klima/klimawarte wieder eingesetzt");
    EXPECT_EQ(line, Text8::cp(StartupTexts::FallbackLog) + Text8::cp(StartupTexts::FallbackSignal) + "11" +
                        Text8::cp(StartupTexts::FallbackProgram) + "/opt/klima/klimawarte" +
                        Text8::cp(StartupTexts::FallbackEnd));
    EXPECT_EQ(dir.read(QString::fromLatin1(StationTexts::LogFileName)).count(" /Sensor/ " + line + "\r\n"),
              1);
    EXPECT_FALSE(QFileInfo::exists(dir.file(UpdateFallback::NoteFile)));
    EXPECT_TRUE(UpdateFallback::failedBefore(digest));
    destroy();
}

// A put-back program whose start does not get through (a flag file that
// cannot be written, or a copy that runs already) leaves the note where it
// is: the helper that watches it sees such a failure and removes the note,
// so the update is not held against. Only a start that got through takes it.
namespace {

struct StartThatEnds
{
    const char *name;
    bool flagFileUnwritable; // else a copy that runs already holds the flag file
};

void PrintTo(const StartThatEnds &s, std::ostream *os)
{
    *os << s.name;
}

struct CoreLifeStartEnds : CoreLife, ::testing::WithParamInterface<StartThatEnds>
{
};

} // namespace

TEST_P(CoreLifeStartEnds, LeavesTheNoteOfAPutBackProgram)
{
    dir.write("r2arodire.cfg", configWithPort("ABC1234", "COM3:"));
    const QByteArray digest(64, 'c');
    const QByteArray note = "program=/opt/klima/klimawarte\nstatus=255\nupdate=" + digest + "\n";
    dir.write(UpdateFallback::NoteFile, note);
    InstanceLock other;
    std::optional<ScopedFailingFiles> failing;
    if (GetParam().flagFileUnwritable) {
        failing.emplace();
        failing->calls.match = StartupTexts::FlagFileName;
        failing->calls.openError = EROFS;
    } else {
        ASSERT_TRUE(other.acquire(dir.file(StartupTexts::FlagFileName), "ZAV-Sensor1\r\n").acquired());
    }
    startup.FormCreate({});
    startup.FormActivate();
    EXPECT_TRUE(core.state.TerminateRequested.load());
    EXPECT_EQ(dir.read(UpdateFallback::NoteFile), note);
    EXPECT_FALSE(UpdateFallback::failedBefore(digest));
    EXPECT_FALSE(dir.read(QString::fromLatin1(StationTexts::LogFileName))
                     .contains(Text8::cp(StartupTexts::FallbackLog)));
    destroy();
}

INSTANTIATE_TEST_SUITE_P(StartDoesNotGetThrough, CoreLifeStartEnds,
                         ::testing::Values(StartThatEnds{"FlagFileUnwritable", true},
                                           StartThatEnds{"SecondInstance", false}),
                         [](const ::testing::TestParamInfo<StartThatEnds> &info) {
                             return std::string(info.param.name);
                         });

TEST_F(CoreLife, SupervisionTickComesSoonerAfterClosingABox)
{
    const struct
    {
        int openBoxes;
        int interval;
    } cases[] = {{0, 5000}, {1, 1000}};
    for (const auto &c : cases) {
        SCOPED_TRACE(c.openBoxes);
        window.openBoxes = c.openBoxes;
        window.timers[StationTimer::Timer1] = {};
        supervision.run();
        EXPECT_EQ(window.timers[StationTimer::Timer1].interval, c.interval);
        EXPECT_TRUE(window.timers[StationTimer::Timer1].active);
    }
}

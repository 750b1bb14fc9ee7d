#include "station/ViewerService.h"

#include "common/Text8.h"
#include "station/StationCore.h"
#include "station/StationTexts.h"
#include "support/ManualClock.h"
#include "support/RecordingRemoteTarget.h"
#include "support/RecordingView.h"
#include "support/TempDir.h"
#include "support/TestPlatform.h"
#include "support/ViewerPeer.h"

#include <gtest/gtest.h>

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QEvent>
#include <QTcpServer>

#include <atomic>
#include <functional>
#include <memory>
#include <thread>
#include <vector>

namespace {

const QByteArray kTime = "01.03.2011 08:30:00";

// A station core with a listening viewer service on a free loopback port.
// The test's thread is the GUI thread: pumpUntil serves the accepts and the
// connection threads' hand-overs.
class ViewerServiceTest : public ::testing::Test
{
protected:
    ViewerServiceTest()
    {
        StationPlatform p = platformWith(clock);
        p.workingDirectory = dir.path();
        p.viewerBasePort = 0; // any free port
        core = std::make_unique<StationCore>(view, p);
        target = std::make_unique<RecordingRemoteTarget>(*core);
        service = std::make_unique<ViewerService>(*core);
        ViewerWaits waits;
        waits.answerMs = 300; // only a silent viewer makes a wait last it
        service->setWaits(waits);
        service->setRemoteTarget(target.get());
        service->open();
        service->listen();
        port = service->socket()->serverPort();

        StationConfig &c = core->config;
        c.TempMin = "10";
        c.TempMax = "30,5";
        c.TPMin = " ";
        c.TPMax = "20";
        c.TTPMin = "1";
        c.TTPMax = "15";
        c.RHMin = "20";
        c.RHMax = "80";
        c.StationId = "ABCDEFG";
        c.ServerHost = "heron.example";
        c.ServerPort = "2001";
        c.ComPort = "COM3:";
        c.AlarmInterval = "4";
        c.CpuMaxTempDistance = "10";
        StationState &s = core->state;
        s.RawTemp = 6543;
        s.RawHumidity = 1234;
        s.CpuTemp = 47;
        s.CpuTjMax = 85;
        core->mirror.RIStat = true;
        core->mirror.CheckRI = true;
        core->mirror.CheckDC = false;
        core->mirror.DCStat = false;
        core->mirror.LastErrorCaption = "Last Err:";
    }
    ~ViewerServiceTest() override
    {
        core->state.TerminateRequested = true;
        pumpUntil([this] { return core->state.ActiveThreadCount.load() == 0; });
        service.reset();
    }

    // Serves the GUI thread until `done` holds; fails after 10 s of real
    // time (only a broken station takes that long).
    bool pumpUntil(const std::function<bool()> &done)
    {
        QElapsedTimer t;
        t.start();
        while (!done()) {
            if (t.elapsed() > 10000) {
                ADD_FAILURE() << "timed out";
                return false;
            }
            core->processPendingMessages();
        }
        return true;
    }
    bool pumpUntilDone(ViewerPeer &peer)
    {
        return pumpUntil([&] { return peer.done(); });
    }
    bool pumpUntilIdle()
    {
        return pumpUntil([this] {
            return core->state.ActiveThreadCount.load() == 0 && service->connectionThreads() == 0;
        });
    }
    int linesContaining(const QByteArray &part) const
    {
        int n = 0;
        for (const QByteArray &l : view.lines)
            n += l.contains(part) ? 1 : 0;
        return n;
    }

    ScopedWorkDir dir;
    ManualClock clock;
    RecordingView view;
    std::unique_ptr<StationCore> core;
    std::unique_ptr<ViewerService> service;
    std::unique_ptr<RecordingRemoteTarget> target;
    quint16 port = 0;
};

// Reads texts answering "OK" until `count` texts have come or nothing more
// comes.
QByteArrayList readMessage(ViewerPeer::Link &link, int count, const QByteArray &lastAnswer = "OK")
{
    QByteArrayList texts;
    while (texts.size() < count) {
        const QByteArray text = link.read();
        if (text.isEmpty())
            break;
        texts.append(text);
        link.write(texts.size() == count ? lastAnswer : QByteArray("OK"));
    }
    return texts;
}

} // namespace

TEST_F(ViewerServiceTest, MeasurementMessageCarriesTheStationsValues)
{
    core->state.MeasureTime = kTime;
    QByteArrayList texts;
    ViewerPeer peer(port, [&](ViewerPeer::Link &link) { texts = readMessage(link, 24); });
    ASSERT_TRUE(pumpUntilDone(peer));
    const QByteArrayList expected = {"<ANFANG>", kTime,        "6543",  "1234",     "47",
                                     "85",       "10 ",        "30,5 ", "  ",       "20 ",
                                     "1 ",       "15 ",        "20 ",   "80 ",      "-1",
                                     "-1",       "0",          "0",     "ABCDEFG ", "heron.example:2001 ",
                                     "COM3: ",   "Last Err: ", "4 ",    "10 "};
    EXPECT_EQ(texts, expected);
    ASSERT_TRUE(pumpUntilIdle());
    EXPECT_EQ(linesContaining("*** Verbindung nach 127.0.0.1 erstellt!"), 1);
    EXPECT_EQ(linesContaining(kTime + " Messung zum Client1 gesendet"), 1);
    EXPECT_EQ(view.lastConnection.left(11), "Last Conn: ");
}

// Text 4 without a CPU value and the identifier forms of text 18; sending
// the identifier pads the stored one.
struct IdentifierCase
{
    const char *name;
    qint32 cpuTemp;
    QByteArray stationId;
    bool manual;
    QByteArray deviceId;
    QByteArray text4;
    QByteArray text18;
    QByteArray storedId;
};

class ViewerIdentifierTest : public ViewerServiceTest, public ::testing::WithParamInterface<IdentifierCase>
{
};

TEST_P(ViewerIdentifierTest, TextsFourAndEighteen)
{
    const IdentifierCase &c = GetParam();
    core->state.CpuTemp = c.cpuTemp;
    core->config.StationId = c.stationId;
    core->config.ManualStationId = c.manual;
    core->state.DeviceStationId = c.deviceId;
    core->state.MeasureTime = kTime;
    QByteArrayList texts;
    ViewerPeer peer(port, [&](ViewerPeer::Link &link) { texts = readMessage(link, 24); });
    ASSERT_TRUE(pumpUntilDone(peer));
    ASSERT_EQ(texts.size(), 24);
    EXPECT_EQ(texts[4], c.text4);
    EXPECT_EQ(texts[18], c.text18);
    EXPECT_EQ(core->config.StationId, c.storedId);
}

INSTANTIATE_TEST_SUITE_P(
    Cases, ViewerIdentifierTest,
    ::testing::Values(
        IdentifierCase{"NoCpuValue", 0, "ABCDEFG", false, "", Text8::cp("<nicht verfügbar>"), "ABCDEFG ",
                       "ABCDEFG"},
        IdentifierCase{"NegativeCpuValue", -5, "ABCDEFG", false, "", Text8::cp("<nicht verfügbar>"),
                       "ABCDEFG ", "ABCDEFG"},
        IdentifierCase{"CpuValueOne", 1, "ABCDEFG", false, "", "1", "ABCDEFG ", "ABCDEFG"},
        IdentifierCase{"ThreeCharacters", 47, "ABC", false, "", "47", "ABC---- ", "ABC----"},
        IdentifierCase{"SevenUnderscores", 47, "_______", false, "", "47", "------- ", "-------"},
        IdentifierCase{"HandEntered", 47, "XYZ", true, "HAND123", "47", "HAND123$$$", "XYZ----"},
        IdentifierCase{"HandEnteredWithoutDevice", 47, "XYZ", true, "", "47", "XYZ---- ", "XYZ----"}),
    [](const ::testing::TestParamInfo<IdentifierCase> &info) { return info.param.name; });

TEST_F(ViewerServiceTest, SixTextsWhileTheConfigurationDialogIsOpen)
{
    core->mirror.ConfigDialogOpen = true;
    core->state.MeasureTime = kTime;
    QByteArrayList first;
    QByteArray next;
    std::atomic<bool> firstRead{false};
    ViewerPeer peer(port, [&](ViewerPeer::Link &link) {
        first = readMessage(link, 6);
        firstRead = true;
        // The next text is the start of the next message.
        next = link.readAndAnswer();
    });
    ASSERT_TRUE(pumpUntil([&] { return firstRead.load(); }));
    core->state.MeasureTime = "01.03.2011 08:30:02";
    ASSERT_TRUE(pumpUntilDone(peer));
    ASSERT_EQ(first.size(), 6);
    EXPECT_EQ(first.last(), "85");
    EXPECT_EQ(next, "<ANFANG>");
    EXPECT_EQ(linesContaining(kTime + " Messung zum Client1 gesendet"), 1);
}

// An idle link waits on its socket and on the measurement time together:
// with an idle bound far beyond the test's time, a new measurement time still
// starts the next message at once.
TEST_F(ViewerServiceTest, NewMeasurementTimeWakesAnIdleLinkAtOnce)
{
    ViewerWaits waits;
    waits.answerMs = 300;
    waits.idleMs = 60000;
    service->setWaits(waits);
    core->state.MeasureTime = kTime;
    std::atomic<bool> firstRead{false};
    QByteArrayList second;
    ViewerPeer peer(port, [&](ViewerPeer::Link &link) {
        readMessage(link, 24);
        firstRead = true;
        second = readMessage(link, 24);
    });
    ASSERT_TRUE(pumpUntil([&] { return firstRead.load() && linesContaining(" Messung zum Client1 gesendet") == 1; }));
    // The link is in its idle wait shortly after its status line; no clock
    // of the test can stand in for that moment.
    QElapsedTimer settle;
    settle.start();
    pumpUntil([&] { return settle.elapsed() >= 50; });
    core->state.MeasureTime = "01.03.2011 08:30:02";
    ASSERT_TRUE(pumpUntilDone(peer));
    ASSERT_EQ(second.size(), 24);
    EXPECT_EQ(second[1], "01.03.2011 08:30:02");
    // The shut-down check comes with the next wake-up.
    core->state.TerminateRequested = true;
    core->state.MeasureTime = "01.03.2011 08:30:04";
}

// An idle link with an idle bound far beyond the test's time ends at once,
// with "<BREAK>" to the viewer, when it is told to: by the station's
// shut-down and by the service that goes.
TEST_F(ViewerServiceTest, ShutDownAndTheServiceGoingEndAnIdleLinkAtOnce)
{
    for (const bool shutDown : {true, false}) {
        SCOPED_TRACE(shutDown ? "shut-down" : "service goes");
        if (!service) {
            service = std::make_unique<ViewerService>(*core);
            service->setRemoteTarget(target.get());
            service->open();
            service->listen();
            port = service->socket()->serverPort();
        }
        ViewerWaits waits;
        waits.answerMs = 300;
        waits.idleMs = 60000;
        service->setWaits(waits);
        core->state.TerminateRequested = false;
        core->state.MeasureTime = kTime;
        std::atomic<bool> firstRead{false};
        QByteArray after;
        bool closed = false;
        ViewerPeer peer(port, [&](ViewerPeer::Link &link) {
            readMessage(link, 24);
            firstRead = true;
            after = link.read(5000);
            closed = link.closedByStation(5000);
        });
        ASSERT_TRUE(pumpUntil([&] { return firstRead.load() && service->connectionThreads() == 1; }));
        // The link is in its idle wait shortly after its message; no clock
        // of the test can stand in for that moment.
        QElapsedTimer settle;
        settle.start();
        pumpUntil([&] { return settle.elapsed() >= 50; });
        QElapsedTimer ending;
        ending.start();
        if (shutDown)
            core->state.TerminateRequested = true;
        else
            service.reset(); // waits for the link's thread
        ASSERT_TRUE(pumpUntilDone(peer));
        EXPECT_EQ(after, "<BREAK>");
        EXPECT_TRUE(closed);
        EXPECT_LT(ending.elapsed(), 3000); // far below the idle bound
        ASSERT_TRUE(pumpUntil([&] { return core->state.ActiveThreadCount.load() == 0; }));
    }
}

TEST_F(ViewerServiceTest, BreakAnswerToTheLastTextEndsTheConnection)
{
    core->state.MeasureTime = kTime;
    bool closed = false;
    ViewerPeer peer(port, [&](ViewerPeer::Link &link) {
        readMessage(link, 24, "BREAK");
        closed = link.closedByStation();
    });
    ASSERT_TRUE(pumpUntilDone(peer));
    EXPECT_TRUE(closed);
    ASSERT_TRUE(pumpUntilIdle());
    EXPECT_EQ(linesContaining(kTime + " CFG von Client1 empf. (BREAK)"), 1);
}

// "<CONFIG>" as the answer inside a message: "<REPEAT>", then the repeated
// "<CONFIG>" starts the configuration, which goes to the dialog's setters in
// order, each with its trimmed text, then the sensor stop, the save and the
// sensor start, all on the GUI thread under the semaphore.
TEST_F(ViewerServiceTest, ConfigCollisionIsRepeatedThenTakenAndApplied)
{
    core->state.MeasureTime = kTime;
    core->mirror.StartButtonStop = true; // the sensor runs
    const QByteArrayList config = {"11 ",    "29 ", "2 ", "19 ", "3 ", "14 ",         "25 ",
                                   "75 ",    "-1",  "0",  "-1",  "0",  "NEW1234 $$$", "alarm.example:2010 ",
                                   "COM9: ", "6 ",  "12 "};
    QByteArrayList got;
    ViewerPeer peer(port, [&](ViewerPeer::Link &link) {
        got.append(link.readAndAnswer());           // <ANFANG>
        got.append(link.readAndAnswer("<CONFIG>")); // the time
        got.append(link.read());                    // <REPEAT>
        link.write("<CONFIG>");
        got.append(link.read()); // OK
        for (const QByteArray &t : config) {
            link.write(t);
            got.append(link.read());
        }
    });
    ASSERT_TRUE(pumpUntilDone(peer));
    ASSERT_TRUE(pumpUntilIdle());
    ASSERT_EQ(got.size(), 4 + 17);
    EXPECT_EQ(got[2], "<REPEAT>");
    for (int i = 3; i < got.size(); ++i)
        EXPECT_EQ(got[i], "OK") << i;
    EXPECT_EQ(linesContaining(kTime + " CFG von Client1 empf. (<CONFIG>)"), 1);

    QList<QByteArray> sets;
    for (const auto &c : target->calls) {
        EXPECT_TRUE(c.onGuiThread);
        EXPECT_TRUE(c.semaphoreHeld);
        if (c.what == "set")
            sets.append(QByteArray::number(c.item) + "=" + c.text);
    }
    const QList<QByteArray> expectedSets = {
        "1=11",     "2=29", "3=2",  "4=19",  "5=3",  "6=14",       "7=25",
        "8=75",     "9=-1", "10=0", "11=-1", "12=0", "13=NEW1234", "14=alarm.example:2010",
        "15=COM9:", "16=6", "17=12"};
    EXPECT_EQ(sets, expectedSets);
    ASSERT_GE(target->calls.size(), 3);
    const auto n = target->calls.size();
    EXPECT_EQ(target->calls[n - 3].what, "button"); // SyncStopSensor: it ran
    EXPECT_EQ(target->calls[n - 2].what, "apply");
    EXPECT_EQ(target->calls[n - 1].what, "button"); // SyncToggleSensor
    EXPECT_TRUE(core->mirror.StartButtonStop.load());
    const StationConfig &c = core->config;
    EXPECT_EQ(c.StationId, "NEW1234");
    EXPECT_TRUE(c.ManualStationId);
    EXPECT_EQ(core->state.DeviceStationId.get(), "NEW1234");
    EXPECT_EQ(c.ServerHost, "alarm.example");
    EXPECT_EQ(c.ServerPort, "2010");
    EXPECT_EQ(c.AlarmInterval, "6");
    EXPECT_EQ(c.CpuMaxTempDistance, "12");
    EXPECT_EQ(c.ComPort, "COM3:"); // the station keeps its port
    EXPECT_EQ(c.TempMin, "10");    // thresholds only reach the dialog
}

// A text with a line break or a NUL, or an identifier that could not be a
// plain file name in the working folder, is not taken by the connection: the
// settings it would set stay, and the text goes to the dialog as received,
// whose check refuses it. The viewer gets its "OK" as for every text.
TEST_F(ViewerServiceTest, TextsThatBreakTheFilesOrLeaveTheFolderAreNotTaken)
{
    const QByteArrayList sent = {"../../Q ", QByteArray("SI\0M123 $$$", 11), "/tmp/rB $$$"};
    for (const QByteArray &id : sent) {
        SCOPED_TRACE(id.toStdString());
        target->calls.clear();
        const QByteArrayList config = {"11 ",
                                       "29 ",
                                       "2 ",
                                       "19 ",
                                       "3 ",
                                       "14 ",
                                       "25 ",
                                       "75 ",
                                       "-1",
                                       "0",
                                       "-1",
                                       "0",
                                       id,
                                       "127.0.0.1\r\nTemp-Min\r\n99:2 ",
                                       "COM9: ",
                                       "4\r\n5 ",
                                       QByteArray("1\0"
                                                  "2 ",
                                                  4)};
        QByteArrayList got;
        ViewerPeer peer(port, [&](ViewerPeer::Link &link) {
            link.write("<CONFIG>");
            got.append(link.read());
            for (const QByteArray &t : config) {
                link.write(t);
                got.append(link.read());
            }
        });
        ASSERT_TRUE(pumpUntilDone(peer));
        ASSERT_TRUE(pumpUntilIdle());
        ASSERT_EQ(got.size(), 18);
        for (const QByteArray &answer : got)
            EXPECT_EQ(answer, "OK");
        const StationConfig &c = core->config;
        EXPECT_EQ(c.StationId, "ABCDEFG");
        EXPECT_FALSE(c.ManualStationId);
        EXPECT_EQ(core->state.DeviceStationId.get(), "");
        EXPECT_EQ(c.ServerHost, "heron.example");
        EXPECT_EQ(c.ServerPort, "2001");
        EXPECT_EQ(c.AlarmInterval, "4");
        EXPECT_EQ(c.CpuMaxTempDistance, "10");
        QList<QByteArray> sets;
        bool serverShown = false;
        for (const auto &call : target->calls) {
            if (call.what == "set" && (call.item == 13 || call.item == 14 || call.item >= 16))
                sets.append(QByteArray::number(call.item) + "=" + call.text);
            serverShown = serverShown || call.what == "server";
        }
        EXPECT_EQ(sets,
                  (QList<QByteArray>{"13=" + id.trimmed(), "14=127.0.0.1\r\nTemp-Min\r\n99:2", "16=4\r\n5",
                                     "17=" + QByteArray("1\0"
                                                        "2",
                                                        3)}));
        EXPECT_FALSE(serverShown); // the main window's server display stays
    }
}

// A configuration taken between messages also clears the pending state set
// by an earlier answer, so measurement messages come again.
TEST_F(ViewerServiceTest, MessagesStopWhileAConfigurationIsPendingAndResumeAfterIt)
{
    core->state.MeasureTime = kTime;
    std::atomic<int> phase{0};
    QByteArray afterPending, afterConfig;
    ViewerPeer peer(port, [&](ViewerPeer::Link &link) {
        link.readAndAnswer();
        link.readAndAnswer("WHAT"); // any other answer than OK
        link.read();                // <REPEAT>
        phase = 1;
        afterPending = link.read(300); // no message while pending
        link.write("<CONFIG>");
        link.read();
        for (int i = 0; i < 17; ++i) {
            link.write(i == 12 ? "ABCDEFG " : "1 ");
            link.read();
        }
        afterConfig = link.read();
    });
    ASSERT_TRUE(pumpUntil([&] { return phase.load() == 1; }));
    core->state.MeasureTime = "01.03.2011 08:30:02";
    ASSERT_TRUE(pumpUntil([&] { return !target->calls.isEmpty() && target->calls.last().what == "button"; }));
    core->state.MeasureTime = "01.03.2011 08:30:04";
    ASSERT_TRUE(pumpUntilDone(peer));
    EXPECT_EQ(afterPending, "");
    EXPECT_EQ(afterConfig, "<ANFANG>");
}

// A configuration whose texts stop coming: nothing is applied or stored, the
// semaphore stays free while the station waits, and the thread ends.
TEST_F(ViewerServiceTest, ConfigurationThatStopsHalfWayIsAbandoned)
{
    const StationConfig before = core->config;
    std::atomic<bool> silent{false};
    std::atomic<bool> release{false};
    bool closed = false;
    ViewerPeer peer(port, [&](ViewerPeer::Link &link) {
        link.write("<CONFIG>");
        link.read();
        for (int i = 0; i < 13; ++i) {
            link.write("X ");
            link.read();
        }
        silent = true;
        while (!release)
            std::this_thread::yield();
        closed = link.closedByStation();
    });
    ASSERT_TRUE(pumpUntil([&] { return silent.load(); }));
    EXPECT_EQ(core->semaphore.available(), 1);
    release = true;
    ASSERT_TRUE(pumpUntilDone(peer));
    EXPECT_TRUE(closed);
    ASSERT_TRUE(pumpUntilIdle());
    EXPECT_TRUE(target->calls.isEmpty());
    EXPECT_EQ(core->config, before);
}

// Viewers that misbehave end their own threads; the one that behaves keeps
// receiving.
struct AbuseCase
{
    const char *name;
    std::function<void(ViewerPeer::Link &)> script;
};

class ViewerAbuseTest : public ViewerServiceTest, public ::testing::WithParamInterface<AbuseCase>
{
};

TEST_P(ViewerAbuseTest, ConnectionEndsAndReleasesEverything)
{
    core->state.MeasureTime = kTime;
    ViewerPeer bad(port, GetParam().script);
    ASSERT_TRUE(pumpUntilDone(bad));
    ASSERT_TRUE(pumpUntilIdle());
    EXPECT_EQ(core->semaphore.available(), 1);
    core->state.MeasureTime = "01.03.2011 08:30:02";
    QByteArrayList texts;
    ViewerPeer good(port, [&](ViewerPeer::Link &link) { texts = readMessage(link, 24); });
    ASSERT_TRUE(pumpUntilDone(good));
    EXPECT_EQ(texts.size(), 24);
}

INSTANTIATE_TEST_SUITE_P(Cases, ViewerAbuseTest,
                         ::testing::Values(AbuseCase{"Garbage",
                                                     [](ViewerPeer::Link &link) {
                                                         link.write(QByteArray(100000, '\x7f'));
                                                         link.closedByStation();
                                                     }},
                                           AbuseCase{"SilentInAMessage",
                                                     [](ViewerPeer::Link &link) {
                                                         link.read();
                                                         link.read(800); // the station's wait ends first
                                                     }},
                                           AbuseCase{"VanishesHalfWay",
                                                     [](ViewerPeer::Link &link) {
                                                         for (int i = 0; i < 9; ++i)
                                                             link.readAndAnswer();
                                                     }},
                                           AbuseCase{"VanishesInAConfiguration",
                                                     [](ViewerPeer::Link &link) {
                                                         link.readAndAnswer("<CONFIG>");
                                                         link.read();
                                                         link.write("<CONFIG>");
                                                         link.read();
                                                         link.write("5 ");
                                                         link.read();
                                                     }}),
                         [](const ::testing::TestParamInfo<AbuseCase> &info) { return info.param.name; });

TEST_F(ViewerServiceTest, TwoViewersAreNumberedOneAndTwo)
{
    core->state.MeasureTime = kTime;
    QByteArrayList a, b;
    ViewerPeer first(port, [&](ViewerPeer::Link &link) { a = readMessage(link, 24); });
    ViewerPeer second(port, [&](ViewerPeer::Link &link) { b = readMessage(link, 24); });
    ASSERT_TRUE(pumpUntil([&] { return first.done() && second.done(); }));
    EXPECT_EQ(a.size(), 24);
    EXPECT_EQ(b.size(), 24);
    ASSERT_TRUE(pumpUntilIdle());
    EXPECT_EQ(linesContaining(kTime + " Messung zum Client1 gesendet"), 1);
    EXPECT_EQ(linesContaining(kTime + " Messung zum Client2 gesendet"), 1);
    EXPECT_EQ(core->state.ConnectionCounter.load(), 2);
}

// A connection's status lines go to the activity list without the semaphore
// unless the lost-port watch is due; while it is, each of them still counts
// a sensor error, as every other status line does.
TEST_F(ViewerServiceTest, StatusLinesCountSensorErrorsOnlyWhileThePortIsLost)
{
    for (const bool portLost : {false, true}) {
        SCOPED_TRACE(portLost ? "port lost" : "port open");
        view.lines.clear();
        core->state.AlarmSensor.SensorErrorCount = 0;
        core->state.SensorRunning = true;
        core->state.ComHandle = portLost ? -1 : 7;
        core->state.MeasureTime = kTime + (portLost ? "1" : "0");
        QByteArrayList texts;
        ViewerPeer peer(port, [&](ViewerPeer::Link &link) { texts = readMessage(link, 24); });
        ASSERT_TRUE(pumpUntilDone(peer));
        EXPECT_EQ(texts.size(), 24);
        ASSERT_TRUE(pumpUntil([&] { return linesContaining(" Messung zum Client") == 1; }));
        // The connection's line and the measurement's line.
        const int portLines = linesContaining(Text8::cp(StationTexts::ComPortError));
        EXPECT_EQ(portLines, portLost ? 2 : 0);
        EXPECT_EQ(core->state.AlarmSensor.SensorErrorCount, portLost ? 2 : 0);
        ASSERT_TRUE(pumpUntilIdle());
    }
    core->state.SensorRunning = false;
}

// The port is lost while a connection's status line waits for the GUI
// thread, after the connection found the lost-port watch not due: the line
// still counts its sensor error and resets the values. The port goes at the
// GUI thread's wake-up for the queued line, so the test serves only the
// event loop, not the hand-over queue itself.
TEST_F(ViewerServiceTest, PortLostWhileAStatusLineWaitsForTheGuiThreadIsStillWatched)
{
    struct PortLossAtWakeUp : QObject
    {
        StationState &state;
        bool lost = false;
        explicit PortLossAtWakeUp(StationState &s)
            : state(s)
        {}
        bool eventFilter(QObject *, QEvent *event) override
        {
            if (event->type() == QEvent::MetaCall && !lost) {
                lost = true;
                state.ComHandle = -1;
            }
            return false;
        }
    } loss(core->state);
    core->state.SensorRunning = true;
    core->state.ComHandle = 7;
    core->handover.installEventFilter(&loss);
    std::atomic<bool> release{false};
    ViewerPeer peer(port, [&](ViewerPeer::Link &) {
        while (!release)
            std::this_thread::yield();
    });
    QElapsedTimer t;
    t.start();
    while (linesContaining("erstellt!") == 0 && t.elapsed() < 10000)
        QCoreApplication::processEvents();
    release = true;
    core->handover.removeEventFilter(&loss);
    EXPECT_TRUE(loss.lost);
    EXPECT_EQ(view.lines.join('|').toStdString(),
              (Text8::cp(StationTexts::ComPortError) + "|*** Verbindung nach 127.0.0.1 erstellt!").toStdString());
    EXPECT_EQ(core->state.AlarmSensor.SensorErrorCount, 1);
    EXPECT_EQ(core->state.RawTemp, 0);
    EXPECT_EQ(core->state.RawHumidity, 0);
    core->state.SensorRunning = false;
}

TEST_F(ViewerServiceTest, ShutDownSendsBreakToEveryViewer)
{
    QByteArray a, b;
    std::atomic<int> connected{0};
    const auto script = [&](QByteArray &got) {
        return [&](ViewerPeer::Link &link) {
            ++connected;
            got = link.read();
        };
    };
    ViewerPeer first(port, script(a));
    ViewerPeer second(port, script(b));
    ASSERT_TRUE(pumpUntil([&] {
        return connected.load() == 2 && core->state.ActiveThreadCount.load() == 2 &&
               linesContaining("erstellt!") == 2;
    }));
    core->state.TerminateRequested = true;
    ASSERT_TRUE(pumpUntil([&] { return first.done() && second.done(); }));
    EXPECT_EQ(a, "<BREAK>");
    EXPECT_EQ(b, "<BREAK>");
    EXPECT_TRUE(pumpUntilIdle());
}

// A flood of connections is served up to the bound; one more is closed at
// once and costs no thread.
TEST_F(ViewerServiceTest, ConnectionsBeyondTheBoundAreClosedAtOnce)
{
    std::atomic<bool> boundReached{false};
    std::atomic<bool> allConnected{false};
    std::atomic<int> extra{0}; // 1: closed by the station, 2: kept open
    std::atomic<bool> checked{false};
    std::thread flood([&] {
        std::vector<std::unique_ptr<QTcpSocket>> sockets;
        for (int i = 0; i < ViewerService::MaxConnections; ++i) {
            sockets.push_back(std::make_unique<QTcpSocket>());
            sockets.back()->connectToHost(QStringLiteral("127.0.0.1"), port);
            sockets.back()->waitForConnected(5000);
        }
        allConnected = true;
        while (!boundReached)
            std::this_thread::yield();
        QTcpSocket one;
        one.connectToHost(QStringLiteral("127.0.0.1"), port);
        one.waitForConnected(5000);
        const bool closed = one.state() != QAbstractSocket::ConnectedState || one.waitForDisconnected(5000);
        extra = closed ? 1 : 2;
        // The flood stays connected until the counts are read: closing it
        // ends the station's threads.
        while (!checked)
            std::this_thread::yield();
    });
    // Every thread counted and numbered (a thread numbers itself once it runs).
    const bool reached = pumpUntil([&] {
        return allConnected.load() && core->state.ActiveThreadCount.load() == ViewerService::MaxConnections
               && core->state.ConnectionCounter.load() == ViewerService::MaxConnections;
    });
    boundReached = true;
    pumpUntil([&] { return extra.load() != 0; });
    const int counter = core->state.ConnectionCounter.load();
    const int threads = service->connectionThreads();
    checked = true;
    flood.join();
    ASSERT_TRUE(reached);
    EXPECT_EQ(extra.load(), 1);
    EXPECT_EQ(counter, ViewerService::MaxConnections);
    EXPECT_EQ(threads, ViewerService::MaxConnections);
}

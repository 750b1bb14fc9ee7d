#include "support/ScriptedSocket.h"

#include "common/Text8.h"
#include "reporting/ReportingTexts.h"
#include "reporting/TCPUtils.h"
#include "station/StationCore.h"
#include "support/ManualClock.h"
#include "support/RecordingView.h"
#include "support/TestPlatform.h"

#include <gtest/gtest.h>

using namespace TCPUtils;

namespace {

class ReceiveFrameTest : public ::testing::Test
{
protected:
    ManualClock clock;
    RecordingView view;
    StationCore core{view, platformWith(clock)};
    ScriptedSocket socket;

    quint8 mode = 0x55;
    qint32 sequence = 3;
    QByteArray payload = "stale";
    quint8 type = 0xEE;

    void receive() { ReceiveFrame(&socket, mode, sequence, core, payload, type); }
    void receiveRetry() { ReceiveFrameRetry(&socket, mode, sequence, core, payload, type); }
};

QByteArray bytes(int n, char first = 1)
{
    QByteArray b;
    for (int i = 0; i < n; ++i)
        b.append(char(first + i));
    return b;
}

} // namespace

TEST_F(ReceiveFrameTest, DeliversPayloadTypeAndLengthExtension)
{
    struct Case
    {
        const char *name;
        QByteArray input;
        quint8 type;
        QByteArray payload;
    } cases[] = {
        {"data frame, bit 7", serverFrame(0x10, 0x82, bytes(263)), 2, bytes(263)},
        {"data frame, bits 7 and 6", serverFrame(0x10, 0xC2, bytes(513)), 2, bytes(513)},
        {"text frame keeps its length", serverFrame(0x10, 0x9B, bytes(13)), 27, bytes(13)},
        {"plain data frame", serverFrame(2, bytes(250)), 2, bytes(250)},
        {"empty close frame", QByteArray::fromHex("03fa03"), 3, QByteArray(1, '\0')},
        {"close frame with date", serverFrame(3, "\x10\x20\x30\x40"), 3, "\x10\x20\x30\x40"},
        {"answer before the frame is skipped",
         answerBytes('A') + serverFrame(22, QByteArray("\x05\0\0\0", 4)), 22, QByteArray("\x05\0\0\0", 4)},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.name);
        socket.input = c.input;
        socket.writes.clear();
        sequence = 3;
        receive();
        EXPECT_EQ(payload, c.payload);
        EXPECT_EQ(type, c.type);
        EXPECT_EQ(mode, 0);
        EXPECT_EQ(sequence, 0); // a frame without prefix
        EXPECT_TRUE(socket.input.isEmpty());
        EXPECT_TRUE(socket.writes.isEmpty()); // the caller answers, not the routine
    }
    EXPECT_TRUE(view.lines.isEmpty());
}

TEST_F(ReceiveFrameTest, UnusableFramesDeliverNothing)
{
    QByteArray wrongChecksum = serverFrame(2, "abc");
    wrongChecksum[1] = char(wrongChecksum[1] + 1);
    const QByteArray halfFrame = serverFrame(2, bytes(100)).left(60);
    struct Case
    {
        const char *name;
        QByteArray input;
    } cases[] = {
        {"wrong checksum", wrongChecksum},
        {"stalls in the middle", halfFrame},
        {"header incomplete", QByteArray("\x05\x00", 2)},
        {"nothing at all", QByteArray()},
        {"length byte below 3", QByteArray::fromHex("02fc02")},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.name);
        socket.input = c.input;
        sequence = 3;
        payload = "stale";
        receive();
        EXPECT_TRUE(payload.isEmpty());
        EXPECT_EQ(sequence, 3);
        EXPECT_TRUE(socket.writes.isEmpty()); // not even a wrong checksum is answered
    }
    EXPECT_TRUE(view.lines.isEmpty());
}

TEST_F(ReceiveFrameTest, PayloadBytesAreReadOneAtATimeAndGiveUpAfter800Misses)
{
    socket.input = serverFrame(2, bytes(100)).left(60);
    receive();
    EXPECT_TRUE(payload.isEmpty());
    EXPECT_EQ(socket.timeouts, (QList<int>{4000, 2}));
    EXPECT_EQ(socket.reads, 1 + 57 + 800);
    EXPECT_EQ(socket.failedReads, 800);

    // Misses in a row are counted; a byte in between starts the count anew.
    const QByteArray frame = serverFrame(2, bytes(10));
    socket.input = frame.left(5);
    int starved = 0;
    socket.onStarve = [&](ScriptedSocket &s) {
        if (++starved == 799)
            s.input.append(frame.mid(5));
    };
    receive();
    EXPECT_EQ(payload, bytes(10));
}

TEST_F(ReceiveFrameTest, SequencePrefixSwitchesModeAndRepeatsAreAcknowledgedOnly)
{
    const QByteArray frame = serverFrame(2, "abc");
    socket.input = QByteArray("ww\x07") + frame;
    sequence = 3;
    receive();
    EXPECT_EQ(payload, "abc");
    EXPECT_EQ(mode, 1);
    EXPECT_EQ(sequence, 7);
    EXPECT_TRUE(socket.writes.isEmpty());
    EXPECT_EQ(socket.timeouts, (QList<int>{4000, 2000, 2}));

    // The same sequence byte again: acknowledged in sequence mode, not delivered.
    socket.input = QByteArray("ww\x07") + frame;
    receive();
    EXPECT_TRUE(payload.isEmpty());
    EXPECT_EQ(mode, 1);
    EXPECT_EQ(sequence, 7);
    ASSERT_EQ(socket.writes.size(), 1);
    EXPECT_EQ(socket.writes[0].toHex(' '), QByteArray("77 77 07 01 01 01 01 41"));

    // The next number is delivered again.
    socket.input = QByteArray("ww\x08") + frame;
    receive();
    EXPECT_EQ(payload, "abc");
    EXPECT_EQ(sequence, 8);

    // A frame without prefix turns the mode off and the number to 0.
    socket.input = frame;
    receive();
    EXPECT_EQ(mode, 0);
    EXPECT_EQ(sequence, 0);

    // An answer in sequence mode is skipped like a plain one.
    socket.input = QByteArray("ww\x09") + answerBytes('A') + QByteArray("ww\x0A") + frame;
    receive();
    EXPECT_EQ(payload, "abc");
    EXPECT_EQ(sequence, 10);
}

TEST_F(ReceiveFrameTest, ClosedConnectionAndMissingClient)
{
    socket.connected = false;
    receive();
    EXPECT_TRUE(payload.isEmpty());
    EXPECT_EQ(view.lines, (QList<QByteArray>{Text8::cp(ReportingTexts::Disconnected)}));

    view.lines.clear();
    payload = "stale";
    ReceiveFrame(nullptr, mode, sequence, core, payload, type);
    ReceiveFrameRetry(nullptr, mode, sequence, core, payload, type);
    EXPECT_TRUE(payload.isEmpty());
    EXPECT_TRUE(view.lines.isEmpty());
}

TEST_F(ReceiveFrameTest, RetryDrainsTheRestOfABrokenFrameBeforeTheNextTry)
{
    // A frame with a wrong checksum is followed by bytes of a broken frame;
    // the server sends the frame again once the station stayed silent.
    QByteArray broken = serverFrame(2, "first");
    broken[4] = 'X';
    socket.input = broken + QByteArray("\x09\x01\x55");
    socket.deliverOnHeaderWait({serverFrame(2, "again")});

    receiveRetry();
    EXPECT_EQ(payload, "again");
    EXPECT_EQ(type, 2);
    EXPECT_TRUE(socket.writes.isEmpty());
    EXPECT_EQ(view.lines, (QList<QByteArray>{Text8::cp(ReportingTexts::WaitingForData)}));
    EXPECT_EQ(clock.totalSlept(), 100);
}

TEST_F(ReceiveFrameTest, RetryGivesUpAfterHundredTries)
{
    receiveRetry();
    EXPECT_TRUE(payload.isEmpty());
    // Every try waits for a header; the first 20 pause and drain.
    EXPECT_EQ(socket.timeouts.count(4000), 100);
    EXPECT_EQ(view.lines.size(), 20);
    EXPECT_EQ(view.lines.count(Text8::cp(ReportingTexts::WaitingForData)), 20);
    EXPECT_EQ(clock.totalSlept(), 20 * 100);
}

// What arrives while the station pauses after a try that took in nothing of
// a frame, or a repetition it answered, is the server's next frame: it is
// delivered, not drained away unanswered.
TEST_F(ReceiveFrameTest, RetryDrainsNothingAfterATryThatTookInNoBrokenFrame)
{
    const QByteArray next = serverFrame(2, "next");
    const struct
    {
        const char *what;
        QByteArray input;    // there before the first try
        quint8 mode;         // the mode the frame that is delivered came in
        QByteArray inPause;  // arrives during the first pause
        QByteArray answered; // what the station wrote
    } cases[] = {
        {"a header wait in vain", {}, 0, next, {}},
        {"an answer, then a header wait in vain", answerBytes('A'), 0, next, {}},
        {"a repetition", QByteArray("ww\x07") + serverFrame(2, "abc"), 1, QByteArray("ww\x08") + next,
         QByteArray("ww\x07") + answerBytes('A')},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.what);
        socket.input = c.input;
        socket.writes.clear();
        sequence = 7;
        QByteArray inPause = c.inPause;
        clock.setSleepHook([&](int) {
            socket.input.append(inPause);
            inPause.clear();
        });
        receiveRetry();
        EXPECT_EQ(payload, "next");
        EXPECT_EQ(mode, c.mode);
        EXPECT_EQ(socket.written(), c.answered);
        EXPECT_TRUE(socket.input.isEmpty());
    }
    clock.setSleepHook({});
}

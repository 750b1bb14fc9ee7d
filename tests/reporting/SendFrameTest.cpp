#include "support/StandinLink.h"

#include <QFile>

using namespace TCPUtils;
using Reaction = HeronStandin::Reaction;

namespace {

// Answers of the stand-in to one text frame and what SendFrame makes of them.
struct AnswerCase
{
    const char *name;
    QList<Reaction> reactions;
    bool accepted;
    int sends;
    qint64 slept; // pauses on the fake clock
};

class SendFrameAnswers : public StandinLinkTest, public ::testing::WithParamInterface<AnswerCase>
{
};

const AnswerCase kAnswerCases[] = {
    {"accepted", {}, true, 1, 0},
    {"lower-case a counts as A", {Reaction::answer('a')}, true, 1, 0},
    {"n counts as N: pause, then again", {Reaction::answer('n')}, true, 2, 5000},
    {"N four times, then accepted",
     {Reaction::answer('N'), Reaction::answer('N'), Reaction::answer('N'), Reaction::answer('N')},
     true,
     5,
     20000},
    {"N five times gives up",
     {Reaction::answer('N'), Reaction::answer('N'), Reaction::answer('N'), Reaction::answer('N'),
      Reaction::answer('N')},
     false,
     5,
     25000},
    {"unknown letter: again at once", {Reaction::answer('X')}, true, 2, 0},
    {"unknown letters five times",
     {Reaction::answer('X'), Reaction::answer('?'), Reaction::answer('b'), Reaction::answer('Z'),
      Reaction::answer('1')},
     false,
     5,
     0},
    {"C stops at once", {Reaction::answer('C')}, false, 1, 0},
    {"c stops at once", {Reaction::answer('c')}, false, 1, 0},
    {"N, then C", {Reaction::answer('N'), Reaction::answer('C')}, false, 2, 5000},
};

} // namespace

TEST_P(SendFrameAnswers, LettersPausesAndResends)
{
    const AnswerCase &c = GetParam();
    ASSERT_TRUE(login());
    const qint32 before = sequence;
    server.queueReactions(c.reactions);

    EXPECT_EQ(send("ABCDEFG", FrameType::TextFrame), c.accepted);
    EXPECT_EQ(sequence, c.accepted ? before + 1 : before);
    EXPECT_EQ(clock.totalSlept(), c.slept);

    // Every send is the same frame, byte for byte.
    const QList<HeronStandin::Received> frames = server.frames();
    ASSERT_EQ(frames.size(), 1 + c.sends);
    for (int i = 1; i < frames.size(); ++i)
        EXPECT_EQ(frames[i].raw, QByteArray("\x0A\xFF\x1B"
                                            "ABCDEFG"));
}

INSTANTIATE_TEST_SUITE_P(Stand_in, SendFrameAnswers, ::testing::ValuesIn(kAnswerCases), [](const auto &info) {
    std::string n = info.param.name;
    for (char &ch : n)
        if (!std::isalnum(static_cast<unsigned char>(ch)))
            ch = '_';
    return n;
});

TEST_F(StandinLinkTest, SilentOrStalledServerCostsFiveTimeoutsAndPauses)
{
    ASSERT_TRUE(login());
    link->setReadTimeoutLimit(5); // the real 10 s wait would cost real time
    for (const Reaction r : {Reaction::silent(), Reaction::stall()}) {
        SCOPED_TRACE(r.kind == HeronStandin::Kind::Silent ? "silent" : "stalled");
        server.queueReactions({r, r, r, r, r});
        link->timeouts.clear();
        const qint64 sleptBefore = clock.totalSlept();
        const qint32 before = sequence;
        EXPECT_FALSE(send("*DATA*", FrameType::TextFrame));
        EXPECT_EQ(sequence, before);
        EXPECT_EQ(link->timeouts, (QList<int>{10000, 10000, 10000, 10000, 10000}));
        EXPECT_EQ(clock.totalSlept() - sleptBefore, 5 * 5000);
    }
    // The silent server heard all five sends, the stalled one only the first.
    EXPECT_TRUE(server.waitUntil([](const HeronStandin &s) { return s.frames().size() >= 1 + 5 + 1; }));
    EXPECT_EQ(server.frames().size(), 1 + 5 + 1);
}

TEST_F(StandinLinkTest, DroppedConnectionEndsAtOnce)
{
    ASSERT_TRUE(login());
    server.queueReactions({Reaction::drop()});
    EXPECT_FALSE(send("*DATA*", FrameType::TextFrame));
    EXPECT_EQ(server.frames().size(), 2);
    EXPECT_EQ(clock.totalSlept(), 0);
    // The socket is gone: the next frame fails on its write.
    EXPECT_FALSE(send("*ENDE*", FrameType::TextFrame));
    EXPECT_EQ(server.frames().size(), 2);

    // No client object at all.
    EXPECT_FALSE(SendFrame(nullptr, 0, sequence, "*ENDE*", FrameType::TextFrame, clock));
    EXPECT_EQ(ReadAnswer(nullptr, 0, 0), ' ');
    EXPECT_FALSE(SendAck(nullptr, 0, 0));
    EXPECT_FALSE(SendCancel(nullptr, 0, 0));
}

TEST_F(StandinLinkTest, AnswerDroppedAfterTheFrameGivesNoAnswer)
{
    ASSERT_TRUE(login());
    server.queueReactions({Reaction::answerThenDrop()});
    EXPECT_TRUE(send("ABCDEFG", FrameType::TextFrame));
    EXPECT_FALSE(send("*DATA*", FrameType::TextFrame));
    EXPECT_EQ(server.frames().size(), 2);
}

TEST_F(StandinLinkTest, ReportConversationByteForByte)
{
    // Login, identifier, kind, one record file upload and the logout, as the
    // stand-in received them.
    ASSERT_TRUE(login());
    QByteArray content;
    for (int i = 0; i < 520; ++i)
        content.append(char('0' + i % 43));
    ASSERT_TRUE(send("ABCDEFG", FrameType::TextFrame));
    ASSERT_TRUE(send("*DATA*", FrameType::TextFrame));
    ASSERT_TRUE(send("data\\ABCDEFG3.9MS", FrameType::OpenFrame));
    for (int at = 0; at < content.size(); at += 250)
        ASSERT_TRUE(send(content.mid(at, 250), FrameType::DataFrame));
    ASSERT_TRUE(send(QByteArray(), FrameType::CloseFrame));
    ASSERT_TRUE(send("*ENDE*", FrameType::TextFrame));
    EXPECT_EQ(sequence, 9);

    const QList<HeronStandin::Received> frames = server.frames();
    ASSERT_EQ(frames.size(), 9);
    EXPECT_EQ(frames[0].raw, LoginFrame::frame());
    EXPECT_EQ(frames[0].raw.size(), 23);
    EXPECT_EQ(frames[4].raw.size(), 253);
    EXPECT_EQ(quint8(frames[4].raw[0]), 253);
    EXPECT_EQ(quint8(frames[4].raw[2]), 2);
    EXPECT_EQ(frames[4].raw.mid(3), content.left(250));
    EXPECT_EQ(frames[6].raw.size(), 20 + 3);
    EXPECT_EQ(frames[7].raw.toHex(' '), QByteArray("03 fa 03"));
    EXPECT_EQ(frames[8].raw.toHex(' '), QByteArray("09 6c 1b 2a 45 4e 44 45 2a"));
    for (const HeronStandin::Received &f : frames)
        EXPECT_TRUE(f.checksumOk);

    ASSERT_EQ(server.uploads().size(), 1);
    EXPECT_EQ(server.uploads()[0].name, "data\\ABCDEFG3.9MS");
    QFile stored(uploadDir() + "/data/ABCDEFG3.9MS");
    ASSERT_TRUE(stored.open(QIODevice::ReadOnly));
    EXPECT_EQ(stored.readAll(), content);
}

TEST_F(StandinLinkTest, SequenceModeOnTheSendSide)
{
    // The station never sends in sequence mode; the routine supports it: the
    // prefix carries the number's low byte and the answer is read as 8 bytes.
    sequence = 255;
    EXPECT_TRUE(SendFrame(link.get(), 1, sequence, LoginFrame::literal(), FrameType::LoginFrame, clock));
    EXPECT_EQ(sequence, 0);
    EXPECT_TRUE(SendFrame(link.get(), 1, sequence, "*DATA*", FrameType::TextFrame, clock));
    EXPECT_EQ(sequence, 1);
    const QList<HeronStandin::Received> frames = server.frames();
    ASSERT_EQ(frames.size(), 2);
    EXPECT_EQ(frames[0].raw, QByteArray("ww\xFF") + LoginFrame::frame());
    EXPECT_EQ(frames[1].raw.left(3), QByteArray("ww\x00", 3));
    EXPECT_EQ(link->timeouts, (QList<int>{10000, 10000}));
}

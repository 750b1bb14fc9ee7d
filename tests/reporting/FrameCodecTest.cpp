#include "reporting/TCPUtils.h"

#include <gtest/gtest.h>

using namespace TCPUtils;

TEST(FrameCodec, WorkedExamples)
{
    EXPECT_EQ(BuildFrame(QByteArray(), FrameType::CloseFrame, 0, 0).toHex(' '), QByteArray("03 fa 03"));
    EXPECT_EQ(BuildFrame("*ENDE*", FrameType::TextFrame, 0, 0).toHex(' '),
              QByteArray("09 6c 1b 2a 45 4e 44 45 2a"));
}

TEST(FrameCodec, LengthByteAndSequencePrefix)
{
    const QByteArray piece(250, '\x7F');
    const QByteArray full = BuildFrame(piece, FrameType::DataFrame, 0, 0);
    ASSERT_EQ(full.size(), 253);
    EXPECT_EQ(quint8(full[0]), 253);
    EXPECT_EQ(quint8(full[2]), 2);

    // Sequence mode puts "ww" and the low byte of the number in front; the
    // prefix is outside the length and the checksum.
    const QByteArray prefixed = BuildFrame("*ENDE*", FrameType::TextFrame, 1, 0x1FE);
    EXPECT_EQ(prefixed.toHex(' '), QByteArray("77 77 fe 09 6c 1b 2a 45 4e 44 45 2a"));

    EXPECT_EQ(BuildAnswer('A', 0, 5).toHex(' '), QByteArray("01 01 01 01 41"));
    EXPECT_EQ(BuildAnswer('C', 1, 7).toHex(' '), QByteArray("77 77 07 01 01 01 01 43"));
}

TEST(FrameCodec, LengthExtensionOnlyForDataFrames)
{
    struct Case
    {
        quint8 length, type;
        int effective;
    } cases[] = {
        {0x10, 0x02, 16}, {0x10, 0x82, 266}, {0x10, 0xC2, 516}, {0x10, 0x42, 266},
        {0x10, 0x9B, 16}, {0x10, 0xC3, 16},  {0xFF, 0xC2, 755}, {0x03, 0x03, 3},
    };
    for (const Case &c : cases)
        EXPECT_EQ(EffectiveFrameLength(c.length, c.type), c.effective)
            << std::hex << int(c.length) << " " << int(c.type);
}

TEST(FrameCodec, NextSequenceWrapsAt255)
{
    EXPECT_EQ(NextSequence(0), 1);
    EXPECT_EQ(NextSequence(254), 255);
    EXPECT_EQ(NextSequence(255), 0);
}

TEST(FrameCodec, DosDateTimeFromBytes)
{
    // 2011-03-01 08:30:44: date (31 << 9 | 3 << 5 | 1), time (8 << 11 | 30 << 5 | 22)
    const quint32 date = (31u << 9) | (3u << 5) | 1u;
    const quint32 time = (8u << 11) | (30u << 5) | 22u;
    auto bytes = [](quint32 d, quint32 t) {
        const quint32 v = d << 16 | t;
        QByteArray b(4, '\0');
        for (int i = 0; i < 4; ++i)
            b[i] = char(v >> (8 * i) & 0xFF);
        return b;
    };
    EXPECT_EQ(DosDateTimeFromBytes(bytes(date, time)), QDateTime(QDate(2011, 3, 1), QTime(8, 30, 44)));
    // Bytes after the fourth do not matter.
    EXPECT_EQ(DosDateTimeFromBytes(bytes(date, time) + "xy"), QDateTime(QDate(2011, 3, 1), QTime(8, 30, 44)));

    const QByteArray invalid[] = {
        QByteArray(),
        QByteArray(1, '\0'),                       // the payload of a close frame without date
        bytes(date, time).left(3),                 // too short
        bytes(0, 0),                               // day 0, month 0
        bytes((31u << 9) | (13u << 5) | 1u, time), // month 13
        bytes((31u << 9) | (2u << 5) | 30u, time), // 30 February
        bytes(date, (24u << 11)),                  // hour 24
        bytes(date, (8u << 11) | (60u << 5)),      // minute 60
        bytes(date, (8u << 11) | 30u),             // second 60
    };
    for (const QByteArray &b : invalid)
        EXPECT_FALSE(DosDateTimeFromBytes(b).isValid()) << b.toHex(' ').constData();
}

#include "common/FrameChecksum.h"
#include "common/LoginFrame.h"

#include <gtest/gtest.h>

TEST(FrameChecksum, WorkedFramesSumToZero)
{
    // An empty close frame and the logout text frame, checksum byte at 0.
    EXPECT_EQ(FrameChecksum(QByteArray::fromHex("030003")), 0xFA);
    EXPECT_EQ(FrameChecksum(QByteArray::fromHex("09001b2a454e44452a")), 0x6C);
    // As received, a correct frame gives 0.
    EXPECT_EQ(FrameChecksum(QByteArray::fromHex("03fa03")), 0);
    EXPECT_EQ(FrameChecksum(QByteArray::fromHex("096c1b2a454e44452a")), 0);
    // A sum that is already 0 mod 256 gives 0, not 256; the empty string too.
    EXPECT_EQ(FrameChecksum(QByteArray::fromHex("80800000")), 0);
    EXPECT_EQ(FrameChecksum(QByteArray()), 0);
    EXPECT_EQ(FrameChecksum(QByteArray::fromHex("ff")), 0x01);
}

TEST(LoginFrame, TwentyThreeBytesWithTheFixedLiteral)
{
    const QByteArray literal = QByteArray::fromHex("5a6b7c8d") + QByteArray("R&E-Rororazevov") + QByteArray(1, '\0');
    ASSERT_EQ(literal.size(), 20);
    EXPECT_EQ(LoginFrame::literal(), literal);

    const QByteArray frame = LoginFrame::frame();
    ASSERT_EQ(frame.size(), 23);
    EXPECT_EQ(quint8(frame[0]), 0x17);
    EXPECT_EQ(quint8(frame[2]), 0x32);
    EXPECT_EQ(frame.mid(3), literal);
    EXPECT_EQ(FrameChecksum(frame), 0);
    EXPECT_EQ(quint8(frame[1]), 0x50);
}

#include "common/Text8.h"
#include "common/LocaleFormat.h"
#include "support/ManualClock.h"
#include "support/ScopedLocale.h"

#include <gtest/gtest.h>

TEST(Text8, LiteralsBecomeCodePageBytes)
{
    EXPECT_EQ(Text8::cp("ü"), QByteArray("\xFC"));
    EXPECT_EQ(Text8::cp("GRÜN->ROT"), QByteArray("GR\xDCN->ROT"));
    EXPECT_EQ(Text8::cp("°"), QByteArray("\xB0"));
    EXPECT_EQ(Text8::cp("€"), QByteArray("\x80"));
    EXPECT_EQ(Text8::cp("ß"), QByteArray("\xDF"));
    // No character outside the code page turns into more than one byte.
    EXPECT_EQ(Text8::cp("a\xE2\x88\x9E" "b"), QByteArray("a?b"));
}

TEST(Text8, EveryByteRoundTripsThroughQString)
{
    QByteArray all;
    for (int b = 0; b < 256; ++b)
        all.append(char(b));
    const QString text = Text8::toQString(all);
    EXPECT_EQ(text.size(), 256);
    EXPECT_EQ(Text8::fromQString(text), all);
    EXPECT_EQ(Text8::toQString("\xFC"), QString::fromUtf8("ü"));
}

TEST(Text8, BytesWithoutACharacterBecomeTheirControlCodes)
{
    // As the system's own code page conversion maps them.
    for (char16_t code : {0x81, 0x8D, 0x8F, 0x90, 0x9D}) {
        SCOPED_TRACE(int(code));
        const QByteArray byte(1, char(code));
        EXPECT_EQ(Text8::toQString(byte), QString(QChar(code)));
        EXPECT_EQ(Text8::fromQString(QString(QChar(code))), byte);
    }
}

TEST(Text8, UpperAndTrim)
{
    EXPECT_EQ(Text8::upper("com3:"), QByteArray("COM3:"));
    EXPECT_EQ(Text8::upper("\xFC"), QByteArray("\xDC"));
    EXPECT_EQ(Text8::trimmed("  abc\t\r\n"), QByteArray("abc"));
    EXPECT_EQ(Text8::trimmed(" "), QByteArray());
}

TEST(ManualClock, TickWrapsAndSleepTakesNoRealTime)
{
    ManualClock clock(0xFFFFFF00u);
    Clock &c = clock;
    c.sleep(0x200);
    EXPECT_EQ(c.tickCount(), 0x100u);
    EXPECT_EQ(c.tickSeconds(), 0.256L);
    EXPECT_EQ(clock.totalSlept(), 0x200);
    EXPECT_EQ(c.localDateTime(), QDateTime(QDate(2011, 3, 1), QTime(8, 30, 0, 512)));
}

TEST(ManualClock, MaximumTickSeconds)
{
    ManualClock clock(0xFFFFFFFFu);
    EXPECT_EQ(clock.tickSeconds(), 4294967.295L);
}

TEST(LocaleFormat, GermanAndEnglishDatesAndTimes)
{
    const QDateTime dt(QDate(2011, 3, 1), QTime(8, 30, 5));
    {
        ScopedLocale de(QLocale(QLocale::German, QLocale::Germany));
        EXPECT_EQ(LocaleFormat::dateTime(dt), QByteArray("01.03.11 08:30:05"));
    }
    {
        ScopedLocale en(QLocale(QLocale::English, QLocale::UnitedStates));
        EXPECT_TRUE(LocaleFormat::longTime(dt.time()).contains("8:30:05"));
        EXPECT_EQ(LocaleFormat::shortDate(dt.date()), QByteArray("3/1/11"));
    }
}

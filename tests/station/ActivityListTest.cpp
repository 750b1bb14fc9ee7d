#include "station/ActivityList.h"
#include "common/LocaleFormat.h"
#include "common/Text8.h"
#include "station/StationState.h"
#include "station/StationTexts.h"
#include "support/ManualClock.h"
#include "support/RecordingView.h"
#include "support/ScopedLocale.h"
#include "support/TestPlatform.h"

#include <gtest/gtest.h>

namespace {

struct ActivityFixture : ::testing::Test
{
    ManualClock clock{123456, QDateTime(QDate(2011, 3, 1), QTime(8, 30, 0))};
    ScopedLocale german{QLocale(QLocale::German, QLocale::Germany)};
    StationState state;
    RecordingView view;
    StationPlatform platform = platformWith(clock);
    ActivityList list{state, view, platform};

    void append(const QByteArray &text)
    {
        state.StatusText = text;
        list.appendStatusLine();
    }
};

} // namespace

TEST_F(ActivityFixture, ClearsAtTheThousandthCountedLine)
{
    for (int i = 1; i < 1000; ++i)
        append("Zeile " + QByteArray::number(i));
    EXPECT_EQ(view.lines.size(), 999);
    EXPECT_EQ(list.statusLineCount(), 999);
    append("Zeile 1000");
    EXPECT_TRUE(view.lines.isEmpty());
    EXPECT_EQ(list.statusLineCount(), 0);
    append("neu");
    EXPECT_EQ(view.lines, QList<QByteArray>{"neu"});
    EXPECT_EQ(list.statusLineCount(), 1);
}

TEST_F(ActivityFixture, EmptyTextAddsEmptyLineAndTurnsLabelBlack)
{
    view.lastErrorColour = Colours::Red;
    append("etwas");
    EXPECT_EQ(view.lastErrorColour, Colours::Red);
    append("");
    EXPECT_EQ(view.lines, (QList<QByteArray>{"etwas", ""}));
    EXPECT_EQ(view.lastErrorColour, Colours::Black);
}

TEST_F(ActivityFixture, FailedAddClearsListAndCount)
{
    append("a");
    append("b");
    view.failAdds = 1;
    append("c");
    EXPECT_TRUE(view.lines.isEmpty());
    EXPECT_EQ(list.statusLineCount(), 0);
}

TEST_F(ActivityFixture, DirectLinesAreNotCountedAndSurviveAFailedAdd)
{
    list.addDirectLine("+++ Sensor gestoppt +++");
    EXPECT_EQ(list.statusLineCount(), 0);
    append("x");
    view.failAdds = 1;
    list.addDirectLine("***** Sensor gestartet *****");
    EXPECT_EQ(view.lines, QList<QByteArray>{"***** Sensor gestartet *****"});
}

TEST_F(ActivityFixture, LostPortRaisesSensorAlarmOnceFrom250To255)
{
    state.SensorRunning = true;
    state.ComHandle = -1;
    state.RawTemp = 6000;
    state.RawHumidity = 1500;
    const QByteArray caption = "01.03.11 08:30:00" + Text8::cp(StationTexts::SensorLoggingError);

    for (int i = 1; i < 250; ++i)
        append("x");
    EXPECT_EQ(state.AlarmSensor.SensorErrorCount, 249);
    EXPECT_EQ(state.AlarmFlags, 0u);
    EXPECT_EQ(state.RawTemp, 0);
    EXPECT_EQ(view.texts[ValueDisplay::T], " ");
    EXPECT_EQ(view.texts[ValueDisplay::RH], " ");

    append("x"); // the 250th
    EXPECT_EQ(state.AlarmFlags, AlarmBit::SensorQuery);
    EXPECT_EQ(state.AlarmSensor.AlarmTime, 123.456L);
    EXPECT_EQ(view.lastErrorText, caption);
    EXPECT_EQ(view.lastErrorColour, Colours::Red);
    ASSERT_EQ(view.signals_.size(), 1);
    EXPECT_EQ(view.signals_[0].intervalMs, 500);
    EXPECT_FALSE(view.signals_[0].focus);
    const int captionSets = view.lastErrorSets;

    for (int i = 251; i <= 255; ++i)
        append("x");
    EXPECT_EQ(view.lastErrorSets, captionSets);
    EXPECT_EQ(view.signals_.size(), 1);

    // Each handed-over line adds the COM-port error line before itself.
    EXPECT_EQ(view.lines.mid(view.lines.size() - 2),
              (QList<QByteArray>{Text8::cp(StationTexts::ComPortError), "x"}));
}

TEST_F(ActivityFixture, ClearedBitIsRaisedAgainOnlyWhileCountIsAtMost255)
{
    state.SensorRunning = true;
    view.timer5 = true; // alarm already signalled: no new flash
    state.AlarmSensor.SensorErrorCount = 252;
    append("x");
    EXPECT_EQ(state.AlarmFlags, AlarmBit::SensorQuery);
    EXPECT_TRUE(view.signals_.isEmpty());

    state.AlarmFlags = 0; // reporting thread cleared it
    state.AlarmSensor.SensorErrorCount = 255;
    append("x"); // count becomes 256
    EXPECT_EQ(state.AlarmFlags, 0u);
    append("x");
    EXPECT_EQ(state.AlarmFlags, 0u);
}

TEST_F(ActivityFixture, OpenPortOrStoppedPollingIsNoPortError)
{
    state.SensorRunning = true;
    state.ComHandle = 7;
    append("a");
    state.SensorRunning = false;
    state.ComHandle = -1;
    append("b");
    EXPECT_EQ(view.lines, (QList<QByteArray>{"a", "b"}));
    EXPECT_EQ(state.AlarmSensor.SensorErrorCount, 0);
}

#include "common/Text8.h"
#include "gui/TFR2U_Radadu.h"
#include "platform/SimulatedSensorStick.h"
#include "station/MeasurementTexts.h"
#include "station/MyThread.h"
#include "support/ManualClock.h"

#include "support/RecordingNotices.h"
#include "support/TempDir.h"
#include "support/TestPlatform.h"

#include <gtest/gtest.h>

#include <QCheckBox>
#include <QComboBox>
#include <QPlainTextEdit>
#include <QPushButton>

namespace {

QString q(const char *utf8)
{
    return Text8::toQString(Text8::cp(utf8));
}

struct Button1Command : ::testing::Test
{
    ScopedWorkDir workDir;
    TFR2U_Radadu w;
    StationState &s = w.core().state;
    RecordingNotices notices;
    QByteArrayList &messages = notices.shown;

    Button1Command()
    {
        StationPlatform p = w.platform();
        p.notices = &notices;
        w.setPlatform(p);
        notices.onShow = [](const QByteArray &, NoticeButtons buttons) { EXPECT_EQ(buttons, NoticeButtons::Ok); };
    }

    QStringList listLines() const { return w.Listbox->toPlainText().split('\n', Qt::SkipEmptyParts); }
};

} // namespace

TEST_F(Button1Command, PortNameCheck)
{
    struct Case
    {
        const char *typed;
        bool started;
        bool message;
    } cases[] = {
        {"COM3:", true, false},  {"com3:", true, false}, {"COM1:", true, false},   {"COM99:", true, false},
        {"COM03:", true, false}, {"COM0:", false, true}, {"COM100:", false, true}, {"COMx:", false, true},
        {"COM3", false, true},   {"COM:", false, true},  {"LPT1:", false, true},   {"COM-3:", false, true},
        {"", false, false},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.typed);
        if (w.Button1->text() != q(MeasurementTexts::StartSensor))
            w.Button1Click();
        messages.clear();
        w.Listbox->clear();
        s.BaudRate = 0;
        w.Edit1->setEditText(QString::fromLatin1(c.typed));
        w.Button1Click();

        EXPECT_EQ(s.ComPortName.get(), Text8::upper(c.typed));
        EXPECT_EQ(s.BaudRate.load(), 19200);
        EXPECT_EQ(s.SensorRunning.load(), c.started);
        EXPECT_EQ(w.core().mirror.StartButtonStop.load(), c.started);
        EXPECT_EQ(w.Button1->text(),
                  q(c.started ? MeasurementTexts::StopSensor : MeasurementTexts::StartSensor));
        EXPECT_EQ(w.Edit1->isEnabled(), !c.started);
        EXPECT_FALSE(w.Button4->isEnabled()) << "disabled by every start, also a refused one";
        EXPECT_EQ(messages, c.message ? QList<QByteArray>{Text8::cp(MeasurementTexts::IllegalComPort)}
                                      : QList<QByteArray>{});
        EXPECT_EQ(listLines(), c.started ? QStringList{q(MeasurementTexts::SensorStarted)} : QStringList{});
    }
}

TEST_F(Button1Command, TestmodeSwitchesTheLineInversionOff)
{
    for (bool testmode : {true, false}) {
        w.Testmode->setChecked(testmode);
        w.Edit1->setEditText("COM4:");
        w.Button1Click();
        EXPECT_EQ(s.LineInvert.load(), testmode ? 0 : 1);
        w.Button1Click();
    }
}

TEST_F(Button1Command, StopThenStartAgainResetsTheThread)
{
    ManualClock clock;
    useClock(w, clock);
    auto stick = std::make_shared<SimulatedSensorStick>();
    MyThread thread(w.core(),
                    [stick](const QByteArray &) { return std::make_unique<SimulatedSensorPort>(stick); });
    thread.threadStart();

    w.Edit1->setEditText("COM3:");
    w.Button1Click();
    for (int i = 0; i < 20; ++i)
        ASSERT_TRUE(thread.step());
    ASSERT_EQ(thread.phase(), MyThread::Phase::QueryLoop);
    EXPECT_EQ(s.AlarmDelay, 10);
    EXPECT_EQ(stick->opens(), 1);

    w.Button1Click(); // stop
    EXPECT_FALSE(s.SensorRunning.load());
    EXPECT_EQ(w.Button1->text(), q(MeasurementTexts::StartSensor));
    EXPECT_TRUE(w.Button4->isEnabled());
    EXPECT_TRUE(w.Edit1->isEnabled());
    EXPECT_TRUE(w.Button2->isEnabled());
    EXPECT_EQ(listLines().last(), q(MeasurementTexts::SensorStopped));

    w.Button1Click(); // start again
    EXPECT_TRUE(s.SensorRunning.load());
    EXPECT_EQ(listLines().last(), q(MeasurementTexts::SensorStarted));

    // The thread did not run between those two clicks, so it never saw the
    // stop. Now it does: it closes the port, resets, and reopens after the
    // next start.
    w.Button1Click();
    ASSERT_TRUE(thread.step());
    EXPECT_FALSE(stick->portOpen());
    ASSERT_TRUE(thread.step()); // port loop with the resets
    EXPECT_EQ(s.AlarmDelay, 5);
    w.Button1Click();
    for (int i = 0; i < 3 && thread.phase() != MyThread::Phase::QueryLoop; ++i)
        ASSERT_TRUE(thread.step());
    EXPECT_EQ(thread.phase(), MyThread::Phase::QueryLoop);
    EXPECT_EQ(stick->opens(), 2);
    EXPECT_EQ(thread.PortOpenCount, 1);
    thread.threadEnd();
}

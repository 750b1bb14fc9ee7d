#include "common/LocaleFormat.h"
#include "common/Text8.h"
#include "gui/TFR2U_Radadu.h"
#include "station/AlarmEvaluation.h"
#include "support/ManualClock.h"
#include "support/ScopedLocale.h"
#include "support/TempDir.h"
#include "support/TestPlatform.h"

#include <gtest/gtest.h>

#include <QCheckBox>
#include <QCoreApplication>
#include <QLabel>
#include <QLineEdit>
#include <QTimer>

#include <atomic>
#include <thread>

TEST(AlarmEvaluationWindow, ContactWatchBoxesAreDisplayOnly)
{
    TFR2U_Radadu w;
    for (const char *name : {"CheckRI", "CheckDC", "RIStat", "DCStat"}) {
        auto *box = w.findChild<QCheckBox *>(name);
        ASSERT_NE(box, nullptr) << name;
        EXPECT_FALSE(box->isEnabled()) << name;
    }
}

// The evaluation on a worker thread that holds the semaphore, as the
// measurement thread runs it, with the real window on the GUI thread.
TEST(AlarmEvaluationWindow, WorkerEvaluationReachesTheWindow)
{
    ScopedWorkDir dir;
    ManualClock clock{50000, QDateTime(QDate(2011, 3, 1), QTime(8, 30, 0))};
    ScopedLocale german{QLocale(QLocale::German, QLocale::Germany)};
    TFR2U_Radadu w;
    useClock(w, clock);
    w.show();
    StationCore &core = w.core();
    core.config.StationId = "ABC1234";
    core.config.TempMax = "25";
    core.config.CheckRI = true;
    core.state.CpuTemp = 0;
    core.state.MeasureTime = "01.03.11 08:30:00";
    AlarmEvaluation eval(core);

    std::atomic<bool> done{false};
    std::thread worker([&] {
        {
            SharedDataLock lock(core.semaphore);
            eval.onThreadStart();
        }
        for (int i = 0; i < 10; ++i) {
            SharedDataLock lock(core.semaphore);
            if (i == 0)
                eval.sampleContacts(true, false, false);
            eval.evaluate({26.5, 52.4268, 9.4551, true, false});
        }
        done = true;
    });
    while (!done)
        QCoreApplication::processEvents(QEventLoop::AllEvents, 5);
    worker.join();

    EXPECT_EQ(w.EditT->text(), "26,50");
    EXPECT_EQ(w.EditT->palette().color(QPalette::Text), Colours::Red);
    EXPECT_EQ(w.EditRH->text(), "52,43");
    EXPECT_EQ(w.EditCpuTemp->text(), QString::fromUtf8("<nicht verfügbar>"));
    EXPECT_EQ(w.EditCpuTemp->palette().color(QPalette::Base), Colours::Silver);
    EXPECT_EQ(w.LabelLastConnection->text(), "Zeitpunkt: 01.03.11 08:30:00");
    EXPECT_EQ(w.LastErrorLabel->text(), "ErrTime: 01.03.11 08:30:00");
    EXPECT_TRUE(w.RIStat->isChecked());
    EXPECT_TRUE(w.Timer5->isActive());
    EXPECT_EQ(core.state.AlarmFlags, AlarmBit::TempHigh | AlarmBit::Input1);
    EXPECT_EQ(dir.read("ABC12342.8MS").count("\r\n"), 7);
}

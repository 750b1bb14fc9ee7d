#include "common/Text8.h"
#include "gui/TFR2U_Radadu.h"

#include <gtest/gtest.h>

#include <QCoreApplication>
#include <QLabel>
#include <QMenuBar>
#include <QToolButton>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QTimer>

#include <atomic>
#include <thread>

TEST(MainWindow, ControlsCarryTheirNames)
{
    TFR2U_Radadu w;
    for (const char *name : {"EditT", "EditTP", "EditT_TP", "EditRH", "EditCpuTemp"})
        EXPECT_NE(w.findChild<QLineEdit *>(name), nullptr) << name;
    EXPECT_NE(w.findChild<QPlainTextEdit *>("Listbox"), nullptr);
    auto *label = w.findChild<QLabel *>("LastErrorLabel");
    ASSERT_NE(label, nullptr);
    EXPECT_EQ(label->text(), "Last Err:");
    auto *t2 = w.findChild<QTimer *>("Timer2");
    auto *t5 = w.findChild<QTimer *>("Timer5");
    ASSERT_TRUE(t2 && t5);
    EXPECT_TRUE(t2->isActive());
    EXPECT_EQ(t2->interval(), 15000);
    EXPECT_FALSE(t5->isActive());
    EXPECT_EQ(t5->interval(), 5000);
}

TEST(MainWindow, WorkerStatusLinesReachTheListWithUmlauts)
{
    TFR2U_Radadu w;
    StationCore &core = w.core();
    std::atomic<bool> done{false};
    std::thread worker([&] {
        core.appendStatusLineLocked(Text8::cp("Spannungserzeugung für Sensor ist aktiviert"));
        core.appendStatusLineLocked("");
        done = true;
    });
    while (!done)
        QCoreApplication::processEvents(QEventLoop::AllEvents, 5);
    worker.join();
    auto *list = w.findChild<QPlainTextEdit *>("Listbox");
    EXPECT_EQ(list->toPlainText(), QString::fromUtf8("Spannungserzeugung für Sensor ist aktiviert\n"));
    EXPECT_EQ(core.activity().statusLineCount(), 2);
}

TEST(MainWindow, SignalAlarmWindow)
{
    TFR2U_Radadu w;
    w.show();
    EXPECT_FALSE(w.alarmSignalled());
    w.signalAlarmWindow(1500, true);
    EXPECT_TRUE(w.alarmSignalled());
    EXPECT_EQ(w.Timer5->interval(), 1500);
    EXPECT_TRUE(w.Timer2->isActive());
    EXPECT_TRUE(w.isVisible());
    EXPECT_EQ(w.windowColour(), Colours::Red);
}

TEST(MainWindow, ReportingThreadControls)
{
    TFR2U_Radadu w;
    StationView &view = w;
    view.setIntervallLeft(Text8::cp("Meßfile"));
    auto *box = w.findChild<QLineEdit *>("IntervallLeft");
    ASSERT_NE(box, nullptr);
    EXPECT_EQ(box->text(), QString::fromUtf8("Meßfile"));
    EXPECT_FALSE(box->isVisibleTo(&w)); // shown only with the activity list
    view.setIntervallLeft("14399");
    EXPECT_EQ(w.findChildren<QLineEdit *>("IntervallLeft").size(), 1);
    EXPECT_EQ(box->text(), "14399");

    view.setReportCommandsEnabled(false);
    EXPECT_FALSE(w.Button3->isEnabled());
    EXPECT_FALSE(w.Konfiguration1->isEnabled());
    EXPECT_FALSE(w.Proxy1->isEnabled());
    view.setReportCommandsEnabled(true);
    EXPECT_TRUE(w.Button3->isEnabled() && w.Konfiguration1->isEnabled() && w.Proxy1->isEnabled());
}

// Without limit texts the window is narrow; its menu bar still shows every
// command instead of hiding the last ones behind an overflow button.
TEST(MainWindow, MenuBarShowsEveryCommandAtTheWindowsOwnSize)
{
    TFR2U_Radadu w;
    w.show();
    w.resize(w.sizeHint());
    QCoreApplication::processEvents();
    auto *overflow = w.menuBar()->findChild<QToolButton *>(QStringLiteral("qt_menubar_ext_button"));
    ASSERT_NE(overflow, nullptr);
    EXPECT_FALSE(overflow->isVisible());
    const QRect proxy = w.menuBar()->actionGeometry(w.Proxy1);
    EXPECT_LE(proxy.right(), w.menuBar()->width());
}

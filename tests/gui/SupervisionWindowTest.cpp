// The main window's supervision timers, menu commands, about box and COM-port
// notice, offscreen; the grabs go to KLIMA_SCREENSHOT_DIR when it is set.
#include "common/Text8.h"
#include "gui/TFR2U_Radadu.h"
#include "gui/TIllegalComport.h"
#include "gui/TImpressum.h"
#include "station/ApplicationTitle.h"
#include "station/StationTexts.h"
#include "station/SupervisionTexts.h"
#include "station/VersionText.h"
#include "support/FakeShell.h"
#include "support/ManualClock.h"
#include "support/RecordingNotices.h"
#include "support/TempDir.h"

#include <gtest/gtest.h>

#include <QAction>
#include <QApplication>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QMessageBox>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QRegularExpression>
#include <QTimer>

namespace {

struct SupervisionWindow : ::testing::Test
{
    ScopedWorkDir dir;
    ManualClock clock;
    FakeShell shell;
    RecordingNotices boxes;
    NoticeSink *notices = &boxes; // nullptr: real message boxes

    SupervisionWindow() { ApplicationTitle::set(StationTexts::ApplicationTitle); }

    void prepare(TFR2U_Radadu &w)
    {
        StationPlatform p;
        p.clock = &clock;
        p.shell = &shell;
        p.notices = notices;
        p.quit = [] {};
        w.setPlatform(p);
    }

    static void keep(QWidget &w, const char *name)
    {
        const QImage shot = w.grab().toImage();
        ASSERT_FALSE(shot.isNull());
        const QByteArray target = qgetenv("KLIMA_SCREENSHOT_DIR");
        if (!target.isEmpty()) {
            ASSERT_TRUE(shot.save(QDir(QString::fromLocal8Bit(target)).filePath(QString::fromLatin1(name))));
        }
    }
};

} // namespace

TEST_F(SupervisionWindow, AboutBoxClosesAtTheTickAfterTheInfoCommand)
{
    TFR2U_Radadu w;
    prepare(w);
    TImpressum about(&w);
    EXPECT_EQ(about.VersionsLabel->text(), Text8::toQString(VersionText::versionsLabel()));
    ASSERT_FALSE(about.Logo->pixmap().isNull()); // the logo came through the image reader
    int intervalWhileOpen = 0;
    bool openAtTick = false;
    QTimer::singleShot(0, [&] {
        intervalWhileOpen = w.Timer1->interval();
        openAtTick = about.isVisible();
        keep(about, "about-box.png");
        w.Timer1Timer(); // the tick 20 s later
    });
    w.findChild<QAction *>("Info1")->trigger();
    EXPECT_EQ(intervalWhileOpen, 20000);
    EXPECT_TRUE(openAtTick);
    EXPECT_FALSE(about.isVisible());
    EXPECT_EQ(w.Timer1->interval(), 5000);
    EXPECT_EQ(w.Timer2->interval(), 1000000); // the window hides 1000 s after the command
}

TEST_F(SupervisionWindow, HidingNoticeNobodyAnswersClosesAtTheNextTick)
{
    notices = nullptr;
    TFR2U_Radadu w;
    prepare(w);
    w.show();
    QString seen;
    QTimer tick;
    QObject::connect(&tick, &QTimer::timeout, [&] {
        if (auto *box = qobject_cast<QMessageBox *>(QApplication::activeModalWidget()))
            seen = box->text();
        w.Timer1Timer();
    });
    tick.start(10);
    w.Timer2Timer();
    tick.stop();
    EXPECT_EQ(seen, Text8::toQString(Text8::cp(SupervisionTexts::HidingMessage)));
    EXPECT_FALSE(w.Timer2->isActive());
    EXPECT_EQ(w.Timer2->interval(), 1000000);
    // Offscreen there is no notification area: the window is minimised and
    // stays in the task list instead of hiding.
    EXPECT_EQ(w.TrayIcon, nullptr);
    EXPECT_TRUE(w.isMinimized());
    EXPECT_FALSE(w.isHidden());
}

TEST_F(SupervisionWindow, MenuItemsCarryTheirNamesAndCaptions)
{
    TFR2U_Radadu w;
    const struct
    {
        const char *name;
        const char *caption;
    } items[] = {{"Konfiguration1", "Konfiguration"},
                 {"Testmodeaktiv1", "Activity-Log"},
                 {"COMPortManager1", "Geräte-Manager"},
                 {"Info1", "Info"},
                 {"Proxy1", "Proxy"}};
    for (const auto &item : items) {
        auto *action = w.findChild<QAction *>(QString::fromLatin1(item.name));
        ASSERT_NE(action, nullptr) << item.name;
        EXPECT_EQ(action->text(), QString::fromUtf8(item.caption)) << item.name;
    }
    ASSERT_NE(w.findChild<QMenu *>("Extra1"), nullptr);
    EXPECT_EQ(w.Extra1->title(), QStringLiteral("Extras"));

    // The activity log shows and hides the list with the interval fields.
    for (bool shown : {true, false}) {
        w.Testmodeaktiv1->trigger();
        for (const char *name :
             {"Listbox", "IntervallLeft", "IntervallLabel", "IntervallLabel2", "IntervallLabel3"})
            EXPECT_EQ(!w.findChild<QWidget *>(QString::fromLatin1(name))->isHidden(), shown) << name;
    }
}

TEST_F(SupervisionWindow, DeviceManagerCommandReportsTheBatchFilesFailures)
{
    const struct
    {
        int result;
        const char *notice; // nullptr: none
    } cases[] = {
        {Shell::FileNotFound, SupervisionTexts::DeviceManagerNotFound},
        {Shell::PathNotFound, SupervisionTexts::DeviceManagerNotFound},
        {Shell::AccessDenied, SupervisionTexts::DeviceManagerNotRun},
        {Shell::NoAssociation, SupervisionTexts::DeviceManagerNotRun},
        {Shell::Started, nullptr},
    };
    TFR2U_Radadu w;
    prepare(w);
    QByteArrayList titles;
    boxes.onShow = [&](const QByteArray &, NoticeButtons) { titles.append(ApplicationTitle::get()); };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.result);
        shell.result = c.result;
        shell.calls.clear();
        boxes.shown.clear();
        titles.clear();
        w.COMPortManager1->trigger();
        ASSERT_EQ(shell.calls.size(), 1);
        EXPECT_EQ(QFileInfo(shell.calls[0].file).fileName(), QStringLiteral("hidden_dev.bat"));
        EXPECT_EQ(shell.calls[0].show, Shell::Show::Minimized);
        EXPECT_EQ(boxes.shown, c.notice ? QByteArrayList{Text8::cp(c.notice)} : QByteArrayList{});
        if (c.notice) {
            EXPECT_EQ(titles, QByteArrayList{"HILFE-ANWEISUNG"});
        }
        EXPECT_EQ(ApplicationTitle::get(), QByteArray(StationTexts::ApplicationTitle)); // put back
    }
}

TEST_F(SupervisionWindow, ScreenshotsOfTheWindowsShowTheirTexts)
{
    TFR2U_Radadu w;
    prepare(w);
    StationView &view = w;
    const struct
    {
        ValueDisplay field;
        const char *text;
    } values[] = {{ValueDisplay::T, "21.40"},
                  {ValueDisplay::TP, "9.80"},
                  {ValueDisplay::T_TP, "11.60"},
                  {ValueDisplay::RH, "47.20"},
                  {ValueDisplay::CpuTemp, "44"}};
    for (const auto &v : values) {
        view.setValueText(v.field, v.text);
        view.setValueColour(v.field, Colours::Green);
    }
    w.setLimitText(LimitLabel::Temp, Text8::cp("min: 5.00°C  max: 30.00°C  "));
    w.setCaption("ZAV-Sensor: SIM1234");
    w.resize(w.sizeHint());
    w.show();
    keep(w, "main-window-green.png");

    view.setValueText(ValueDisplay::T, "34.10");
    view.setValueColour(ValueDisplay::T, Colours::Red);
    view.setValueBackground(ValueDisplay::T, Colours::Silver);
    view.setLastError(Text8::cp("Temperatur zu hoch"), Colours::Red);
    view.signalAlarmWindow(500, false);
    EXPECT_EQ(w.windowColour(), Colours::Red);
    keep(w, "main-window-alarm.png");

    TIllegalComport notice;
    EXPECT_TRUE(notice.Memo1->toPlainText().startsWith(QStringLiteral("ACHTUNG!")));
    EXPECT_EQ(notice.Memo1->toPlainText().count(
                  QRegularExpression(QStringLiteral("^[1-8]\\. "), QRegularExpression::MultilineOption)),
              8);
    notice.show();
    keep(notice, "com-port-notice.png");
    notice.Button1->click();
    EXPECT_EQ(notice.result(), QDialog::Accepted);
}

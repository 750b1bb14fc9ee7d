#include "common/Clock.h"
#include "common/LocaleFormat.h"
#include "common/Text8.h"
#include "gui/TFConfig.h"
#include "gui/TFConfigTexts.h"
#include "gui/TFR2U_Radadu.h"
#include "platform/PortDirectory.h"
#include "station/ConfigDialogTexts.h"
#include "station/ConfigValueChecks.h"
#include "station/MeasurementTexts.h"
#include "station/StationTexts.h"
#include "support/FakePortDirectory.h"
#include "support/ManualClock.h"
#include "support/RecordingNotices.h"
#include "support/SavedStationConfig.h"
#include "support/ScopedLocale.h"
#include "support/TempDir.h"
#include "support/ViewerConnectionStandIn.h"

#include <gtest/gtest.h>

#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QDir>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QTest>
#include <QTimer>

#include <functional>

namespace {

using Texts = QByteArrayList;

QByteArray cp(const char *utf8)
{
    return Text8::cp(utf8);
}

// The value line of a pair (1 to 17) of a configuration file.
QByteArray valueLine(const QByteArray &file, int pair)
{
    const QByteArrayList lines = file.split('\n');
    const int index = 2 * pair - 1;
    return index < lines.size() ? QByteArray(lines[index]).chopped(1) : QByteArray("<missing>");
}

// Runs `action` each time the dialog is shown, once its showing is done (so
// it also drives the modal loop of exec()).
class OnShow : public QObject
{
public:
    OnShow(QWidget &dialog, std::function<void()> action)
        : m_action(std::move(action))
    {
        dialog.installEventFilter(this);
    }
    int shown = 0;

protected:
    bool eventFilter(QObject *, QEvent *event) override
    {
        if (event->type() == QEvent::Show) {
            ++shown;
            QTimer::singleShot(0, this, m_action);
        }
        return false;
    }

private:
    std::function<void()> m_action;
};

struct ConfigDialogFixture : ::testing::Test
{
    ScopedWorkDir dir;
    ManualClock clock;
    FakePortDirectory ports;
    ScopedLocale german{QLocale(QLocale::German, QLocale::Germany)};
    RecordingNotices boxes;
    TFR2U_Radadu w;
    TFConfig dialog{w};
    StationConfig &cfg = w.core().config;
    StationState &st = w.core().state;

    ConfigDialogFixture()
    {
        ports.addFtdiPort("SIM1234A", "COM3");
        StationPlatform p = w.platform();
        p.notices = &boxes;
        p.clock = &clock;
        p.ports = &ports;
        w.setPlatform(p);
        w.startup().CaptionPrefix = StationTexts::CaptionPrefix;
        cfg = savedConfig();
        w.Edit1->setEditText(QStringLiteral("COM4:"));
    }

    template <class T> T *control(const char *name)
    {
        T *c = dialog.findChild<T *>(QString::fromLatin1(name));
        EXPECT_NE(c, nullptr) << name;
        return c;
    }
    QLineEdit *edit(const char *name) { return control<QLineEdit>(name); }

    void open()
    {
        dialog.show();
        activate();
    }
    // The shown dialog becomes the active window (as the modal one is).
    void activate()
    {
        QApplication::setActiveWindow(&dialog);
        ASSERT_TRUE(QTest::qWaitForWindowActive(&dialog));
    }

    // Types `text` into a field as the operator would, its old text replaced.
    void type(QWidget *field, const QString &text)
    {
        field->setFocus(Qt::TabFocusReason);
        QLineEdit *line = qobject_cast<QLineEdit *>(field);
        if (auto *combo = qobject_cast<QComboBox *>(field))
            line = combo->lineEdit();
        line->selectAll();
        QTest::keyClick(line, Qt::Key_Delete);
        for (const QChar c : text) {
            if (c.unicode() < 0x80) {
                QTest::keyClicks(line, QString(c));
            } else {
                QTest::sendKeyEvent(QTest::Press, line, Qt::Key_unknown, QString(c), Qt::NoModifier);
                QTest::sendKeyEvent(QTest::Release, line, Qt::Key_unknown, QString(c), Qt::NoModifier);
            }
        }
    }
    // The operator moves on to the next control.
    void leave(QWidget *field)
    {
        ASSERT_TRUE(field->hasFocus());
        QWidget *other =
            field == dialog.EditKennung ? static_cast<QWidget *>(dialog.EditTmin) : dialog.EditKennung;
        other->setFocus(Qt::TabFocusReason);
    }
    void enter(QWidget *field, const QString &text)
    {
        type(field, text);
        leave(field);
    }
    void ok() { QTest::mouseClick(dialog.Button1, Qt::LeftButton); }
    void cancel() { QTest::mouseClick(dialog.CancelButton, Qt::LeftButton); }
    QByteArray file() const { return dir.read(QStringLiteral("r2arodire.cfg")); }
};

} // namespace

TEST_F(ConfigDialogFixture, ControlsCaptionAndColours)
{
    EXPECT_EQ(dialog.objectName(), QStringLiteral("FConfig"));
    EXPECT_EQ(dialog.windowTitle(), QStringLiteral("Sensor-Konfiguration"));
    EXPECT_EQ(dialog.palette().color(QPalette::Window), QColor(192, 220, 192));
    for (const char *name :
         {"EditTmin", "EditTmax", "EditRHmin", "EditRHmax", "EditTPmin", "EditTPmax", "EditT_TPmin",
          "EditT_TPmax", "EditCPUMAXTemp", "EditAlarmintervall", "EditKennung"})
        edit(name);
    for (const char *name : {"CheckRI", "CheckDC", "CheckRx", "CheckCts", "CheckBox1"})
        control<QCheckBox>(name);
    control<QComboBox>("ComSelectComboBox1");
    control<QComboBox>("EditHeronserver");
    EXPECT_EQ(control<QPushButton>("Button1")->text(), QStringLiteral("OK"));
    EXPECT_EQ(control<QPushButton>("CancelButton")->text(), QStringLiteral("Abbrechen"));
    EXPECT_EQ(control<QPushButton>("Button2")->text(), QStringLiteral("Proxy-Konfiguration"));
    EXPECT_EQ(control<QCheckBox>("CheckRI")->text(), QString::fromUtf8("Eingang_1  überwachen"));
    EXPECT_EQ(edit("EditKennung")->toolTip(),
              QString::fromUtf8("Diese 7-Zeichen lange Kennung identifiziert die Meßstelle im HERON-System"));
    EXPECT_EQ(edit("EditAlarmintervall")->text(), QStringLiteral("4"));
    EXPECT_EQ(dialog.Timer1->interval(), 2000);
    EXPECT_FALSE(dialog.Timer1->isActive());
    EXPECT_EQ(w.DialogPortList, dialog.ComSelectComboBox1);
}

TEST_F(ConfigDialogFixture, ShowingLoadsTheSettingsAndOffersTheKnownServers)
{
    st.CpuTempLimit = 88;
    open();
    EXPECT_EQ(edit("EditTmin")->text(), QStringLiteral(" 12,5"));
    EXPECT_EQ(edit("EditRHmax")->text(), QStringLiteral("80"));
    EXPECT_EQ(edit("EditCPUMAXTemp")->text(), QStringLiteral("12"));
    EXPECT_EQ(dialog.ComSelectComboBox1->currentText(), QStringLiteral("COM4:"));
    EXPECT_TRUE(dialog.CheckBox1->isChecked());
    EXPECT_FALSE(dialog.EditKennung->isReadOnly());
    EXPECT_EQ(dialog.EditHeronserver->currentText(), QStringLiteral(" heron.example :2001"));
    QStringList presets;
    for (int i = 0; i < dialog.EditHeronserver->count(); ++i)
        presets << dialog.EditHeronserver->itemText(i);
    EXPECT_EQ(presets, (QStringList{QStringLiteral("127.0.0.1:2000"), QStringLiteral("heron.example:2001")}));
    EXPECT_FALSE(w.Timer1->isActive());
    EXPECT_EQ(w.ConfigDialogWindow, &dialog);
    EXPECT_TRUE(dialog.settings().ConfigUnconfirmed);
    cancel();
    EXPECT_TRUE(w.Timer1->isActive());
    EXPECT_FALSE(QFile::exists(dir.file("r2arodire.cfg")));
}

TEST_F(ConfigDialogFixture, IdentifierRule)
{
    const struct
    {
        QString typed;
        QByteArray id;
    } cases[] = {
        {QStringLiteral("ab"), "AB-----"},         {QString::fromUtf8("äb"), cp("ÄB-----")},
        {QStringLiteral("_______"), "-------"},    {QStringLiteral("________"), "_______"},
        {QStringLiteral("abcdefghij"), "ABCDEFG"},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.typed.toStdString());
        const QByteArray before = cfg.StationId;
        open();
        enter(dialog.EditKennung, c.typed);
        EXPECT_EQ(Text8::fromQString(dialog.EditKennung->text()), c.id);
        EXPECT_EQ(cfg.StationId, before); // nothing copied before OK
        ok();
        EXPECT_FALSE(dialog.isVisible());
        EXPECT_EQ(cfg.StationId, c.id);
        EXPECT_EQ(Text8::fromQString(w.windowTitle()), "ZAV-Sensor - " + c.id);
        EXPECT_EQ(valueLine(file(), 13), '$' + c.id);
        EXPECT_EQ(dir.read(Text8::toQString(c.id) + QStringLiteral(".cfg")), file());
    }
    EXPECT_TRUE(boxes.shown.isEmpty());
}

// An identifier that could not be a plain file name in the working folder,
// and a server or port text with a line break (pasted), are refused like a
// value that fails its check: message, field emptied, nothing written, the
// setting in force stays.
TEST_F(ConfigDialogFixture, IdentifierOrServerThatBreaksTheFilesIsRefused)
{
    const QByteArray idMessage = cp(ConfigDialogTexts::IdNotPlain);
    const QByteArray serverMessage = cp(ConfigDialogTexts::ServerNotOneLine);
    const struct
    {
        const char *what;
        QWidget *field;
        QString text;
        QByteArray message;
    } cases[] = {
        {"two folders up", dialog.EditKennung, QStringLiteral("../../Q"), idMessage},
        {"absolute path", dialog.EditKennung, QStringLiteral("/tmp/rB"), idMessage},
        {"backslash", dialog.EditKennung, QStringLiteral("a\\b"), idMessage},
        {"drive", dialog.EditKennung, QStringLiteral("c:abc"), idMessage},
        {"dots", dialog.EditKennung, QStringLiteral("ab..cd"), idMessage},
        {"NUL", dialog.EditKennung, QString::fromLatin1("SI\0M123", 7), idMessage},
        {"past the seventh character", dialog.EditKennung, QStringLiteral("ABCDEFG/"), idMessage},
        {"line break in the server", dialog.EditHeronserver,
         QStringLiteral("127.0.0.1\r\nTemp-Min\r\n99:2000"), serverMessage},
        {"NUL in the server", dialog.EditHeronserver, QString::fromLatin1("heron\0x:2000", 12),
         serverMessage},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.what);
        boxes.shown.clear();
        const StationConfig before = cfg;
        open();
        c.field->setFocus(Qt::TabFocusReason);
        if (auto *combo = qobject_cast<QComboBox *>(c.field))
            combo->setEditText(c.text);
        else
            qobject_cast<QLineEdit *>(c.field)->setText(c.text);
        leave(c.field);
        EXPECT_EQ(boxes.shown, Texts{c.message});
        EXPECT_TRUE(dialog.settings().InputRejected);
        ok();
        EXPECT_FALSE(QFile::exists(dir.file("r2arodire.cfg")));
        EXPECT_EQ(cfg.StationId, before.StationId);
        EXPECT_EQ(cfg.ServerHost, before.ServerHost);
        EXPECT_EQ(cfg.ServerPort, before.ServerPort);
        EXPECT_TRUE(QDir(dir.path()).entryList(QDir::Files).isEmpty());
        dialog.settings().InputRejected = false;
    }

    // A port box text with a line break: the port message, nothing written.
    boxes.shown.clear();
    open();
    dialog.ComSelectComboBox1->setEditText(QStringLiteral("COM4:\r\nX"));
    ok();
    EXPECT_EQ(boxes.shown, Texts{cp(MeasurementTexts::IllegalComPort)});
    EXPECT_FALSE(QFile::exists(dir.file("r2arodire.cfg")));
    EXPECT_EQ(w.portText(), "COM4:");
}

TEST_F(ConfigDialogFixture, EachThresholdIsCheckedAndStoredUnderItsOwnName)
{
    const struct
    {
        const char *edit;
        QByteArray StationConfig::*setting;
        int pair;
        const char *message;
    } fields[] = {
        {"EditTmin", &StationConfig::TempMin, 1, ConfigDialogTexts::TminNotFloat},
        {"EditTmax", &StationConfig::TempMax, 2, ConfigDialogTexts::TmaxNotFloat},
        {"EditRHmin", &StationConfig::RHMin, 3, ConfigDialogTexts::RHminNotFloat},
        {"EditRHmax", &StationConfig::RHMax, 4, ConfigDialogTexts::RHmaxNotFloat},
        {"EditTPmin", &StationConfig::TPMin, 5, ConfigDialogTexts::TPminNotFloat},
        {"EditTPmax", &StationConfig::TPMax, 6, ConfigDialogTexts::TPmaxNotFloat},
        {"EditT_TPmin", &StationConfig::TTPMin, 7, ConfigDialogTexts::T_TPminNotFloat},
        {"EditT_TPmax", &StationConfig::TTPMax, 8, ConfigDialogTexts::T_TPmaxNotFloat},
    };
    for (const auto &f : fields) {
        SCOPED_TRACE(f.edit);
        QLineEdit *e = edit(f.edit);

        // A number in the locale's notation (decimal comma) is taken as typed.
        open();
        enter(e, QStringLiteral("-7,25"));
        ok();
        EXPECT_EQ(cfg.*f.setting, "-7,25");
        EXPECT_EQ(valueLine(file(), f.pair), "-7,25");

        // Not a number (the point is a group separator here): its message,
        // the edit emptied, the focus back, nothing written, and the setting
        // keeps its value although the save met the emptied edit.
        QFile::remove(dir.file("r2arodire.cfg"));
        boxes.shown.clear();
        open();
        enter(e, QStringLiteral("1.000"));
        EXPECT_EQ(boxes.shown, Texts{cp(f.message)});
        EXPECT_TRUE(e->text().isEmpty());
        EXPECT_TRUE(e->hasFocus());
        EXPECT_TRUE(dialog.settings().InputRejected);
        ok();
        EXPECT_FALSE(QFile::exists(dir.file("r2arodire.cfg")));
        EXPECT_EQ(cfg.*f.setting, "-7,25");
        dialog.settings().InputRejected = false;
    }
}

TEST_F(ConfigDialogFixture, EmptyThresholdIsNoLimit)
{
    open();
    enter(dialog.EditTmin, QString());
    enter(dialog.EditTmax, QStringLiteral("30"));
    ok();
    EXPECT_EQ(cfg.TempMin, " ");
    EXPECT_EQ(valueLine(file(), 1), "");
    EXPECT_EQ(Text8::fromQString(w.LabelTempMinMax->text()), cp("max: 30°C  "));
    EXPECT_EQ(Text8::fromQString(w.LabelRHMinMax->text()), cp("min: 20%  max: 80%  "));
    EXPECT_TRUE(st.ImmediateReport.load());
    EXPECT_TRUE(st.AcknowledgeRequest.load());
}

TEST_F(ConfigDialogFixture, AlarmInterval)
{
    const struct
    {
        QString typed;
        QByteArray stored; // empty: rejected
        const char *message;
    } cases[] = {
        {QStringLiteral("24"), "24", nullptr},
        {QString(), "0", nullptr},
        {QStringLiteral("25"), "", ConfigDialogTexts::IntervalOutOfRange},
        {QStringLiteral("-1"), "", ConfigDialogTexts::IntervalOutOfRange},
        {QStringLiteral("2,5"), "", ConfigDialogTexts::IntervalNotInteger},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.typed.toStdString());
        cfg.AlarmInterval = "6";
        boxes.shown.clear();
        dialog.settings().InputRejected = false;
        QFile::remove(dir.file("r2arodire.cfg"));
        open();
        enter(dialog.EditAlarmintervall, c.typed);
        ok();
        if (c.message) {
            EXPECT_EQ(boxes.shown, Texts{cp(c.message)});
            EXPECT_EQ(cfg.AlarmInterval, "6");
            EXPECT_FALSE(QFile::exists(dir.file("r2arodire.cfg")));
        } else {
            EXPECT_TRUE(boxes.shown.isEmpty());
            EXPECT_EQ(cfg.AlarmInterval, c.stored);
            EXPECT_EQ(valueLine(file(), 16), c.stored);
        }
    }
}

TEST_F(ConfigDialogFixture, CpuDistanceEnds)
{
    const struct
    {
        qint32 tjMax;
        QString typed;
        qint32 limit; // -1: rejected
        QByteArray message;
    } cases[] = {
        {100, QStringLiteral("5"), 95, {}},
        {100, QStringLiteral("0"), 100, {}},
        {100, QStringLiteral("99"), 1, {}},
        {100, QStringLiteral("100"), -1, "Abstand zur CPU-Max-Temp muss >0 und <100 sein!"},
        {85, QStringLiteral("85"), -1, "Abstand zur CPU-Max-Temp muss >0 und <85 sein!"},
        {85, QStringLiteral("-1"), -1, "Abstand zur CPU-Max-Temp muss >0 und <85 sein!"},
        {85, QStringLiteral("x"), -1, cp(ConfigDialogTexts::CpuDistanceNotInteger)},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.typed.toStdString());
        st.CpuTjMax = c.tjMax;
        st.CpuTempLimit = c.tjMax - 5;
        cfg.CpuMaxTempDistance = "5";
        boxes.shown.clear();
        dialog.settings().InputRejected = false;
        open();
        enter(dialog.EditCPUMAXTemp, c.typed);
        ok();
        if (c.limit < 0) {
            EXPECT_EQ(boxes.shown, Texts{c.message});
            EXPECT_EQ(st.CpuTempLimit, c.tjMax - 5);
            EXPECT_EQ(cfg.CpuMaxTempDistance, "5");
        } else {
            EXPECT_TRUE(boxes.shown.isEmpty());
            EXPECT_EQ(st.CpuTempLimit, c.limit);
            EXPECT_EQ(cfg.CpuMaxTempDistance, Text8::fromQString(c.typed));
        }
    }
    // An empty edit stores a blank and leaves the limit.
    st.CpuTempLimit = 80;
    open();
    enter(dialog.EditCPUMAXTemp, QString());
    ok();
    EXPECT_EQ(cfg.CpuMaxTempDistance, " ");
    EXPECT_EQ(st.CpuTempLimit, 80);
}

TEST_F(ConfigDialogFixture, ServerRule)
{
    const QByteArray warning = cp(ConfigDialogTexts::NoServerWarning);
    const struct
    {
        QString typed;
        QByteArray host, port, line;
        Texts messages;
    } cases[] = {
        // The warning when the field is left and again at the save; saved all the same.
        {QString(), "", "2000", ":2000", {warning, warning}},
        {QStringLiteral(":2010"), "", "2010", ":2010", {warning}},
        {QStringLiteral("heron.example"), "heron.example", "2000", "heron.example:2000", {}},
        {QStringLiteral("10.1.2.3:2010"), "10.1.2.3", "2010", "10.1.2.3:2010", {}},
        {QStringLiteral("10.1.2.3:abc"), "10.1.2.3", "2001", "10.1.2.3:2001", {}},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.typed.toStdString());
        cfg.ServerPort = "2001";
        boxes.shown.clear();
        open();
        enter(dialog.EditHeronserver, c.typed);
        ok();
        EXPECT_EQ(boxes.shown, c.messages);
        EXPECT_EQ(cfg.ServerHost, c.host);
        EXPECT_EQ(cfg.ServerPort, c.port);
        EXPECT_EQ(valueLine(file(), 14), c.line);
        EXPECT_EQ(Text8::fromQString(w.EditServerDisplay->text()), c.host);
    }
}

TEST_F(ConfigDialogFixture, OkIsRefusedWhileTheUpdateFilesAreLocked)
{
    st.UpdateFileLocked = true;
    open();
    ok();
    EXPECT_EQ(boxes.shown, Texts{cp(ConfigDialogTexts::UpdateFileLocked)});
    EXPECT_TRUE(dialog.isVisible());
    EXPECT_TRUE(dialog.settings().ConfigUnconfirmed);
    cancel();
    EXPECT_FALSE(dialog.isVisible());
    EXPECT_FALSE(QFile::exists(dir.file("r2arodire.cfg")));
    EXPECT_FALSE(st.ImmediateReport.load());
}

TEST_F(ConfigDialogFixture, PortChoiceSetsTheIdentifierAtOnce)
{
    open();
    type(dialog.ComSelectComboBox1, QStringLiteral("COM3:"));
    EXPECT_EQ(cfg.StationId, "SIM1234");
    EXPECT_EQ(st.DeviceStationId.get(), "SIM1234");
    EXPECT_EQ(dialog.EditKennung->text(), QStringLiteral("SIM1234"));
    EXPECT_TRUE(dialog.EditKennung->isReadOnly());
    EXPECT_EQ(dialog.EditKennung->palette().color(QPalette::Base), TFConfig::InactiveCaptionText);
    cancel();
    EXPECT_EQ(cfg.StationId, "SIM1234"); // also when cancelled
    EXPECT_EQ(w.portText(), "COM4:");    // the port itself only with a save

    // A port text of four characters or fewer clears the identifier.
    open();
    type(dialog.ComSelectComboBox1, QStringLiteral("COM"));
    EXPECT_EQ(cfg.StationId, "");
    EXPECT_TRUE(dialog.EditKennung->text().isEmpty());
    cancel();
}

TEST_F(ConfigDialogFixture, ManualIdentifierBox)
{
    open();
    dialog.CheckBox1->click();
    EXPECT_FALSE(cfg.ManualStationId);
    EXPECT_TRUE(dialog.EditKennung->isReadOnly());
    dialog.CheckBox1->click();
    EXPECT_TRUE(cfg.ManualStationId);
    EXPECT_FALSE(dialog.EditKennung->isReadOnly());
    EXPECT_EQ(dialog.EditKennung->palette().color(QPalette::Base), TFConfig::CaptionText);
    cancel();
}

TEST_F(ConfigDialogFixture, FailedWriteStillRequestsTheReport)
{
    for (const bool terminating : {false, true}) {
        SCOPED_TRACE(terminating);
        QDir().mkpath(dir.file("r2arodire.cfg")); // cannot be created as a file
        st.TerminateRequested = terminating;
        st.ImmediateReport = false;
        st.AcknowledgeRequest = false;
        boxes.shown.clear();
        open();
        ok();
        EXPECT_EQ(boxes.shown, Texts{cp("Fehler beim Schreiben der neuen Konfiguration(1)")});
        EXPECT_EQ(st.ImmediateReport.load(), !terminating);
        EXPECT_TRUE(st.AcknowledgeRequest.load());
        EXPECT_FALSE(w.Button3->isEnabled());
        // The copy is written all the same, with the port as it was.
        EXPECT_EQ(valueLine(dir.read("AB12-CD.cfg"), 15), "COM2:");
    }
}

TEST_F(ConfigDialogFixture, SavedFilesByteForByte)
{
    open();
    ok();
    EXPECT_EQ(file(), kSavedFile);
    EXPECT_EQ(dir.read("AB12-CD.cfg"), kSavedFile);
    EXPECT_EQ(cfg.ComPort, "COM4:");

    open();
    enter(dialog.EditTmax, QStringLiteral("31"));
    dialog.CheckRI->click();
    dialog.CheckBox1->click();
    ok();
    const QByteArray changed = QByteArray(kSavedFile)
                                   .replace("Temp-Max\r\n30\r\n", "Temp-Max\r\n31\r\n")
                                   .replace("RI-Checked\r\nTRUE", "RI-Checked\r\nFALSE")
                                   .replace("$AB12-CD", "AB12-CD");
    EXPECT_EQ(file(), changed);
    EXPECT_EQ(dir.read("AB12-CD.cfg"), changed);
    EXPECT_FALSE(w.CheckRI->isChecked());
}

TEST_F(ConfigDialogFixture, KonfigurationCommandShowsTheDialogAgainAfterARejection)
{
    cfg.AlarmInterval = "6";
    w.Edit1->addItem(QStringLiteral("COM4:"));
    QStringList intervalsShown;
    OnShow script(dialog, [&] {
        intervalsShown << dialog.EditAlarmintervall->text();
        activate();
        if (intervalsShown.size() == 1) {
            enter(dialog.EditAlarmintervall, QStringLiteral("25"));
            ok();
        } else {
            cancel();
        }
    });
    w.Button2->click();
    EXPECT_EQ(intervalsShown, (QStringList{QStringLiteral("6"), QStringLiteral("6")}));
    EXPECT_EQ(boxes.shown, Texts{cp(ConfigDialogTexts::IntervalOutOfRange)});
    EXPECT_FALSE(QFile::exists(dir.file("r2arodire.cfg")));
    EXPECT_EQ(cfg.AlarmInterval, "6");
    EXPECT_FALSE(w.core().mirror.ConfigDialogOpen.load());
    EXPECT_EQ(w.Button1->text(), QStringLiteral("Stop Sensor")); // the sensor runs again
}

TEST_F(ConfigDialogFixture, InstallationLoopEndsOnceTheOperatorConfirmed)
{
    OnShow script(dialog, [&] { ok(); });
    w.installation().configurationLoop();
    EXPECT_EQ(script.shown, 1);
    EXPECT_EQ(file(), kSavedFile);
    EXPECT_TRUE(st.TerminateRequested.load());
}

// Remote configurations, handed over by a viewer connection that holds the
// semaphore all the while.
namespace {

struct RemoteConfig
{
    Texts items = {"10",    "30",    "-5",   "20",    "1",  "15",      "25",
                   "75",    "FALSE", "TRUE", "FALSE", "-1", "RM1-234", "remote.example:2000",
                   "COM9:", "8",     "7"};
    bool manual = false;
};

} // namespace

struct RemoteConfigFixture : ConfigDialogFixture
{
    using Setter = void (TFConfig::*)(const QByteArray &);
    static constexpr Setter kSetters[17] = {&TFConfig::RemoteSetTmin,      &TFConfig::RemoteSetTmax,
                                            &TFConfig::RemoteSetTPmin,     &TFConfig::RemoteSetTPmax,
                                            &TFConfig::RemoteSetT_TPmin,   &TFConfig::RemoteSetT_TPmax,
                                            &TFConfig::RemoteSetRHmin,     &TFConfig::RemoteSetRHmax,
                                            &TFConfig::RemoteSetRx,        &TFConfig::RemoteSetRI,
                                            &TFConfig::RemoteSetDC,        &TFConfig::RemoteSetCts,
                                            &TFConfig::RemoteSetKennung,   &TFConfig::RemoteSetHeronserver,
                                            &TFConfig::RemoteSetComPort,   &TFConfig::RemoteSetAlarmintervall,
                                            &TFConfig::RemoteSetCPUMAXTemp};

    // The viewer connection's part: the identifier, the server and the
    // interval stored beforehand as the viewer service does (not when they
    // cannot stand in the files), each value handed to its setter (the
    // server as the stored host ":" port), then the apply.
    void handOver(const RemoteConfig &rc)
    {
        StationCore &core = w.core();
        for (int i = 0; i < 17; ++i) {
            QByteArray value = rc.items[i];
            const bool oneLine = ConfigValueChecks::fitsOneLine(value);
            if (i == 12)
                core.config.ManualStationId = rc.manual;
            if (i == 13 && oneLine) {
                const QByteArray &s = rc.items[i];
                const qsizetype colon = s.indexOf(':');
                core.config.ServerHost = colon >= 0 ? s.left(colon) : s;
                core.config.ServerPort = colon >= 0 ? s.mid(colon + 1) : QByteArray("2000");
                value = core.config.ServerHost + ':' + core.config.ServerPort;
            }
            if (i == 15 && oneLine)
                core.config.AlarmInterval = rc.items[i];
            core.handover.runOnGui([this, i, value] { (dialog.*kSetters[i])(value); });
        }
        core.handover.runOnGui([this] { dialog.RemoteApply(); });
    }

    // Applies a remote configuration; false when it dead-locked.
    bool apply(const RemoteConfig &rc)
    {
        ViewerConnectionStandIn viewer(w.core());
        viewer.start([this, rc] { handOver(rc); });
        return viewer.finish();
    }
};

TEST_F(RemoteConfigFixture, ValidConfigurationIsSavedAndReported)
{
    cfg.CheckCTS = false;
    ASSERT_TRUE(apply({}));
    EXPECT_EQ(valueLine(file(), 1), "10");
    EXPECT_EQ(valueLine(file(), 3), "25"); // RH in file order
    EXPECT_EQ(valueLine(file(), 5), "-5");
    EXPECT_EQ(valueLine(file(), 12), "TRUE");
    EXPECT_EQ(valueLine(file(), 13), "RM1-234");
    EXPECT_EQ(valueLine(file(), 14), "remote.example:2000");
    EXPECT_EQ(valueLine(file(), 15), "COM4:"); // the received port is ignored
    EXPECT_EQ(valueLine(file(), 16), "8");
    EXPECT_EQ(valueLine(file(), 17), "7");
    EXPECT_EQ(dir.read("RM1-234.cfg"), file());
    EXPECT_EQ(st.CpuTempLimit, 93);
    EXPECT_EQ(Text8::fromQString(w.LabelTempMinMax->text()), cp("min: 10°C  max: 30°C  "));
    EXPECT_TRUE(st.ImmediateReport.load());
    EXPECT_TRUE(st.AcknowledgeRequest.load());
    EXPECT_TRUE(boxes.shown.isEmpty());
    EXPECT_FALSE(dialog.isVisible());
    EXPECT_EQ(w.portText(), "COM4:");
}

// A refused value counts for the configuration that carried it: that one
// writes nothing, and the next sound one is written as any other.
TEST_F(RemoteConfigFixture, RejectedValueStopsOnlyTheSaveOfItsOwnConfiguration)
{
    RemoteConfig rc;
    rc.items[3] = "warm"; // TPmax
    ASSERT_TRUE(apply(rc));
    EXPECT_FALSE(QFile::exists(dir.file("r2arodire.cfg")));
    EXPECT_TRUE(boxes.shown.isEmpty()); // silent without a sender
    EXPECT_EQ(cfg.TPMax, "25");         // as before
    EXPECT_EQ(cfg.TPMin, "-5");         // what passed is taken, but not written
    EXPECT_EQ(cfg.TempMin, "10");
    EXPECT_EQ(cfg.StationId, "RM1-234");
    EXPECT_FALSE(st.ImmediateReport.load());
    EXPECT_FALSE(st.AcknowledgeRequest.load());

    ASSERT_TRUE(apply({}));
    EXPECT_EQ(cfg.TPMax, "20");
    EXPECT_EQ(valueLine(file(), 6), "20");
    EXPECT_EQ(dir.read("RM1-234.cfg"), file());
    EXPECT_TRUE(st.ImmediateReport.load());
    EXPECT_TRUE(st.AcknowledgeRequest.load());
}

// A field the operator's open dialog refused does not keep a viewer's sound
// configuration from being written either; the dialog's own flag stays, so
// the main window shows the dialog again after its OK as before.
TEST_F(RemoteConfigFixture, FieldRefusedInTheOpenDialogStopsNoRemoteSave)
{
    open();
    enter(dialog.EditAlarmintervall, QStringLiteral("25"));
    ASSERT_TRUE(dialog.settings().InputRejected);
    ASSERT_TRUE(apply({}));
    EXPECT_EQ(valueLine(file(), 16), "8");
    EXPECT_TRUE(dialog.settings().InputRejected);
    cancel();
}

// From a viewer, a text with a line break or a NUL, or an identifier that is
// no plain file name, is refused like any value that fails its check on
// this path: silently, nothing written, the setting in force stays.
TEST_F(RemoteConfigFixture, TextThatBreaksTheFilesIsRefusedLikeARejectedValue)
{
    const struct
    {
        int index;
        QByteArray text;
    } cases[] = {
        {12, "../../Q"},
        {12, QByteArray("SI\0M123", 7)},
        {13, "127.0.0.1\r\nTemp-Min\r\n99:2000"},
        {0, "5\r\n6"},
        {15, "4\r\n5"},
        {16, QByteArray("7\0", 2)},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.text.toStdString());
        dialog.settings().InputRejected = false;
        cfg = savedConfig();
        const StationConfig before = cfg;
        RemoteConfig rc;
        rc.items[c.index] = c.text;
        ASSERT_TRUE(apply(rc));
        EXPECT_FALSE(QFile::exists(dir.file("r2arodire.cfg")));
        EXPECT_TRUE(QDir(dir.path()).entryList(QDir::Files).isEmpty());
        EXPECT_TRUE(boxes.shown.isEmpty());
        EXPECT_TRUE(dialog.settings().InputRejected);
        EXPECT_EQ(cfg.StationId, c.index == 12 ? before.StationId : QByteArray("RM1-234"));
        EXPECT_EQ(cfg.ServerHost, c.index == 13 ? before.ServerHost : QByteArray("remote.example"));
        EXPECT_EQ(cfg.TempMin, c.index == 0 ? before.TempMin : QByteArray("10"));
        EXPECT_EQ(cfg.AlarmInterval, c.index == 15 ? before.AlarmInterval : QByteArray("8"));
        EXPECT_EQ(cfg.CpuMaxTempDistance, c.index == 16 ? before.CpuMaxTempDistance : QByteArray("7"));
        EXPECT_FALSE(st.ImmediateReport.load());
    }
}

TEST_F(RemoteConfigFixture, IntervalOutOfRangeShowsItsMessage)
{
    RemoteConfig rc;
    rc.items[15] = "30";
    ASSERT_TRUE(apply(rc));
    EXPECT_EQ(boxes.shown, Texts{cp(ConfigDialogTexts::IntervalOutOfRange)});
    EXPECT_TRUE(dialog.EditAlarmintervall->text().isEmpty());
    EXPECT_FALSE(QFile::exists(dir.file("r2arodire.cfg")));
    EXPECT_EQ(cfg.AlarmInterval, "30"); // as the viewer service stored it
}

TEST_F(RemoteConfigFixture, ServerPort)
{
    const struct
    {
        QByteArray sent, host, port;
    } cases[] = {{"remote.example:2010", "remote.example", "2010"},
                 {"remote.example", "remote.example", "2000"}};
    for (const auto &c : cases) {
        SCOPED_TRACE(c.sent.toStdString());
        RemoteConfig rc;
        rc.items[13] = c.sent;
        ASSERT_TRUE(apply(rc));
        EXPECT_EQ(cfg.ServerHost, c.host);
        EXPECT_EQ(cfg.ServerPort, c.port);
        EXPECT_EQ(valueLine(file(), 14), c.host + ':' + c.port);
    }
}

TEST_F(RemoteConfigFixture, ContactFlags)
{
    const struct
    {
        QByteArray sent;
        bool before, after;
    } cases[] = {{"-1", false, true},
                 {"0", true, false},
                 {"ja", true, true},
                 {"ja", false, false},
                 {"true", false, true}};
    for (const auto &c : cases) {
        SCOPED_TRACE(c.sent.toStdString());
        cfg.CheckRI = cfg.CheckDC = c.before;
        dialog.CheckRI->setChecked(c.before);
        dialog.CheckDC->setChecked(c.before);
        RemoteConfig rc;
        rc.items[9] = rc.items[10] = c.sent;
        ASSERT_TRUE(apply(rc));
        EXPECT_EQ(cfg.CheckRI, c.after);
        EXPECT_EQ(cfg.CheckDC, c.after);
        EXPECT_EQ(w.CheckRI->isChecked(), c.after);
        EXPECT_EQ(valueLine(file(), 10), c.after ? "TRUE" : "FALSE");
    }
}

TEST_F(RemoteConfigFixture, OpenLocalDialogIsChangedAndStaysOpen)
{
    open();
    ASSERT_TRUE(apply({}));
    EXPECT_TRUE(dialog.isVisible());
    EXPECT_EQ(dialog.EditTmin->text(), QStringLiteral("10"));
    EXPECT_EQ(dialog.EditKennung->text(), QStringLiteral("RM1-234"));
    EXPECT_EQ(valueLine(file(), 1), "10");
    EXPECT_FALSE(dialog.settings().ConfigUnconfirmed);
    // A field the operator leaves now is copied at once (the acknowledge
    // showed the main window again: the operator comes back to the dialog).
    activate();
    enter(dialog.EditTmin, QStringLiteral("11"));
    EXPECT_EQ(cfg.TempMin, "11");
    cancel();
    EXPECT_EQ(valueLine(file(), 1), "10");
}

TEST_F(RemoteConfigFixture, RemoteConfigurationWhileTheOperatorLeavesAField)
{
    open();
    type(dialog.EditTmin, QStringLiteral("7,5"));
    ViewerConnectionStandIn viewer(w.core());
    // The viewer connection holds the semaphore and hands its setters over
    // while the field's handler waits for the semaphore on the GUI thread.
    viewer.start([this] { handOver({}); });
    leave(dialog.EditTmin);
    EXPECT_TRUE(viewer.finish()) << "dead-locked";
    EXPECT_EQ(dialog.EditTmin->text(), QStringLiteral("10"));
    EXPECT_EQ(cfg.TempMin, "10"); // the remote value, saved, is not overwritten
    EXPECT_EQ(valueLine(file(), 1), "10");
    EXPECT_EQ(w.core().semaphore.available(), 1);
    EXPECT_TRUE(dialog.isVisible());
    cancel();
}

TEST_F(ConfigDialogFixture, Screenshot)
{
    open();
    const QImage image = dialog.grab().toImage();
    EXPECT_FALSE(image.isNull());
    EXPECT_EQ(image.size(), dialog.size() * dialog.devicePixelRatio());
    if (const QByteArray path = qgetenv("KLIMA_SCREENSHOT"); !path.isEmpty()) {
        EXPECT_TRUE(image.save(QString::fromLocal8Bit(path), "PNG"));
    }
    cancel();
}

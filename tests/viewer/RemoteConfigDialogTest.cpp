// The remote configuration dialog against a fake main window: the field
// checks while editing, OK and Abbruch, the send request, the identifier and
// the CPU distance rules.

#include "support/FakeRemoteConfigHost.h"
#include "support/ScopedLocale.h"

#include "viewer/RemoteConfigTexts.h"
#include "viewer/TFRemoteConfig.h"

#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QDir>
#include <QImage>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QTest>

#include <gtest/gtest.h>

#include <atomic>
#include <thread>

namespace {

QString u(const char *utf8)
{
    return QString::fromUtf8(utf8);
}

class RemoteConfigFixture : public ::testing::Test
{
protected:
    RemoteConfigFixture()
        : locale(QLocale(QLocale::German, QLocale::Germany))
        , dialog(host)
    {
        dialog.messages().setPresenter([this](const QString &text) { messages.append(text); });
        host.holdTypicalStation();
    }

    template <class T> T *control(const char *name)
    {
        T *c = dialog.findChild<T *>(QString::fromLatin1(name));
        EXPECT_NE(c, nullptr) << name;
        return c;
    }
    QLineEdit *edit(const char *name) { return control<QLineEdit>(name); }

    // One showing as the main window's "Sensor-Config" makes it.
    void open()
    {
        host.state.ConfigState = 1;
        dialog.clearInputRejected();
        dialog.show();
        QApplication::setActiveWindow(&dialog);
        ASSERT_TRUE(QTest::qWaitForWindowActive(&dialog));
    }
    void type(QLineEdit *line, const QString &text)
    {
        line->setFocus(Qt::TabFocusReason);
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
    // The operator moves on to another control.
    void leave(QLineEdit *line)
    {
        ASSERT_TRUE(line->hasFocus());
        QWidget *other = line == edit("EditTmin") ? edit("EditTmax") : edit("EditTmin");
        other->setFocus(Qt::TabFocusReason);
    }
    void enter(const char *name, const QString &text)
    {
        type(edit(name), text);
        leave(edit(name));
    }
    void ok() { QTest::mouseClick(control<QPushButton>("Button1"), Qt::LeftButton); }
    void cancel() { QTest::mouseClick(control<QPushButton>("CancelButton"), Qt::LeftButton); }
    // Enter in a field: the default button without leaving the field.
    void okByEnter(const char *name) { QTest::keyClick(edit(name), Qt::Key_Return); }

    const RemoteStationConfig &config() const { return host.state.config; }

    ScopedLocale locale;
    FakeRemoteConfigHost host;
    TFRemoteConfig dialog;
    QStringList messages;
};

TEST_F(RemoteConfigFixture, ControlsCaptionAndLoad)
{
    EXPECT_EQ(dialog.objectName(), u("FRemoteConfig"));
    EXPECT_EQ(dialog.windowTitle(), u("Sensor-Konfiguration"));
    EXPECT_EQ(dialog.palette().color(QPalette::Window), QColor(192, 220, 192));
    EXPECT_EQ(control<QLabel>("Label1")->text(),
              u("Min.                     EIGENSCHAFT                         Max."));
    EXPECT_EQ(control<QLabel>("Label13")->text(), u("min Abstand  zur Zersörungstemp.(°C)"));
    EXPECT_EQ(control<QCheckBox>("CheckRI")->text(), u("Eingang_1  überwachen"));
    EXPECT_EQ(control<QPushButton>("CancelButton")->text(), u("Abbruch"));
    EXPECT_EQ(control<QCheckBox>("ModifyKennung")->text(), u("mod.Kenn."));
    EXPECT_EQ(control<QComboBox>("EditHeronserver")->currentText(), u("EditHeronserver"));
    EXPECT_EQ(control<QComboBox>("EditHeronserver")->count(), 4);
    EXPECT_EQ(edit("EditAlarmintervall")->text(), u("4"));

    open();
    EXPECT_TRUE(dialog.ConfigUnconfirmed());
    EXPECT_EQ(host.state.ConfigState, 1);
    const struct
    {
        const char *edit;
        const char *value;
    } loaded[] = {{"EditTmin", "5"},  {"EditTmax", "30"},        {"EditTPmin", "-2"},          {"EditTPmax", "20"},
                  {"EditT_TPmin", "1"}, {"EditT_TPmax", "15"},   {"EditRHmin", "10"},          {"EditRHmax", "90"},
                  {"EditKennung", "ABC1234"}, {"EditAlarmintervall", "4"}, {"EditCPUMaxtemp", "10"}};
    for (const auto &l : loaded)
        EXPECT_EQ(edit(l.edit)->text(), u(l.value)) << l.edit;
    EXPECT_EQ(control<QComboBox>("EditHeronserver")->currentText(), u("127.0.0.1:2000"));
    EXPECT_TRUE(control<QCheckBox>("CheckRI")->isChecked());
    EXPECT_FALSE(control<QCheckBox>("CheckDC")->isChecked());
    EXPECT_FALSE(control<QCheckBox>("CheckRX")->isVisible());
    EXPECT_FALSE(control<QCheckBox>("CheckCTS")->isVisible());
    // Identifier locked: read-only, inactive-caption colour, box cleared.
    EXPECT_TRUE(edit("EditKennung")->isReadOnly());
    EXPECT_FALSE(control<QCheckBox>("ModifyKennung")->isChecked());
    EXPECT_EQ(edit("EditKennung")->palette().color(QPalette::Base), TFRemoteConfig::InactiveCaptionText);
}

TEST_F(RemoteConfigFixture, OkCopiesEverythingAndRequestsTheSend)
{
    open();
    enter("EditTmin", " 7,5 "); // converts; its blanks stay
    type(edit("EditTmax"), QString());
    enter("EditAlarmintervall", "12");
    enter("EditCPUMaxtemp", "0");
    control<QCheckBox>("CheckDC")->setChecked(true);
    control<QComboBox>("EditHeronserver")->setEditText(u("server.local:2001"));
    EXPECT_EQ(config().TempMin, u("5")); // nothing copied before OK
    EXPECT_EQ(config().AlarmInterval, u("4"));
    EXPECT_FALSE(host.state.ConfigSendRequested);

    ok();

    EXPECT_FALSE(dialog.isVisible());
    EXPECT_EQ(dialog.result(), 1);
    EXPECT_TRUE(messages.isEmpty()) << messages.join('|').toStdString();
    EXPECT_FALSE(dialog.InputRejected());
    EXPECT_EQ(config().TempMin, u(" 7,5 "));
    EXPECT_EQ(config().TempMax, QString()); // emptied: no limit
    EXPECT_EQ(config().AlarmInterval, u("12"));
    EXPECT_EQ(config().CpuMaxTempDistance, u("0"));
    EXPECT_EQ(config().Server, u("server.local:2001"));
    EXPECT_EQ(config().StationId, u("ABC1234"));
    EXPECT_EQ(config().ComPort, u("COM3:")); // not the dialog's
    EXPECT_TRUE(host.checks.dc);
    EXPECT_TRUE(host.checks.ri);
    EXPECT_TRUE(host.state.ConfigSendRequested);
    EXPECT_EQ(host.state.ConfigState, 1);
}

TEST_F(RemoteConfigFixture, AbbruchCopiesNothingAndRequestsNoSend)
{
    open();
    enter("EditTmin", "1");
    control<QCheckBox>("CheckDC")->setChecked(true);
    cancel();
    EXPECT_FALSE(dialog.isVisible());
    EXPECT_EQ(dialog.result(), 1);
    EXPECT_EQ(config().TempMin, u("5"));
    EXPECT_FALSE(host.checks.dc);
    EXPECT_EQ(host.contactWrites, 0);
    EXPECT_FALSE(host.state.ConfigSendRequested);
}

TEST_F(RemoteConfigFixture, EmptyIntervalIsZeroAtOnceEvenWhenCancelled)
{
    open();
    enter("EditAlarmintervall", "");
    EXPECT_EQ(config().AlarmInterval, u("0"));
    cancel();
    EXPECT_EQ(config().AlarmInterval, u("0"));
    EXPECT_FALSE(host.state.ConfigSendRequested);
}

struct Rejection
{
    const char *name;
    const char *edit;
    const char *typed;
    const char *message;
};

class RemoteConfigRejects : public RemoteConfigFixture, public ::testing::WithParamInterface<Rejection>
{};

// Left while editing: the message, an emptied edit with the focus, the mark.
TEST_P(RemoteConfigRejects, FieldLeftWhileEditing)
{
    const Rejection &r = GetParam();
    open();
    const RemoteStationConfig before = config();
    enter(r.edit, u(r.typed));
    ASSERT_EQ(messages.size(), 1);
    EXPECT_EQ(messages[0], u(r.message));
    EXPECT_TRUE(edit(r.edit)->text().isEmpty());
    EXPECT_TRUE(edit(r.edit)->hasFocus());
    EXPECT_TRUE(dialog.InputRejected());
    EXPECT_EQ(config().TempMin, before.TempMin);
    EXPECT_EQ(config().AlarmInterval, before.AlarmInterval);
    EXPECT_EQ(config().CpuMaxTempDistance, before.CpuMaxTempDistance);
}

const Rejection kRejections[] = {
    {"Tmin", "EditTmin", "warm", "minimale Temperatur muss eine Gleitkommazahl sein!"},
    {"Tmax", "EditTmax", "3.5", "maximale Temperatur muss eine Gleitkommazahl sein!"}, // point under German
    {"TPmin", "EditTPmin", "x", "minimale Taupunkt-Temperatur muss eine Gleitkommazahl sein!"},
    {"TPmax", "EditTPmax", "x", "maximale Taupunkt-Temperatur muss eine Gleitkommazahl sein!"},
    {"T_TPmin", "EditT_TPmin", "x", "minimale Diff(Temp-Taupunkt) muss eine Gleitkommazahl sein!"},
    {"T_TPmax", "EditT_TPmax", "x", "maximale Diff(Temp-Taupunkt) muss eine Gleitkommazahl sein!"},
    {"RHmin", "EditRHmin", " ", "minimale rel.Luftfeuchte muss eine Gleitkommazahl sein!"},
    {"RHmax", "EditRHmax", "1e", "maximale rel.Luftfeuchte muss eine Gleitkommazahl sein!"},
    {"IntervalNoNumber", "EditAlarmintervall", "4,5", "Alarmintervall muß eine Ganzzahl sein!"},
    {"IntervalAbove", "EditAlarmintervall", "25", "Alarmintervall muß größer/gleich 0 und kleiner 25 sein!"},
    {"IntervalBelow", "EditAlarmintervall", "-1", "Alarmintervall muß größer/gleich 0 und kleiner 25 sein!"},
    {"CpuNoNumber", "EditCPUMaxtemp", "zehn", "min Abstand zur JUNCTION-Temperatur muss eine Ganzzahl sein!"},
    {"CpuAbove", "EditCPUMaxtemp", "86", "min.Abstand zur JUNCTION-Temperatur muss >0 und <85 sein!"},
    {"CpuBelow", "EditCPUMaxtemp", "-1", "min.Abstand zur JUNCTION-Temperatur muss >0 und <85 sein!"},
    {"CpuAtTjMax", "EditCPUMaxtemp", "85", "min.Abstand zur JUNCTION-Temperatur muss >0 und <85 sein!"},
};
INSTANTIATE_TEST_SUITE_P(Fields, RemoteConfigRejects, ::testing::ValuesIn(kRejections),
                         [](const ::testing::TestParamInfo<Rejection> &info) { return std::string(info.param.name); });

TEST_F(RemoteConfigFixture, CpuDistanceKeepsZeroUpToOneBelowTjMax)
{
    for (const char *value : {"0", "84"}) {
        open();
        enter("EditCPUMaxtemp", u(value));
        ok();
        EXPECT_TRUE(messages.isEmpty()) << value;
        EXPECT_EQ(config().CpuMaxTempDistance, u(value));
    }
    // Before any measurement message StationTjMax is 0: no distance fits.
    host.state.StationTjMax = 0;
    open();
    enter("EditCPUMaxtemp", "3");
    EXPECT_EQ(messages.value(0), u("min.Abstand zur JUNCTION-Temperatur muss >0 und <0 sein!"));
}

TEST_F(RemoteConfigFixture, IntervalOutOfRangeAtOkStaysCopiedAndComesBack)
{
    open();
    type(edit("EditAlarmintervall"), u("25"));
    okByEnter("EditAlarmintervall"); // OK without leaving the field
    EXPECT_FALSE(dialog.isVisible());
    EXPECT_EQ(messages, QStringList{u(RemoteConfigTexts::IntervalOutOfRange)});
    EXPECT_TRUE(dialog.InputRejected());
    EXPECT_EQ(config().AlarmInterval, u("25"));
    EXPECT_FALSE(host.state.ConfigSendRequested);

    open(); // the main window shows it again
    EXPECT_EQ(edit("EditAlarmintervall")->text(), u("25"));
}

TEST_F(RemoteConfigFixture, RejectedAtOkGivesEmptyCopies)
{
    open();
    type(edit("EditTmin"), u("abc"));
    okByEnter("EditTmin");
    EXPECT_EQ(messages, QStringList{u(RemoteConfigTexts::TminNotFloat)});
    EXPECT_EQ(config().TempMin, QString());
    EXPECT_EQ(config().TempMax, u("30"));
    EXPECT_FALSE(host.state.ConfigSendRequested);
}

TEST_F(RemoteConfigFixture, CorrectedValueStillCostsASecondOk)
{
    open();
    enter("EditTmin", "kalt");
    enter("EditTmin", "3");
    ok();
    EXPECT_TRUE(dialog.InputRejected());
    EXPECT_FALSE(host.state.ConfigSendRequested);
    EXPECT_EQ(config().TempMin, u("3")); // copied at OK all the same

    open();
    EXPECT_EQ(edit("EditTmin")->text(), u("3"));
    ok();
    EXPECT_FALSE(dialog.InputRejected());
    EXPECT_TRUE(host.state.ConfigSendRequested);
}

TEST_F(RemoteConfigFixture, EmptyServerOnlyWarns)
{
    open();
    control<QComboBox>("EditHeronserver")->setEditText(QString());
    ok();
    EXPECT_EQ(messages, QStringList{u("ACHTUNG! Sie haben keinen Alarmserver eingetragen; Alarmierungen sind UNMÖGLICH!")});
    EXPECT_EQ(config().Server, QString());
    EXPECT_TRUE(host.state.ConfigSendRequested);
}

TEST_F(RemoteConfigFixture, IdentifierIsUpperCaseFilledWithUnderscoresAndCut)
{
    host.state.StationIdLocked = false;
    const struct
    {
        const char *typed;
        const char *shown;
    } cases[] = {{"abc", "ABC____"}, {"abcdefghij", "ABCDEFG"}, {"", "_______"}, {"größe", "GRÖßE__"}};
    for (const auto &c : cases) {
        open();
        EXPECT_FALSE(edit("EditKennung")->isReadOnly());
        enter("EditKennung", u(c.typed));
        EXPECT_EQ(edit("EditKennung")->text(), u(c.shown)) << c.typed;
        EXPECT_EQ(config().StationId, u("ABC1234")); // copied only at OK
        cancel();
    }
    open();
    enter("EditKennung", u("xy"));
    ok();
    EXPECT_EQ(config().StationId, u("XY_____"));
}

TEST_F(RemoteConfigFixture, TickingModifyKennungUnlocksAtOnceButTheEditStaysReadOnly)
{
    open();
    ASSERT_TRUE(edit("EditKennung")->isReadOnly());
    control<QCheckBox>("ModifyKennung")->click();
    EXPECT_FALSE(host.state.StationIdLocked);
    EXPECT_EQ(edit("EditKennung")->palette().color(QPalette::Base), QApplication::palette().color(QPalette::Base));
    EXPECT_TRUE(edit("EditKennung")->isReadOnly());
    ok();

    open(); // writable from the next showing on
    EXPECT_FALSE(edit("EditKennung")->isReadOnly());
    EXPECT_TRUE(control<QCheckBox>("ModifyKennung")->isChecked());
    EXPECT_EQ(edit("EditKennung")->palette().color(QPalette::Base), TFRemoteConfig::CaptionText);

    control<QCheckBox>("ModifyKennung")->click();
    EXPECT_TRUE(host.state.StationIdLocked);
    EXPECT_EQ(edit("EditKennung")->palette().color(QPalette::Base), TFRemoteConfig::Silver);
    cancel();
    EXPECT_TRUE(host.state.StationIdLocked); // the box works at once, OK or not
}

TEST_F(RemoteConfigFixture, DeactivationWhileOpenDoesNothing)
{
    open();
    enter("EditTmin", "2");
    dialog.FormDeactivate(); // the user switches to another program
    EXPECT_EQ(config().TempMin, u("5"));
    EXPECT_FALSE(host.state.ConfigSendRequested);
    EXPECT_TRUE(dialog.isVisible());
}

TEST_F(RemoteConfigFixture, ChecksHoldTheSectionSoTheConnectionThreadWaits)
{
    open();
    enter("EditTmin", "9");
    std::atomic<bool> gotIt{false};
    bool tookWhileOpen = false;
    // While OK copies, the connection thread cannot read the copy half-made.
    dialog.messages().setPresenter([&](const QString &) {
        std::thread t([&] {
            tookWhileOpen = host.state.ConfigSection.tryLock(50);
            if (tookWhileOpen)
                host.state.ConfigSection.unlock();
            gotIt = true;
        });
        t.join();
    });
    control<QComboBox>("EditHeronserver")->setEditText(QString()); // a message during the copy
    ok();
    EXPECT_TRUE(gotIt);
    EXPECT_FALSE(tookWhileOpen);
    EXPECT_TRUE(host.state.ConfigSection.tryLock()); // released at the end
    host.state.ConfigSection.unlock();
}

} // namespace

namespace {

// A grab of the shown dialog; to KLIMA_SCREENSHOT_DIR when it is set.
TEST_F(RemoteConfigFixture, Screenshot)
{
    host.state.StationIdLocked = false;
    open();
    const QImage shot = dialog.grab().toImage();
    ASSERT_FALSE(shot.isNull());
    if (const QByteArray dir = qgetenv("KLIMA_SCREENSHOT_DIR"); !dir.isEmpty()) {
        EXPECT_TRUE(shot.save(QDir(QString::fromLocal8Bit(dir)).filePath(QStringLiteral("remote-config-dialog.png"))));
    }
    cancel();
}

} // namespace

// The remote configuration dialog's rules without the dialog: the field
// checks, the load at activation, the copy back and the send request after
// OK, the identifier's lock, and the section held over the copy.

#include "support/FakeRemoteConfigHost.h"
#include "support/RecordingRemoteConfigView.h"
#include "support/ScopedLocale.h"

#include "viewer/RemoteConfigSettings.h"
#include "viewer/RemoteConfigTexts.h"

#include <gtest/gtest.h>

#include <atomic>
#include <thread>

namespace {

QString u(const char *utf8)
{
    return QString::fromUtf8(utf8);
}

using F = RemoteConfigField;

class RemoteConfigSettingsFixture : public ::testing::Test
{
protected:
    RemoteConfigSettingsFixture()
        : locale(QLocale(QLocale::German, QLocale::Germany))
        , settings(host, view)
    {
        view.onModifyKennungChanged = [this] { settings.modifyKennungClick(); };
        host.holdTypicalStation();
    }

    // The check the dialog runs when the control is left.
    void leave(F field)
    {
        switch (field) {
        case F::Alarmintervall:
            settings.alarmintervallExit();
            return;
        case F::CPUMaxtemp:
            settings.cpuMaxtempExit();
            return;
        case F::Kennung:
            settings.kennungExit();
            return;
        case F::Heronserver:
            settings.heronserverExit();
            return;
        default:
            settings.limitExit(field);
        }
    }

    const RemoteStationConfig &config() const { return host.state.config; }

    ScopedLocale locale;
    FakeRemoteConfigHost host;
    RecordingRemoteConfigView view;
    RemoteConfigSettings settings;
};

struct FieldCase
{
    const char *name;
    F field;
    const char *typed;
    bool confirmed; // after OK (the checks that the close runs) or while editing
    qint32 tjMax;
    const char *message; // nullptr: none
    const char *shown;   // the control afterwards
    bool rejected;
    QString RemoteStationConfig::*copy;
    const char *copied; // the copy afterwards
};

class RemoteConfigFieldChecks : public RemoteConfigSettingsFixture,
                                public ::testing::WithParamInterface<FieldCase>
{
};

TEST_P(RemoteConfigFieldChecks, MessageControlMarkAndCopy)
{
    const FieldCase &c = GetParam();
    host.state.StationTjMax = c.tjMax;
    settings.formActivate();
    if (c.confirmed)
        settings.okClick();
    view.setFieldText(c.field, u(c.typed));
    view.focus.reset();

    leave(c.field);

    if (c.message)
        EXPECT_EQ(view.messages, QStringList{u(c.message)});
    else
        EXPECT_TRUE(view.messages.isEmpty()) << view.messages.join('|').toStdString();
    EXPECT_EQ(view.fieldText(c.field), u(c.shown));
    EXPECT_EQ(settings.InputRejected(), c.rejected);
    // A rejected control gets the focus back; no other check moves it.
    EXPECT_EQ(view.focus == c.field, c.rejected);
    EXPECT_EQ(config().*c.copy, u(c.copied));
}

using C = RemoteStationConfig;
const FieldCase kFieldCases[] = {
    // Limits: the text as typed, blanks and all; nothing while editing.
    {"LimitWithBlanks", F::Tmin, " 7,5 ", true, 85, nullptr, " 7,5 ", false, &C::TempMin, " 7,5 "},
    {"LimitWhileEditing", F::Tmin, "7", false, 85, nullptr, "7", false, &C::TempMin, "5"},
    {"LimitEmpty", F::Tmax, "", true, 85, nullptr, "", false, &C::TempMax, "30"},
    {"LimitPointUnderGerman", F::Tmax, "3.5", true, 85, RemoteConfigTexts::TmaxNotFloat, "", true,
     &C::TempMax, "30"},
    {"LimitTPmin", F::TPmin, "x", true, 85, RemoteConfigTexts::TPminNotFloat, "", true, &C::TPMin, "-2"},
    {"LimitTPmax", F::TPmax, "x", true, 85, RemoteConfigTexts::TPmaxNotFloat, "", true, &C::TPMax, "20"},
    {"LimitT_TPmin", F::T_TPmin, "x", true, 85, RemoteConfigTexts::T_TPminNotFloat, "", true, &C::TTPMin,
     "1"},
    {"LimitT_TPmax", F::T_TPmax, "x", true, 85, RemoteConfigTexts::T_TPmaxNotFloat, "", true, &C::TTPMax,
     "15"},
    {"LimitOnlyBlank", F::RHmin, " ", true, 85, RemoteConfigTexts::RHminNotFloat, "", true, &C::RHMin, "10"},
    {"LimitRHmax", F::RHmax, "1e", false, 85, RemoteConfigTexts::RHmaxNotFloat, "", true, &C::RHMax, "90"},
    // The alarm interval: empty is "0" at once; copied before its range.
    {"IntervalEmptyWhileEditing", F::Alarmintervall, "", false, 85, nullptr, "", false, &C::AlarmInterval,
     "0"},
    {"IntervalInRange", F::Alarmintervall, "24", true, 85, nullptr, "24", false, &C::AlarmInterval, "24"},
    {"IntervalAboveStaysCopied", F::Alarmintervall, "25", true, 85, RemoteConfigTexts::IntervalOutOfRange, "",
     true, &C::AlarmInterval, "25"},
    {"IntervalBelowWhileEditing", F::Alarmintervall, "-1", false, 85, RemoteConfigTexts::IntervalOutOfRange,
     "", true, &C::AlarmInterval, "4"},
    {"IntervalNoNumber", F::Alarmintervall, "4,5", true, 85, RemoteConfigTexts::IntervalNotInteger, "", true,
     &C::AlarmInterval, "4"},
    // The CPU distance: 0 up to one below StationTjMax.
    {"CpuZero", F::CPUMaxtemp, "0", true, 85, nullptr, "0", false, &C::CpuMaxTempDistance, "0"},
    {"CpuBelowTjMax", F::CPUMaxtemp, "84", true, 85, nullptr, "84", false, &C::CpuMaxTempDistance, "84"},
    {"CpuAtTjMax", F::CPUMaxtemp, "85", true, 85, "min.Abstand zur JUNCTION-Temperatur muss >0 und <85 sein!",
     "", true, &C::CpuMaxTempDistance, "10"},
    {"CpuNegative", F::CPUMaxtemp, "-1", true, 85,
     "min.Abstand zur JUNCTION-Temperatur muss >0 und <85 sein!", "", true, &C::CpuMaxTempDistance, "10"},
    {"CpuBeforeAnyMeasurement", F::CPUMaxtemp, "3", true, 0,
     "min.Abstand zur JUNCTION-Temperatur muss >0 und <0 sein!", "", true, &C::CpuMaxTempDistance, "10"},
    {"CpuNoNumber", F::CPUMaxtemp, "zehn", true, 85, RemoteConfigTexts::CpuNotInteger, "", true,
     &C::CpuMaxTempDistance, "10"},
    {"CpuEmpty", F::CPUMaxtemp, "", true, 85, nullptr, "", false, &C::CpuMaxTempDistance, "10"},
    // The identifier: upper case, "_" up to seven places, cut; copied only at the close.
    {"IdShort", F::Kennung, "abc", true, 85, nullptr, "ABC____", false, &C::StationId, "ABC1234"},
    {"IdLong", F::Kennung, "abcdefghij", false, 85, nullptr, "ABCDEFG", false, &C::StationId, "ABC1234"},
    {"IdUmlaut", F::Kennung, "größe", true, 85, nullptr, "GRÖßE__", false, &C::StationId, "ABC1234"},
    // The server: only a warning when empty.
    {"ServerEmpty", F::Heronserver, "", true, 85, RemoteConfigTexts::NoServer, "", false, &C::Server,
     "127.0.0.1:2000"},
    {"ServerGiven", F::Heronserver, "server.local:2001", true, 85, nullptr, "server.local:2001", false,
     &C::Server, "127.0.0.1:2000"},
};
INSTANTIATE_TEST_SUITE_P(Fields, RemoteConfigFieldChecks, ::testing::ValuesIn(kFieldCases),
                         [](const ::testing::TestParamInfo<FieldCase> &info) {
                             return std::string(info.param.name);
                         });

TEST_F(RemoteConfigSettingsFixture, ActivationLoadsTheControlsFromTheCopy)
{
    settings.formActivate();
    EXPECT_TRUE(settings.ConfigUnconfirmed());
    EXPECT_EQ(host.state.ConfigState, 1);
    const struct
    {
        F field;
        const char *text;
    } loaded[] = {{F::Tmin, "5"},           {F::Tmax, "30"},
                  {F::TPmin, "-2"},         {F::TPmax, "20"},
                  {F::T_TPmin, "1"},        {F::T_TPmax, "15"},
                  {F::RHmin, "10"},         {F::RHmax, "90"},
                  {F::Kennung, "ABC1234"},  {F::Heronserver, "127.0.0.1:2000"},
                  {F::Alarmintervall, "4"}, {F::CPUMaxtemp, "10"}};
    for (const auto &l : loaded)
        EXPECT_EQ(view.fieldText(l.field), u(l.text)) << int(l.field);
    EXPECT_TRUE(view.checks.ri);
    EXPECT_FALSE(view.checks.dc);
    // Locked identifier: box cleared, read-only, inactive-caption colour.
    EXPECT_FALSE(view.modifyKennungBox);
    EXPECT_TRUE(view.identifierReadOnly);
    EXPECT_EQ(view.colours, QList<IdentifierColour>{IdentifierColour::InactiveCaptionText});

    // Unlocked: ticking the box runs its handler before the writable look.
    host.state.StationIdLocked = false;
    view.colours.clear();
    settings.formActivate();
    EXPECT_TRUE(view.modifyKennungBox);
    EXPECT_FALSE(view.identifierReadOnly);
    EXPECT_EQ(view.colours,
              (QList<IdentifierColour>{IdentifierColour::SystemWindow, IdentifierColour::CaptionText}));
    EXPECT_FALSE(host.state.StationIdLocked);
}

TEST_F(RemoteConfigSettingsFixture, OkCopiesWhatTheControlsHoldAndRequestsTheSend)
{
    settings.formActivate();
    view.setFieldText(F::Tmin, u(" 7,5 "));
    view.setFieldText(F::Tmax, QString());
    view.setFieldText(F::Kennung, u("xy"));
    view.setFieldText(F::Heronserver, u("server.local:2001"));
    view.setFieldText(F::Alarmintervall, u("12"));
    view.checks.dc = true;
    settings.okClick();
    settings.formDeactivate();

    EXPECT_TRUE(view.messages.isEmpty()) << view.messages.join('|').toStdString();
    EXPECT_EQ(config().TempMin, u(" 7,5 "));
    EXPECT_EQ(config().TempMax, QString()); // empty: no limit
    EXPECT_EQ(config().StationId, u("XY_____"));
    EXPECT_EQ(config().Server, u("server.local:2001"));
    EXPECT_EQ(config().AlarmInterval, u("12"));
    EXPECT_EQ(config().ComPort, u("COM3:")); // not the dialog's
    EXPECT_TRUE(host.checks.dc);
    EXPECT_EQ(host.contactWrites, 1);
    EXPECT_TRUE(host.state.ConfigSendRequested);
}

TEST_F(RemoteConfigSettingsFixture, RejectionAtOkGivesAnEmptyCopyAndNoSend)
{
    settings.formActivate();
    view.setFieldText(F::TPmax, u("abc"));
    settings.okClick();
    settings.formDeactivate();
    EXPECT_EQ(view.messages, QStringList{u(RemoteConfigTexts::TPmaxNotFloat)});
    EXPECT_EQ(config().TPMax, QString());
    EXPECT_TRUE(settings.InputRejected());
    EXPECT_FALSE(host.state.ConfigSendRequested);

    // A mark from editing also holds the send back, however the value ends.
    settings.clearInputRejected();
    settings.formActivate();
    view.setFieldText(F::Tmin, u("kalt"));
    settings.limitExit(F::Tmin);
    view.setFieldText(F::Tmin, u("3"));
    settings.okClick();
    settings.formDeactivate();
    EXPECT_EQ(config().TempMin, u("3"));
    EXPECT_FALSE(host.state.ConfigSendRequested);
}

TEST_F(RemoteConfigSettingsFixture, CancelAndDeactivationWhileOpenCopyNothing)
{
    settings.formActivate();
    view.setFieldText(F::Tmin, u("1"));
    view.checks.dc = true;
    settings.formDeactivate(); // the user switches to another program
    settings.cancelClick();
    settings.formDeactivate();
    EXPECT_EQ(config().TempMin, u("5"));
    EXPECT_EQ(host.contactWrites, 0);
    EXPECT_FALSE(host.state.ConfigSendRequested);
    EXPECT_TRUE(settings.ConfigUnconfirmed());

    settings.formCreate();
    EXPECT_FALSE(settings.InputRejected());
}

TEST_F(RemoteConfigSettingsFixture, ModifyKennungDrivesTheLockAndTheColourOnly)
{
    settings.formActivate();
    view.colours.clear();
    view.setModifyKennung(true);
    EXPECT_FALSE(host.state.StationIdLocked);
    EXPECT_TRUE(view.identifierReadOnly); // until the next showing
    view.setModifyKennung(false);
    EXPECT_TRUE(host.state.StationIdLocked);
    EXPECT_EQ(view.colours,
              (QList<IdentifierColour>{IdentifierColour::SystemWindow, IdentifierColour::Silver}));
}

// Whether another thread could take ConfigSection while a message shows.
bool sectionFreeDuringMessage(RecordingRemoteConfigView &view, RemoteStationState &state,
                              const std::function<void()> &run)
{
    std::atomic<bool> took{false};
    view.onMessage = [&](const QString &) {
        std::thread t([&] {
            took = state.ConfigSection.tryLock(50);
            if (took)
                state.ConfigSection.unlock();
        });
        t.join();
    };
    run();
    view.onMessage = nullptr;
    return took;
}

TEST_F(RemoteConfigSettingsFixture, TheCloseHoldsTheSectionTheCpuCheckAloneShowsWithout)
{
    settings.formActivate();
    view.setFieldText(F::Heronserver, QString());
    settings.okClick();
    // While the close copies, the connection thread cannot read a half-made copy.
    EXPECT_FALSE(sectionFreeDuringMessage(view, host.state, [&] { settings.formDeactivate(); }));
    EXPECT_TRUE(host.state.ConfigSection.tryLock()); // released at the end
    host.state.ConfigSection.unlock();

    // Left while editing, the range message of the CPU distance comes
    // without the section.
    view.setFieldText(F::CPUMaxtemp, u("90"));
    EXPECT_TRUE(sectionFreeDuringMessage(view, host.state, [&] { settings.cpuMaxtempExit(); }));
    EXPECT_TRUE(settings.InputRejected());
}

} // namespace

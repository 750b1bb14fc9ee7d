#include "AlarmEvaluationTestSupport.h"

#include <vector>

using Q = AlarmEvaluation::Quantity;

namespace {

const char *name(ColourState c)
{
    switch (c) {
    case ColourState::Green:
        return "green";
    case ColourState::Red:
        return "red";
    case ColourState::Pink:
        return "pink";
    }
    return "?";
}

} // namespace

// ------------------------------------------------------------------ limits

// Readable names for table cases: their "what" text, letters and digits only.
struct CaseName
{
    template<typename P>
    std::string operator()(const ::testing::TestParamInfo<P> &info) const
    {
        std::string n = std::to_string(info.index);
        for (const char *c = info.param.what; *c; ++c)
            n += std::isalnum(static_cast<unsigned char>(*c)) ? *c : '_';
        return n;
    }
};

struct LimitCase
{
    const char *what;
    Q quantity;
    const char *minText;
    const char *maxText;
    double value;
    ColourState colour;
    quint32 bitAfterDelay; // 0: nothing raised
};

class LimitColours : public EvaluationFixture, public ::testing::WithParamInterface<LimitCase>
{
};

// Sets the limit texts of one quantity and evaluates it with the value while
// the other quantities stay without limits.
TEST_P(LimitColours, ColourAndRaisedBit)
{
    const LimitCase &c = GetParam();
    QByteArray *texts[][2] = {{&core.config.TempMin, &core.config.TempMax},
                              {&core.config.TPMin, &core.config.TPMax},
                              {&core.config.TTPMin, &core.config.TTPMax},
                              {&core.config.RHMin, &core.config.RHMax}};
    *texts[static_cast<int>(c.quantity)][0] = c.minText;
    *texts[static_cast<int>(c.quantity)][1] = c.maxText;

    double T = 20.0, RH = 50.0, TP = 10.0;
    switch (c.quantity) {
    case Q::T:
        T = c.value;
        break;
    case Q::TP:
        TP = c.value;
        break;
    case Q::T_TP:
        TP = T - c.value;
        break;
    case Q::RH:
        RH = c.value;
        break;
    case Q::Cpu:
        break;
    }
    for (int i = 0; i < 10; ++i)
        evaluate(T, RH, TP);

    EXPECT_STREQ(name(eval.colour(c.quantity)), name(c.colour)) << c.what;
    EXPECT_EQ(core.state.AlarmFlags, c.bitAfterDelay) << c.what;
    for (Q other : {Q::T, Q::TP, Q::T_TP, Q::RH}) {
        if (other != c.quantity) {
            EXPECT_EQ(eval.colour(other), ColourState::Green);
        }
    }
}

INSTANTIATE_TEST_SUITE_P(
    Table, LimitColours,
    ::testing::Values(
        LimitCase{"max 25, 24.9", Q::T, "", "25", 24.9, ColourState::Green, 0},
        LimitCase{"max 25, 25.0 is not above", Q::T, " ", "25", 25.0, ColourState::Green, 0},
        LimitCase{"max 25, 25.01", Q::T, "", "25", 25.01, ColourState::Red, AlarmBit::TempHigh},
        LimitCase{"min 10, 10.0 is not below", Q::T, "10", "25", 10.0, ColourState::Green, 0},
        LimitCase{"min 10, 9.99", Q::T, "10", "25", 9.99, ColourState::Pink, AlarmBit::TempLow},
        LimitCase{"blanks around the text", Q::T, "", "  25,5  ", 25.6, ColourState::Red,
                  AlarmBit::TempHigh},
        LimitCase{"point is no decimal separator in German: 0.0", Q::T, "", "25.5", 0.5,
                  ColourState::Red, AlarmBit::TempHigh},
        LimitCase{"unconvertible text counts as 0.0", Q::T, "zehn", "", -0.5, ColourState::Pink,
                  AlarmBit::TempLow},
        LimitCase{"\"nan\" is no number: a minimum of 0.0", Q::T, "nan", "", 20.0,
                  ColourState::Green, 0},
        LimitCase{"\"inf\" is no number: a maximum of 0.0", Q::T, "", "inf", 0.5,
                  ColourState::Red, AlarmBit::TempHigh},
        LimitCase{"an overflowing number counts as 0.0", Q::RH, "", "1e999", 0.5,
                  ColourState::Red, AlarmBit::HumidityHigh},
        LimitCase{"dew point above", Q::TP, "0", "12", 12.5, ColourState::Red,
                  AlarmBit::DewPointHigh},
        LimitCase{"dew point below", Q::TP, "0", "12", -0.1, ColourState::Pink,
                  AlarmBit::DewPointLow},
        LimitCase{"distance below", Q::T_TP, "3", "", 2.5, ColourState::Pink,
                  AlarmBit::DistanceLow},
        LimitCase{"distance above", Q::T_TP, "", "15", 15.5, ColourState::Red,
                  AlarmBit::DistanceHigh},
        LimitCase{"humidity above", Q::RH, "30", "70", 70.01, ColourState::Red,
                  AlarmBit::HumidityHigh},
        LimitCase{"humidity below", Q::RH, "30", "70", 29.0, ColourState::Pink,
                  AlarmBit::HumidityLow},
        LimitCase{"humidity at its minimum", Q::RH, "30", "70", 30.0, ColourState::Green, 0},
        LimitCase{"humidity at its maximum", Q::RH, "30", "70", 70.0, ColourState::Green, 0}),
    CaseName());

TEST_F(EvaluationFixture, LimitsFollowTheLocaleNumberFormat)
{
    core.config.TempMax = "25.5";
    evaluate(25.6);
    EXPECT_EQ(eval.colour(Q::T), ColourState::Red); // German: "25.5" is 0.0
    EXPECT_DOUBLE_EQ(core.state.AlarmT.MaxLimit, 0.0);
    {
        ScopedLocale english{QLocale(QLocale::English, QLocale::UnitedStates)};
        evaluate(25.4);
        EXPECT_EQ(eval.colour(Q::T), ColourState::Green);
        evaluate(25.6);
        EXPECT_EQ(eval.colour(Q::T), ColourState::Red);
        EXPECT_DOUBLE_EQ(core.state.AlarmT.MaxLimit, 25.5);
        // Thousands separators are no part of a limit.
        core.config.TempMax = "1,000";
        evaluate(25.6);
        EXPECT_DOUBLE_EQ(core.state.AlarmT.MaxLimit, 0.0);
    }
}

TEST_F(EvaluationFixture, RaisingStoresValueTimeAndErrorLabelOncePerKind)
{
    core.config.RHMax = "70";
    core.state.MeasureTime = "01.03.11 08:31:00";
    for (int i = 0; i < 9; ++i)
        evaluate(20.0, 80.0);
    EXPECT_EQ(core.state.AlarmFlags, 0u);
    EXPECT_TRUE(view.signals_.isEmpty());
    clock.advance(3000);
    evaluate(20.0, 81.5);
    EXPECT_EQ(core.state.AlarmFlags, AlarmBit::HumidityHigh);
    EXPECT_EQ(core.state.AlarmRH.AlarmTime, 53.0L);
    EXPECT_DOUBLE_EQ(core.state.AlarmRH.Value, 81.5);
    EXPECT_DOUBLE_EQ(core.state.AlarmRH.MaxLimit, 70.0);
    EXPECT_EQ(view.lastErrorText, "ErrTime: 01.03.11 08:31:00");
    EXPECT_EQ(view.lastErrorColour, Colours::Red);
    ASSERT_EQ(view.signals_.size(), 1);
    EXPECT_EQ(view.signals_[0].intervalMs, 1500);
    EXPECT_TRUE(view.signals_[0].focus);

    // While the bit is set the kind is not raised again.
    clock.advance(3000);
    evaluate(20.0, 90.0);
    EXPECT_EQ(core.state.AlarmRH.AlarmTime, 53.0L);
    EXPECT_DOUBLE_EQ(core.state.AlarmRH.Value, 81.5);
    EXPECT_EQ(view.lastErrorSets, 1);

    // Once the reporting side cleared it, the next evaluation raises again;
    // Timer5 still runs, so the window is not signalled a second time.
    core.state.AlarmFlags = 0;
    evaluate(20.0, 91.0);
    EXPECT_EQ(core.state.AlarmFlags, AlarmBit::HumidityHigh);
    EXPECT_DOUBLE_EQ(core.state.AlarmRH.Value, 91.0);
    EXPECT_EQ(view.signals_.size(), 1);
    // Once Timer5 was stopped (acknowledged), a new alarm signals the window
    // again.
    view.timer5 = false;
    core.state.AlarmFlags = 0;
    evaluate(20.0, 91.0);
    EXPECT_EQ(view.signals_.size(), 2);
}

// ----------------------------------------------------- counting and delay

struct DelayCase
{
    const char *what;
    bool afterSensorStop;
    const char *sequence; // R: above the maximum, G: within
    int raisedAt;         // 1-based evaluation that raises; 0: none
};

class AlarmDelay : public EvaluationFixture, public ::testing::WithParamInterface<DelayCase>
{
};

TEST_P(AlarmDelay, RaisesAfterConsecutiveNonGreenEvaluations)
{
    const DelayCase &c = GetParam();
    core.config.TempMax = "25";
    if (c.afterSensorStop) {
        // What the port loop does when it finds polling switched off.
        core.state.AlarmDelay = 5;
        core.state.AlarmT.RedCount = 0;
        eval.onSensorStop();
    }
    int raisedAt = 0;
    int n = 0;
    for (const char *p = c.sequence; *p; ++p) {
        ++n;
        evaluate(*p == 'R' ? 26.0 : 20.0);
        if (raisedAt == 0 && (core.state.AlarmFlags & AlarmBit::TempHigh))
            raisedAt = n;
    }
    EXPECT_EQ(raisedAt, c.raisedAt) << c.what;
}

INSTANTIATE_TEST_SUITE_P(
    Table, AlarmDelay,
    ::testing::Values(DelayCase{"ten after thread start", false, "RRRRRRRRRR", 10},
                      DelayCase{"nine are not enough", false, "RRRRRRRRR", 0},
                      DelayCase{"one green restarts the count", false, "RRRRRRRRRGRRRRRRRRRR", 20},
                      DelayCase{"five after a sensor stop", true, "RRRRR", 5},
                      DelayCase{"four after a stop are not enough", true, "RRRRGRRRR", 0}),
    CaseName());

TEST_F(EvaluationFixture, SensorStopForgetsTheKindOfAKeptColour)
{
    // A value whose colour survives a sensor stop without a valid reading has
    // no crossing on record and raises nothing.
    core.config.TPMax = "12";
    evaluate(20.0, 50.0, 13.0);
    EXPECT_EQ(eval.kind(Q::TP), AlarmBit::DewPointHigh);
    eval.onSensorStop();
    core.state.AlarmDelay = 5;
    core.state.AlarmTP.RedCount = 0;
    for (int i = 0; i < 6; ++i)
        evaluate(20.0, 50.0, 13.0, false);
    EXPECT_EQ(eval.colour(Q::TP), ColourState::Red);
    EXPECT_EQ(core.state.AlarmTP.RedCount, 6);
    EXPECT_EQ(core.state.AlarmFlags, 0u);
    EXPECT_EQ(core.state.AlarmTP.AlarmTime, 0.0L);
}

// -------------------------------------------------------------- rise rule

TEST_F(EvaluationFixture, TemperatureRiseRestartsTheAlarm)
{
    core.config.TempMax = "25";
    core.state.ReportedAlarmFlags = AlarmBit::TempHigh | AlarmBit::Input1;
    core.state.FiledAlarmFlags = AlarmBit::TempHigh | AlarmBit::Input1;

    evaluate(30.0);
    EXPECT_DOUBLE_EQ(eval.lastRiseTemp(), 30.0);
    evaluate(30.5); // not more than half a degree
    for (int i = 0; i < 8; ++i)
        evaluate(30.4);
    EXPECT_TRUE(view.lines.isEmpty());
    ASSERT_EQ(core.state.AlarmFlags, AlarmBit::TempHigh);
    const TickSeconds first = core.state.AlarmT.AlarmTime;
    EXPECT_DOUBLE_EQ(core.state.AlarmT.Value, 30.4);

    clock.advance(2000);
    evaluate(30.6);
    const QByteArray rise = Text8::cp("!!!Temperaturanstieg 30,00 -> 30,60");
    EXPECT_EQ(view.lines, QList<QByteArray>{rise});
    EXPECT_TRUE(logTexts().contains("!!!Temperaturanstieg 30,00 -> 30,60"));
    // Cleared everywhere and raised anew in the same evaluation.
    EXPECT_EQ(core.state.AlarmFlags, AlarmBit::TempHigh);
    EXPECT_EQ(core.state.ReportedAlarmFlags, AlarmBit::Input1);
    EXPECT_EQ(core.state.FiledAlarmFlags, AlarmBit::Input1);
    EXPECT_EQ(core.state.AlarmT.AlarmTime, first + 2.0L);
    EXPECT_DOUBLE_EQ(core.state.AlarmT.Value, 30.6);
    EXPECT_DOUBLE_EQ(eval.lastRiseTemp(), 30.6);

    // Less than half a degree above the last step: nothing.
    evaluate(31.0);
    EXPECT_EQ(view.lines.size(), 1);

    // Back within the band forgets the starting point; the next crossing
    // only records a new one.
    evaluate(24.0);
    EXPECT_DOUBLE_EQ(eval.lastRiseTemp(), -1000.0);
    evaluate(27.0);
    EXPECT_EQ(view.lines.size(), 1);
    EXPECT_DOUBLE_EQ(eval.lastRiseTemp(), 27.0);
}

TEST_F(EvaluationFixture, RiseBeforeTheDelayClearsWithoutRaising)
{
    ScopedLocale english{QLocale(QLocale::English, QLocale::UnitedStates)};
    core.config.TempMax = "25";
    core.state.AlarmFlags = AlarmBit::TempHigh; // an earlier alarm still pending
    core.state.AlarmT.AlarmTime = 40.0L;
    evaluate(26.0);
    evaluate(27.25);
    EXPECT_EQ(view.lines, QList<QByteArray>{"!!!Temperaturanstieg 26.00 -> 27.25"});
    EXPECT_EQ(core.state.AlarmFlags, 0u);
    EXPECT_EQ(core.state.AlarmT.AlarmTime, 0.0L);
}

// ------------------------------------------------------ invalid readings

struct InvalidCase
{
    const char *what;
    const char *minText;
    const char *maxText;
    double storedMax; // AlarmT.MaxLimit before the reading
    double T;
    ColourState colour;
    double maxAfter;
    double minAfter;
};

class InvalidReading : public EvaluationFixture, public ::testing::WithParamInterface<InvalidCase>
{
};

TEST_P(InvalidReading, ComparedWithTheStoredBounds)
{
    const InvalidCase &c = GetParam();
    core.config.TempMin = c.minText;
    core.config.TempMax = c.maxText;
    core.state.AlarmT.MaxLimit = c.storedMax;
    {
        SharedDataLock lock(core.semaphore);
        eval.markTemperatureImplausible(c.T);
    }
    evaluate(c.T, 50.0, 10.0, false);
    EXPECT_STREQ(name(eval.colour(Q::T)), name(c.colour)) << c.what;
    EXPECT_DOUBLE_EQ(core.state.AlarmT.MaxLimit, c.maxAfter) << c.what;
    EXPECT_DOUBLE_EQ(core.state.AlarmT.MinLimit, c.minAfter) << c.what;
    // No rise step is taken from an invalid reading.
    EXPECT_DOUBLE_EQ(eval.lastRiseTemp(), -1000.0);
}

INSTANTIATE_TEST_SUITE_P(
    Table, InvalidReading,
    ::testing::Values(
        InvalidCase{"no texts: green", "", "", 0.0, 150.0, ColourState::Green, 100.0, 0.0},
        InvalidCase{"above 100 with a maximum", "", "25", 0.0, 150.0, ColourState::Red, 100.0, 0.0},
        InvalidCase{"below -25 with a minimum", "10", "", 0.0, -38.4, ColourState::Pink, 0.0, -25.0},
        InvalidCase{"a jump judged by the bound stored last", "", "25", 50.0, 40.0,
                    ColourState::Green, 50.0, 0.0},
        InvalidCase{"a jump above the bound stored last", "", "25", 25.0, 40.0, ColourState::Red,
                    25.0, 0.0}),
    CaseName());

TEST_F(EvaluationFixture, InvalidReadingKeepsTheOtherColours)
{
    core.config.TPMax = "12";
    core.config.RHMin = "30";
    evaluate(20.0, 20.0, 13.0);
    ASSERT_EQ(eval.colour(Q::TP), ColourState::Red);
    ASSERT_EQ(eval.colour(Q::RH), ColourState::Pink);
    evaluate(20.0, 50.0, 5.0, false);
    EXPECT_EQ(eval.colour(Q::TP), ColourState::Red);
    EXPECT_EQ(eval.colour(Q::RH), ColourState::Pink);
    EXPECT_EQ(eval.colour(Q::T_TP), ColourState::Green); // no limits: green
}

// --------------------------------------------------------------- contacts

TEST_F(EvaluationFixture, UnwatchedActiveContactLatchesButRaisesNothing)
{
    sample(true, true);
    EXPECT_EQ(core.state.AlarmRI.Active, 1);
    EXPECT_EQ(core.state.AlarmDC.Active, 1);
    EXPECT_EQ(view.contactChecked[1], true);
    EXPECT_EQ(view.contactColour[1], Colours::BtnFace);
    evaluate(20.0);
    EXPECT_EQ(core.state.AlarmFlags, 0u);
    EXPECT_EQ(eval.contactColour(1), ColourState::Green);
    EXPECT_EQ(eval.contactColour(2), ColourState::Green);
    EXPECT_TRUE(view.signals_.isEmpty());
    // Latched until the records were written (the first evaluation writes
    // them, so the latch is visible in the record and cleared afterwards).
    EXPECT_TRUE(recordFile().contains("015.g1.00; ;;21;ABC1234\r\n"));
    EXPECT_TRUE(recordFile().contains("016.g1.00; ;;21;ABC1234\r\n"));
    EXPECT_EQ(core.state.AlarmRI.Latched, 0);
}

TEST_F(EvaluationFixture, WatchedContactRaisesAtOnceAndLatches)
{
    core.config.CheckDC = true;
    clock.advance(1000);
    sample(false, true);
    EXPECT_EQ(core.state.AlarmFlags, AlarmBit::Input2);
    EXPECT_EQ(core.state.AlarmDC.AlarmTime, 51.0L);
    EXPECT_EQ(core.state.AlarmDC.Count, 1);
    EXPECT_EQ(view.contactChecked[2], true);
    EXPECT_EQ(view.contactColour[2], Colours::Red);
    EXPECT_EQ(view.contactChecked[1], false);
    EXPECT_EQ(view.contactColour[1], Colours::BtnFace);
    ASSERT_EQ(view.signals_.size(), 1);
    EXPECT_EQ(view.signals_[0].intervalMs, 1500);
    EXPECT_TRUE(view.signals_[0].focus);

    // Still active: counted, no new alarm time, no new signal.
    clock.advance(2000);
    sample(false, true);
    EXPECT_EQ(core.state.AlarmDC.Count, 2);
    EXPECT_EQ(core.state.AlarmDC.AlarmTime, 51.0L);
    EXPECT_EQ(view.signals_.size(), 1);
    evaluate(20.0);
    EXPECT_EQ(eval.contactColour(2), ColourState::Red);
    EXPECT_TRUE(recordFile().contains("016.r1.00; ;;21;ABC1234\r\n"));

    // The reporting side expired the alarm (time 0, bit cleared); the
    // measurement thread zeroes the count before the query; the input, still
    // active, is raised again and signalled even though Timer5 runs.
    core.state.AlarmDC.AlarmTime = 0;
    core.state.AlarmFlags = 0;
    core.state.AlarmDC.Count = 0;
    sample(false, true, true);
    EXPECT_EQ(core.state.AlarmFlags, AlarmBit::Input2);
    ASSERT_EQ(view.signals_.size(), 2);
    EXPECT_EQ(view.signals_[1].intervalMs, 500); // sensor fault: fast
}

TEST_F(EvaluationFixture, ContactGoneInactiveKeepsLatchAndAsksForTheWindow)
{
    core.config.CheckRI = true;
    sample(true, false);
    evaluate(20.0);
    EXPECT_EQ(core.state.AlarmRI.Latched, 0); // written with the records due at start
    sample(true, false);
    evaluate(20.0);
    EXPECT_EQ(core.state.AlarmRI.Latched, 1);
    view.acknowledge();
    sample(false, false);
    EXPECT_EQ(core.state.AlarmRI.Active, 0);
    EXPECT_EQ(core.state.AlarmRI.AlarmTime, 0.0L);
    EXPECT_EQ(core.state.AlarmRI.Count, 0);
    EXPECT_EQ(view.contactChecked[1], false);
    EXPECT_EQ(view.contactColour[1], Colours::Lime);
    ASSERT_EQ(view.signals_.size(), 1);

    // The latch holds the activity; with the bit still pending and no alarm
    // time the evaluation counts as raised and signals the window.
    evaluate(20.0);
    EXPECT_EQ(core.state.AlarmRI.Latched, 1);
    EXPECT_EQ(eval.contactColour(1), ColourState::Green);
    EXPECT_EQ(view.signals_.size(), 2);
}

TEST_F(EvaluationFixture, UnreadableContactStatusChangesNothingButActive)
{
    core.config.CheckRI = true;
    sample(true, false);
    const TickSeconds since = core.state.AlarmRI.AlarmTime;
    sample(std::nullopt, std::nullopt);
    EXPECT_EQ(core.state.AlarmRI.Active, 0);
    EXPECT_EQ(core.state.AlarmRI.Count, 1);
    EXPECT_EQ(core.state.AlarmRI.AlarmTime, since);
    EXPECT_EQ(view.contactColour[1], Colours::Red);
    EXPECT_EQ(view.signals_.size(), 1);
}

// -------------------------------------------------------------------- CPU

struct CpuCase
{
    qint32 cpuTemp;
    qint32 limit;
    const char *text;
    QColor background;
    QColor font;
};

class CpuDisplay : public EvaluationFixture, public ::testing::WithParamInterface<CpuCase>
{
};

TEST_P(CpuDisplay, TextAndColours)
{
    const CpuCase &c = GetParam();
    core.state.CpuTemp = c.cpuTemp;
    core.state.CpuTempLimit = c.limit;
    evaluate(20.0);
    EXPECT_EQ(view.texts[ValueDisplay::CpuTemp], Text8::cp(c.text));
    EXPECT_EQ(view.backgrounds[ValueDisplay::CpuTemp], c.background);
    EXPECT_EQ(view.colours[ValueDisplay::CpuTemp], c.font);
}

INSTANTIATE_TEST_SUITE_P(
    Table, CpuDisplay,
    ::testing::Values(CpuCase{0, 95, "<nicht verfügbar>", Colours::Silver, Colours::Black},
                      CpuCase{-3, 95, "<nicht verfügbar>", Colours::Silver, Colours::Black},
                      CpuCase{66, 95, "66", QColor(255, 255, 255), Colours::Green},
                      CpuCase{95, 95, "95", QColor(255, 255, 255), Colours::Green},
                      CpuCase{96, 95, "96", QColor(255, 255, 255), Colours::Red}),
    [](const ::testing::TestParamInfo<CpuCase> &info) {
        const auto number = [](qint32 v) { return v < 0 ? "minus" + std::to_string(-v) : std::to_string(v); };
        return std::to_string(info.index) + "cpu" + number(info.param.cpuTemp) + "_limit" +
               number(info.param.limit);
    });

TEST_F(EvaluationFixture, CpuAlarmAndTheReadingForTheNextEvaluation)
{
    core.state.CpuTempLimit = 80;
    core.state.CpuTemp = 81;
    int reads = 0;
    eval.setCpuReader([&] {
        ++reads;
        // The reading comes after the display and may overwrite it.
        view.texts[ValueDisplay::CpuTemp] = "<<nicht verfügbar>>";
    });
    for (int i = 0; i < 10; ++i)
        evaluate(20.0);
    EXPECT_EQ(reads, 10);
    EXPECT_EQ(view.texts[ValueDisplay::CpuTemp], "<<nicht verfügbar>>");
    EXPECT_EQ(core.state.AlarmFlags, AlarmBit::Cpu);
    EXPECT_NE(core.state.AlarmCpu.AlarmTime, 0.0L);
    // A sensor stop does not forget the CPU count.
    eval.onSensorStop();
    EXPECT_EQ(eval.kind(Q::Cpu), AlarmBit::Cpu);
}

// --------------------------------------------------------------- displays

TEST_F(EvaluationFixture, DisplaysShowTwoDecimalsInTheLocaleFormat)
{
    core.config.TTPMin = "10";
    core.state.MeasureTime = "01.03.11 08:30:02";
    evaluate(19.4, 52.4268, 9.4551);
    EXPECT_EQ(view.texts[ValueDisplay::T], "19,40");
    EXPECT_EQ(view.texts[ValueDisplay::RH], "52,43");
    EXPECT_EQ(view.texts[ValueDisplay::TP], "9,46");
    EXPECT_EQ(view.texts[ValueDisplay::T_TP], "9,94");
    EXPECT_EQ(view.colours[ValueDisplay::T], Colours::Green);
    EXPECT_EQ(view.colours[ValueDisplay::T_TP], Colours::Fuchsia);
    EXPECT_EQ(view.lastConnection, "Zeitpunkt: 01.03.11 08:30:02");
}

// ------------------------------------------------------------ sensor fault

TEST_F(EvaluationFixture, SensorFaultFreezesCountingDisplayAndMessages)
{
    core.config.TempMax = "25";
    core.config.CheckRI = true;
    for (int i = 0; i < 5; ++i)
        evaluate(26.0);
    ASSERT_EQ(core.state.AlarmT.RedCount, 5);
    const auto textsBefore = view.texts;
    const auto logBefore = logTexts();

    // A contact sampled during the fault: its alarm is raised at sampling,
    // but the latch and the contact colour wait for a fault-free evaluation.
    sample(true, false, true);
    for (int i = 0; i < 10; ++i)
        evaluate(i % 2 ? 20.0 : 26.0, 50.0, 10.0, true, true);
    EXPECT_EQ(core.state.AlarmT.RedCount, 5);
    EXPECT_EQ(core.state.AlarmFlags, AlarmBit::Input1);
    EXPECT_EQ(core.state.AlarmRI.Latched, 0);
    EXPECT_EQ(eval.contactColour(1), ColourState::Green);
    EXPECT_EQ(view.texts, textsBefore);
    EXPECT_EQ(logTexts(), logBefore);
    EXPECT_FALSE(core.state.ImmediateReport.load());
    // The window is signalled fast (the contact's signal came first here).
    ASSERT_EQ(view.signals_.size(), 1);
    EXPECT_EQ(view.signals_[0].intervalMs, 500);

    view.acknowledge();
    evaluate(30.0, 50.0, 10.0, true, true);
    ASSERT_EQ(view.signals_.size(), 2);
    EXPECT_EQ(view.signals_[1].intervalMs, 500);
    EXPECT_TRUE(view.signals_[1].focus);

    // After the fault the count goes on where it stopped.
    evaluate(26.0);
    EXPECT_EQ(core.state.AlarmT.RedCount, 6);
    EXPECT_EQ(core.state.AlarmRI.Latched, 1);
}

// ------------------------------------------------------- colour changes

TEST_F(EvaluationFixture, ColourChangeLogLinesAndImmediateReport)
{
    core.config.TempMax = "25";
    const auto report = [&] { return core.state.ImmediateReport.exchange(false); };

    // Away from green without a pending alarm: only the records are due.
    evaluate(20.0);
    ASSERT_EQ(recordLines(), 7);
    evaluate(20.0);
    ASSERT_EQ(recordLines(), 7);
    evaluate(26.0);
    EXPECT_TRUE(logTexts().isEmpty());
    EXPECT_FALSE(report());
    EXPECT_EQ(recordLines(), 14);
    for (int i = 0; i < 9; ++i)
        evaluate(26.0);
    ASSERT_EQ(core.state.AlarmFlags, AlarmBit::TempHigh);

    // Every return to green is logged and reported.
    evaluate(20.0);
    EXPECT_EQ(logTexts(), QList<QByteArray>{"Temperatur wechselt von ROT->GRÜN"});
    EXPECT_TRUE(report());
    EXPECT_EQ(recordLines(), 21);

    // Away from green while the earlier alarm is still pending.
    evaluate(26.0);
    EXPECT_EQ(logTexts().last(), "Temperatur wechselt von GRÜN->ROT");
    EXPECT_TRUE(report());

    // Nothing goes to the activity list.
    EXPECT_TRUE(view.lines.isEmpty());
}

TEST_F(EvaluationFixture, NoChangeMessagesInAnEvaluationThatRaises)
{
    core.config.RHMax = "70";
    core.config.TPMax = "12";
    for (int i = 0; i < 9; ++i)
        evaluate(20.0, 80.0, 13.0);
    core.state.AlarmFlags = AlarmBit::DewPointHigh; // dew point reported long ago
    // Tenth: humidity is raised; the dew point back to green is not logged.
    evaluate(20.0, 80.0, 11.0);
    EXPECT_EQ(core.state.AlarmFlags, AlarmBit::DewPointHigh | AlarmBit::HumidityHigh);
    EXPECT_TRUE(logTexts().isEmpty());
    EXPECT_FALSE(core.state.ImmediateReport.load());
    EXPECT_EQ(eval.previousColour(Q::TP), ColourState::Green);
}

struct ChangeCase
{
    const char *what;
    const char *minText;
    const char *maxText;
    double first;
    double second;
    const char *logged;
};

class ColourChange : public EvaluationFixture, public ::testing::WithParamInterface<ChangeCase>
{
};

TEST_P(ColourChange, EachQuantityLogsItsOwnWords)
{
    const ChangeCase &c = GetParam();
    core.config.TTPMin = c.minText;
    core.config.TTPMax = c.maxText;
    core.state.AlarmFlags = AlarmBit::DistanceLow | AlarmBit::DistanceHigh;
    evaluate(20.0, 50.0, 20.0 - c.first);
    const auto before = logTexts();
    const qsizetype records = recordLines();
    evaluate(20.0, 50.0, 20.0 - c.second);
    const auto after = logTexts();
    ASSERT_EQ(after.size(), before.size() + 1);
    EXPECT_EQ(after.last(), c.logged);
    EXPECT_TRUE(core.state.ImmediateReport.load());
    EXPECT_EQ(recordLines(), records + 7);
}

INSTANTIATE_TEST_SUITE_P(
    Table, ColourChange,
    ::testing::Values(
        ChangeCase{"green to red", "3", "15", 10.0, 16.0, "T-TP wechselt von GRÜN->ROT"},
        ChangeCase{"pink to green", "3", "15", 2.0, 10.0, "T-TP wechselt von ROT->GRÜN"},
        ChangeCase{"pink straight to red", "3", "15", 2.0, 16.0, "T-TP wechselt von ROSA->ROT"},
        ChangeCase{"red straight to pink", "3", "15", 16.0, 2.0, "T-TP wechselt von ROT->ROSA"}),
    CaseName());

TEST_F(EvaluationFixture, CpuColourChangesAreLogged)
{
    core.state.CpuTempLimit = 80;
    core.state.AlarmFlags = AlarmBit::Cpu;
    core.state.CpuTemp = 81;
    evaluate(20.0);
    core.state.CpuTemp = 70;
    evaluate(20.0);
    EXPECT_EQ(logTexts(), (QList<QByteArray>{"CPU-Temp wechselt von GRÜN->ROT",
                                             "CPU-Temp wechselt von ROT->GRÜN"}));

    // A change that falls into a sensor fault is not logged afterwards: the
    // CPU colour moves on at every evaluation.
    core.state.CpuTemp = 81;
    evaluate(20.0, 50.0, 10.0, true, true);
    evaluate(20.0);
    EXPECT_EQ(logTexts().size(), 2);
}

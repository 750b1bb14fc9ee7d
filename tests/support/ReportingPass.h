#pragma once

#include "common/Clock.h"
#include "common/LocaleFormat.h"
#include "common/Text8.h"
#include "reporting/ReportingTexts.h"
#include "station/StationCore.h"
#include "support/ManualClock.h"
#include "support/RecordingView.h"
#include "support/ScopedLocale.h"
#include "support/ScriptedHERONThread.h"
#include "support/TempDir.h"
#include "support/TestPlatform.h"

#include <gtest/gtest.h>

#include <QDir>

// The reporting thread driven pass by pass on the test's thread: a working
// directory, a manual clock (Tuesday 3 December 2024, 14:05:09 once the start
// wait is over), German settings and a scripted report connection.
class ReportingPass : public ::testing::Test
{
protected:
    static constexpr quint32 kStartTick = 1000000; // 1000 s after boot
    static QDateTime passTime() { return QDateTime(QDate(2024, 12, 3), QTime(14, 5, 9)); }

    ScopedWorkDir work;
    ManualClock clock{kStartTick, passTime().addSecs(-10)};
    ScopedLocale locale{QLocale(QLocale::German, QLocale::Germany)};
    RecordingView view;
    StationCore core{view, platformWith(clock)};
    StationState &s = core.state;
    ScriptedHERONThread thread{core};

    void SetUp() override
    {
        core.config.StationId = "ABC1234";
        core.config.ServerHost = "127.0.0.1";
        core.config.ServerPort = "2000";
        core.config.AlarmInterval = "4";
        s.LastReportTime = clock.tickSeconds();
        thread.threadStart();
        view.lines.clear();
    }

    // Runs one pass; returns how long it waited.
    qint64 pass()
    {
        const qint64 before = clock.totalSlept();
        EXPECT_TRUE(thread.step());
        return clock.totalSlept() - before;
    }

    // Sets the tick so that the pass's tick time is `seconds`.
    void tickAt(long double seconds) { clock.setTick(static_cast<quint32>(std::llround(seconds * 1000.0L))); }

    TickSeconds now() const { return clock.tickSeconds(); }

    QByteArray log() const { return work.read(QStringLiteral("zav_sensor_logfile.log")); }
    bool logged(const char *text) const { return log().contains(Text8::cp(text)); }

    QStringList errorFiles() const
    {
        return QDir(work.path()).entryList({QStringLiteral("ABC1234?.??R")}, QDir::Files, QDir::Name);
    }

    // Every alarm record and bit set back to its start value.
    void clearAlarms()
    {
        s.AlarmFlags = s.FiledAlarmFlags = s.ReportedAlarmFlags = 0;
        s.AlarmT = s.AlarmTP = s.AlarmT_TP = s.AlarmRH = LimitAlarm{};
        s.AlarmRI = s.AlarmDC = InputAlarm{};
        s.AlarmSensor = SensorAlarm{};
        s.AlarmCpu = CpuAlarm{};
    }

    static QByteArray cp(const char *text) { return Text8::cp(text); }
};

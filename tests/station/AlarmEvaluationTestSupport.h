#pragma once

#include "common/LocaleFormat.h"
#include "common/Text8.h"
#include "station/AlarmEvaluation.h"
#include "station/LogFile.h"
#include "station/StationCore.h"
#include "support/ManualClock.h"
#include "support/RecordingNotices.h"
#include "support/RecordingView.h"
#include "support/ScopedLocale.h"
#include "support/TempDir.h"
#include "support/TestPlatform.h"

#include <gtest/gtest.h>

#include <QList>

// A recording view whose Timer5 the test can stop, as the acknowledge
// command does.
class MirroredView : public RecordingView
{
public:
    void acknowledge() { timer5 = false; }
};

// One evaluation object on a fresh core, as after the measurement thread's
// start: delay 10, records due, 1 March 2011 08:30:00 (a Tuesday), German
// number format, a temporary working directory for records and the log.
struct EvaluationFixture : ::testing::Test
{
    ScopedWorkDir dir;
    ManualClock clock{50000, QDateTime(QDate(2011, 3, 1), QTime(8, 30, 0))};
    ScopedLocale german{QLocale(QLocale::German, QLocale::Germany)};
    MirroredView view;
    RecordingNotices notices;
    StationCore core{view, platformWith(clock, &notices)};
    AlarmEvaluation eval{core};

    EvaluationFixture()
    {
        core.config.StationId = "ABC1234";
        core.state.AlarmDelay = 10;
        core.state.MeasureTime = "01.03.11 08:30:00";
        eval.onThreadStart();
    }

    void evaluate(double T, double RH = 50.0, double TP = 10.0, bool valid = true,
                  bool fault = false)
    {
        SharedDataLock lock(core.semaphore);
        eval.evaluate({T, RH, TP, valid, fault});
    }

    void sample(std::optional<bool> in1, std::optional<bool> in2, bool fault = false)
    {
        SharedDataLock lock(core.semaphore);
        eval.sampleContacts(in1, in2, fault);
    }

    // Texts of the log lines, without date, time and tag, as UTF-8.
    QList<QByteArray> logTexts() const
    {
        QList<QByteArray> out;
        const QByteArray tag = " /Sensor/ ";
        for (const QByteArray &line : dir.read("zav_sensor_logfile.log").split('\n')) {
            const qsizetype at = line.indexOf(tag);
            if (at >= 0)
                out.append(Text8::toQString(line.mid(at + tag.size()).chopped(1)).toUtf8());
        }
        return out;
    }

    QByteArray recordFile() const { return dir.read("ABC12342.8MS"); }
    qsizetype recordLines() const { return recordFile().count("\r\n"); }
};

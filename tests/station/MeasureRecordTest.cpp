#include "AlarmEvaluationTestSupport.h"

#include "station/MeasureRecords.h"
#include "support/FailingFileCalls.h"
#include "support/ScopedLocale.h"

#include <cerrno>

#include <limits>

namespace {

// The seven lines of one write at 1 March 2011 08:30:00 local time.
QByteArray line(const char *channelStateValue, const QByteArray &unit)
{
    return QByteArray("$4D6CAE8801") + channelStateValue + ";" + unit + ";;21;ABC1234\r\n";
}

const QByteArray kDeg("\xF8"
                      "C");

} // namespace

TEST_F(EvaluationFixture, RecordsOfOneWriteByteForByte)
{
    core.state.CpuTemp = 66;
    evaluate(19.4, 52.4268, 9.4551);
    const QByteArray expected = line("1.g19.40", kDeg) + line("2.g52.43", "%") + line("3.g9.46", kDeg) +
                                line("4.g9.94", kDeg) + line("5.g0.00", " ") + line("6.g0.00", " ") +
                                line("7.g66.00", kDeg);
    EXPECT_EQ(recordFile(), expected);
    EXPECT_EQ(QDir(dir.path()).entryList({"*.?MS"}), QStringList{"ABC12342.8MS"});
}

TEST_F(EvaluationFixture, RecordStatesFollowColoursAndPlausibility)
{
    ScopedLocale english{QLocale(QLocale::English, QLocale::UnitedStates)};
    core.config.TempMax = "25";
    core.config.RHMin = "60";
    core.config.CheckRI = true;
    core.state.CpuTemp = 90;
    core.state.CpuTempLimit = 80;
    evaluate(19.4, 52.0, 10.0); // humidity pink, CPU red
    QFile::remove(dir.file("ABC12342.8MS"));
    eval.RecordTimerTimer();
    sample(true, true);
    {
        SharedDataLock lock(core.semaphore);
        eval.markTemperatureImplausible(150.0);
    }
    evaluate(150.0, 52.0, 150.0, false);
    const QByteArray records = recordFile();
    EXPECT_TRUE(records.contains("011.p150.00;")) << records.constData();
    // The invalid reading keeps the humidity's colour: pink is written "r".
    EXPECT_TRUE(records.contains("012.r52.00;%;"));
    EXPECT_TRUE(records.contains("013.g150.00;")) << "never p after channel 1";
    EXPECT_TRUE(records.contains("014.g0.00;"));
    EXPECT_TRUE(records.contains("015.r1.00; ;"));
    EXPECT_TRUE(records.contains("016.g1.00; ;"));
    EXPECT_TRUE(records.contains("017.r90.00;"));
}

struct StateCase
{
    int channel;
    double value;
    ColourState colour;
    char state;
};

TEST(MeasureRecords, RecordStateTable)
{
    const StateCase cases[] = {
        {1, 19.4, ColourState::Green, 'g'},   {1, 19.4, ColourState::Red, 'r'},
        {1, 19.4, ColourState::Pink, 'r'},    {1, 100.0, ColourState::Green, 'p'},
        {1, 99.99, ColourState::Red, 'r'},    {1, -25.0, ColourState::Pink, 'r'},
        {1, -25.01, ColourState::Green, 'p'}, {1, -38.4, ColourState::Pink, 'p'},
        {2, 150.0, ColourState::Green, 'g'},  {4, -38.4, ColourState::Red, 'r'},
        {7, 100.0, ColourState::Red, 'r'},
    };
    for (const StateCase &c : cases)
        EXPECT_EQ(MeasureRecords::recordState(c.channel, c.value, c.colour), c.state)
            << "channel " << c.channel << " value " << c.value;
}

TEST(MeasureRecords, FileNameTable)
{
    const struct
    {
        const char *id;
        QDateTime when;
        const char *name;
    } cases[] = {
        {"ABC1234", QDateTime(QDate(2011, 3, 1), QTime(8, 30)), "ABC12342.8MS"}, // Tuesday
        {"ABC1234", QDateTime(QDate(2011, 3, 1), QTime(23, 59)), "ABC12342.NMS"},
        {"ABC1234", QDateTime(QDate(2011, 3, 6), QTime(0, 0)), "ABC12340.0MS"},  // Sunday
        {"ABC1234", QDateTime(QDate(2011, 3, 5), QTime(10, 0)), "ABC12346.AMS"}, // Saturday
        {"ABC1234", QDateTime(QDate(2011, 3, 7), QTime(9, 59)), "ABC12341.9MS"}, // Monday
        {"D2IDIDA", QDateTime(QDate(2011, 3, 2), QTime(15, 1)), "D2IDIDA3.FMS"},
        // Identifiers of another length keep the name's shape.
        {"AB", QDateTime(QDate(2011, 3, 1), QTime(8, 30)), "AB-----2.8MS"},
        {"ABCDEFGHIJ", QDateTime(QDate(2011, 3, 1), QTime(8, 30)), "ABCDEFG2.8MS"},
        // An identifier that is no plain file name (read from an old file)
        // still names a file in the working folder.
        {"../../Z", QDateTime(QDate(2011, 3, 1), QTime(8, 30)), "------Z2.8MS"},
        {"/tmp/rB", QDateTime(QDate(2011, 3, 1), QTime(8, 30)), "-tmp-rB2.8MS"},
        {"..\\..\\Q", QDateTime(QDate(2011, 3, 1), QTime(8, 30)), "------Q2.8MS"},
        {"C:X\x7F\x01", QDateTime(QDate(2011, 3, 1), QTime(8, 30)), "C-X----2.8MS"},
    };
    for (const auto &c : cases)
        EXPECT_EQ(MeasureRecords::fileName(c.id, c.when), c.name) << c.when.toString().toStdString();
    EXPECT_EQ(MeasureRecords::fileName(QByteArray("SI\0M123", 7), QDateTime(QDate(2011, 3, 1), QTime(8, 30))),
              "SI-M1232.8MS");
}

TEST(MeasureRecords, TimestampIsLocalSecondsSince1970InHex)
{
    EXPECT_EQ(MeasureRecords::timestamp(QDateTime(QDate(2011, 3, 1), QTime(8, 30, 0))), "4D6CAE88");
    EXPECT_EQ(MeasureRecords::timestamp(QDateTime(QDate(1970, 1, 1), QTime(0, 0, 10))), "0000000A");
    EXPECT_EQ(MeasureRecords::timestamp(QDateTime(QDate(2011, 3, 1), QTime(23, 59, 59))), "4D6D887F");
}

TEST(MeasureRecords, TwoDecimalFormatTable)
{
    const double nan = std::numeric_limits<double>::quiet_NaN();
    const double inf = std::numeric_limits<double>::infinity();
    const struct
    {
        double value;
        char sep;
        const char *text;
    } cases[] = {
        {19.4, '.', "19.40"},
        {19.4, ',', "19,40"},
        {-5.0, '.', "-5.00"},
        {0.0, '.', "0.00"},
        {1.0, '.', "1.00"},
        {-0.001, '.', "0.00"},
        {9.4551, '.', "9.46"},
        {52.4268, ',', "52,43"},
        {107.5614, '.', "107.56"},
        {9999.996, '.', "10000.00"},
        {12345.678, '.', "12345.70"},
        {123456.7, '.', "123457.00"},
        {1234567.0, '.', "1.23457E6"},
        {-2.5e7, ',', "-2,5E7"},
        {nan, '.', "NAN"},
        {inf, '.', "INF"},
        {-inf, '.', "-INF"},
    };
    for (const auto &c : cases)
        EXPECT_EQ(MeasureRecords::formatFixed2(c.value, c.sep), c.text) << c.value;
}

TEST_F(EvaluationFixture, RecordsUseAPointWhateverTheLocale)
{
    for (const QLocale &loc :
         {QLocale(QLocale::German, QLocale::Germany), QLocale(QLocale::French, QLocale::France),
          QLocale(QLocale::English, QLocale::UnitedKingdom)}) {
        ScopedLocale installed{loc};
        QFile::remove(dir.file("ABC12342.8MS"));
        eval.RecordTimerTimer();
        evaluate(-5.0, 52.5, -8.25);
        const QByteArray records = recordFile();
        EXPECT_TRUE(records.startsWith("$4D6CAE88011.g-5.00;")) << records.constData();
        EXPECT_TRUE(records.contains("012.g52.50;%;"));
        EXPECT_TRUE(records.contains("014.g3.25;"));
    }
}

TEST_F(EvaluationFixture, TransferHoldsTheRecordsBackAndTheWriteRestartsThePeriod)
{
    core.config.CheckRI = true;
    core.state.TransferBusy = true;
    sample(true, false);
    for (int i = 0; i < 3; ++i) {
        evaluate(19.4);
        clock.advance(100000);
    }
    EXPECT_TRUE(recordFile().isEmpty());
    EXPECT_TRUE(eval.recordDue());
    EXPECT_EQ(core.state.AlarmRI.Latched, 1) << "the latch waits for the records";

    // The first evaluation after the transfer writes once and starts a new
    // five-minute period (the one of thread start ended meanwhile).
    core.state.TransferBusy = false;
    sample(false, false);
    evaluate(19.4);
    EXPECT_EQ(recordLines(), 7);
    EXPECT_TRUE(recordFile().contains("015.g1.00; ;"));
    EXPECT_EQ(core.state.AlarmRI.Latched, 0);
    EXPECT_FALSE(eval.recordDue());
    evaluate(19.4);
    EXPECT_EQ(recordLines(), 7);

    clock.advance(299999);
    evaluate(19.4);
    EXPECT_EQ(recordLines(), 7);
    clock.advance(1);
    evaluate(19.4);
    EXPECT_EQ(recordLines(), 14);
    evaluate(19.4);
    EXPECT_EQ(recordLines(), 14);
}

TEST_F(EvaluationFixture, RecordPeriodOutlastsATransferAndTheTickWrap)
{
    clock.setTick(0xFFFFFFFFu - 100000);
    eval.onThreadStart();
    evaluate(19.4);
    ASSERT_EQ(recordLines(), 7);

    // The period ends during a transfer: due, but held back.
    core.state.TransferBusy = true;
    clock.advance(300000); // the tick counter wraps inside this period
    evaluate(19.4);
    EXPECT_EQ(recordLines(), 7);
    EXPECT_TRUE(eval.recordDue());
    clock.advance(120000);
    core.state.TransferBusy = false;
    evaluate(19.4);
    EXPECT_EQ(recordLines(), 14);

    // Measured from that write, not from the end of the last period.
    clock.advance(200000);
    evaluate(19.4);
    EXPECT_EQ(recordLines(), 14);
    clock.advance(100000);
    evaluate(19.4);
    EXPECT_EQ(recordLines(), 21);
}

TEST_F(EvaluationFixture, RecordsFollowTheHourAndAnUnwritableFileHoldsThemBack)
{
    evaluate(19.4);
    clock.setLocalDateTime(QDateTime(QDate(2011, 3, 1), QTime(9, 0, 1)));
    eval.RecordTimerTimer();
    evaluate(19.5);
    EXPECT_EQ(recordLines(), 7);
    EXPECT_EQ(dir.read("ABC12342.9MS").count("\r\n"), 7);
    EXPECT_TRUE(dir.read("ABC12342.9MS").startsWith("$4D6CB59101"));

    // A directory in the way of the file: nothing written, the box once, the
    // set held back until a file can be written again.
    clock.setLocalDateTime(QDateTime(QDate(2011, 3, 1), QTime(10, 0, 0)));
    ASSERT_TRUE(QDir(dir.path()).mkdir("ABC12342.AMS"));
    eval.RecordTimerTimer();
    evaluate(19.6);
    EXPECT_EQ(notices.shown, QList<QByteArray>{"SHIT HAPPENS!"});
    EXPECT_FALSE(eval.recordDue());
    EXPECT_EQ(eval.recordWriter().heldSets(), 1);
    ASSERT_TRUE(QDir(dir.path()).rmdir("ABC12342.AMS"));
    eval.RecordTimerTimer();
    evaluate(19.7);
    const QByteArray records = dir.read("ABC12342.AMS");
    EXPECT_EQ(records.count("\r\n"), 14);
    EXPECT_TRUE(records.startsWith("$4D6CC3A0011.g19.60;")) << records.constData();
    EXPECT_EQ(notices.shown.size(), 1);
}

namespace {

struct RecordFailure
{
    const char *name;
    int openError;
    qint64 spaceLeft;
    int syncError;
    int reason; // errno in the log line
};

// Every line of `bytes` a whole record line of this station.
bool wholeLines(const QByteArray &bytes)
{
    if (!bytes.endsWith("\r\n"))
        return false;
    for (const QByteArray &line : bytes.chopped(1).split('\n'))
        if (!line.startsWith('$') || !line.endsWith(";ABC1234\r"))
            return false;
    return true;
}

} // namespace

TEST_F(EvaluationFixture, RecordSetIsWrittenWholeOrHeldBackForTheNextWrite)
{
    const RecordFailure cases[] = {
        {"disk full inside the first record", 0, 20, 0, ENOSPC},
        {"disk full inside the fifth record", 0, 200, 0, ENOSPC},
        {"disk full", 0, 0, 0, ENOSPC},
        {"read-only folder", EROFS, -1, 0, EROFS},
        {"data not written through", 0, -1, EIO, EIO},
    };
    QList<QByteArray> &boxes = notices.shown;
    ScopedFailingFiles failing;
    failing.calls.match = "MS";
    for (const RecordFailure &c : cases) {
        SCOPED_TRACE(c.name);
        QFile::remove(dir.file("ABC12342.8MS"));
        QFile::remove(dir.file("zav_sensor_logfile.log"));
        boxes.clear();
        eval.RecordTimerTimer();
        evaluate(19.4);
        const QByteArray before = recordFile();
        ASSERT_EQ(before.count("\r\n"), 7);

        failing.calls.openError = c.openError;
        failing.calls.spaceLeft = c.spaceLeft;
        failing.calls.syncError = c.syncError;
        for (const double T : {20.0, 20.5}) {
            clock.advance(1000);
            eval.RecordTimerTimer();
            evaluate(T);
            EXPECT_EQ(recordFile(), before) << "no broken line";
            EXPECT_FALSE(eval.recordDue());
        }
        EXPECT_EQ(eval.recordWriter().heldSets(), 2);
        EXPECT_EQ(boxes, QList<QByteArray>{"SHIT HAPPENS!"}) << "once for the series";
        EXPECT_EQ(logTexts(),
                  QList<QByteArray>{"Messwerte zurückgehalten, Datei nicht schreibbar: ABC12342.8MS: " +
                                    qt_error_string(c.reason).toUtf8()});

        // Writable again: both held sets, then the new one, in one write.
        failing.calls.openError = 0;
        failing.calls.spaceLeft = -1;
        failing.calls.syncError = 0;
        clock.advance(1000);
        eval.RecordTimerTimer();
        evaluate(21.0);
        const QByteArray records = recordFile();
        ASSERT_EQ(records.count("\r\n"), 28);
        EXPECT_TRUE(wholeLines(records)) << records.constData();
        const QList<QByteArray> lines = records.split('\n');
        EXPECT_TRUE(lines[7].contains("011.g20.00;")) << lines[7].constData();
        EXPECT_TRUE(lines[14].contains("011.g20.50;")) << lines[14].constData();
        EXPECT_TRUE(lines[21].contains("011.g21.00;")) << lines[21].constData();
        EXPECT_EQ(eval.recordWriter().heldSets(), 0);
        EXPECT_EQ(logTexts().last(), "Zurückgehaltene Messwerte geschrieben, Sätze: 2, verworfen: 0");
        EXPECT_EQ(boxes.size(), 1);
    }
}

TEST_F(EvaluationFixture, HeldBackRecordsAreBoundedAndTheOldestGoFirst)
{
    ScopedFailingFiles failing;
    failing.calls.match = "MS";
    failing.calls.openError = EROFS;
    constexpr qsizetype kSets = MeasureRecordWriter::MaxHeldSets + 2;
    QList<QByteArray> stamps;
    for (qsizetype i = 0; i < kSets; ++i) {
        clock.advance(1000);
        stamps.append(MeasureRecords::timestamp(clock.localDateTime()));
        eval.RecordTimerTimer();
        evaluate(19.4);
    }
    EXPECT_EQ(eval.recordWriter().heldSets(), MeasureRecordWriter::MaxHeldSets);
    EXPECT_EQ(logTexts().count("Älteste zurückgehaltene Messwerte verworfen"), 1);

    failing.calls.openError = 0;
    clock.advance(1000);
    eval.RecordTimerTimer();
    evaluate(19.4);
    const QByteArray records = recordFile();
    EXPECT_EQ(records.count("\r\n"), (MeasureRecordWriter::MaxHeldSets + 1) * 7);
    EXPECT_TRUE(records.startsWith("$" + stamps[2] + "011.")) << "the two oldest sets are dropped";
    EXPECT_EQ(logTexts().last(), "Zurückgehaltene Messwerte geschrieben, Sätze: 288, verworfen: 2");
}

TEST_F(EvaluationFixture, RecordSetsLostAtTheEndAreCountedWithThoseDroppedBefore)
{
    ScopedFailingFiles failing;
    failing.calls.match = "ABC12342.8MS";
    failing.calls.openError = EROFS;
    for (qsizetype i = 0; i < MeasureRecordWriter::MaxHeldSets + 2; ++i) {
        clock.advance(1000);
        eval.RecordTimerTimer();
        evaluate(19.4);
    }
    {
        SharedDataLock lock(core.semaphore);
        eval.onThreadEnd();
        eval.onThreadEnd(); // nothing left the second time
    }
    EXPECT_EQ(eval.recordWriter().heldSets(), 0);
    EXPECT_EQ(logTexts().last(),
              "Programmende: 290 zurückgehaltene Messwertsätze verloren (Datei nicht schreibbar)");
    EXPECT_EQ(logTexts().count(logTexts().last()), 1);
    EXPECT_EQ(notices.shown.size(), 1) << "no box at the end";
    EXPECT_FALSE(QFileInfo::exists(dir.file("ABC12342.8MS")));
}

TEST_F(EvaluationFixture, RecordFileNameIsTheIdentifierInTheCodePage)
{
    // A hand-entered identifier with letters of the code page's upper half
    // (0x8A, 0x9E) names its file as the reporting side reads the folder.
    core.config.StationId = Text8::cp("Šarž123");
    evaluate(19.4);
    const QByteArray records = dir.read(QString::fromUtf8("Šarž1232.8MS"));
    EXPECT_EQ(records.count("\r\n"), 7);
    EXPECT_TRUE(records.endsWith(";;21;" + Text8::cp("Šarž123") + "\r\n"));
}

TEST_F(EvaluationFixture, IdentifierThatIsNoPlainNameHasOneFormInTheNameAndTheLines)
{
    // Read from an old file: the record line carries the form the name has.
    core.config.StationId = "S\r/..XY";
    evaluate(19.4);
    const QByteArray records = dir.read(QStringLiteral("S----XY2.8MS"));
    EXPECT_EQ(records.count("\r\n"), 7);
    EXPECT_TRUE(records.startsWith("$4D6CAE88011.g19.40;" + kDeg + ";;21;S----XY\r\n"))
        << records.constData();
    EXPECT_EQ(records.count(";;21;S----XY\r\n"), 7);
}

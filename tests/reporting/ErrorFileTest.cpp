#include "support/ReportingPass.h"

#include "reporting/AlarmFiling.h"

#include <QFile>

#include <csignal>
#include <sys/resource.h>

using namespace ReportingTexts;

namespace {

// Files written beyond `bytes` fail as on a full disk (EFBIG), for the life
// of the guard.
class FileSizeLimit
{
public:
    explicit FileSizeLimit(rlim_t bytes)
    {
        getrlimit(RLIMIT_FSIZE, &m_old);
        m_oldHandler = std::signal(SIGXFSZ, SIG_IGN);
        rlimit limit{bytes, m_old.rlim_max};
        setrlimit(RLIMIT_FSIZE, &limit);
    }
    ~FileSizeLimit()
    {
        setrlimit(RLIMIT_FSIZE, &m_old);
        std::signal(SIGXFSZ, m_oldHandler);
    }

private:
    rlimit m_old{};
    void (*m_oldHandler)(int) = nullptr;
};

} // namespace

TEST_F(ReportingPass, ErrorFileCounterRunsFromZeroToZThenBracket)
{
    ReportThreadState state;
    AlarmFiling filing{core, state};
    clock.setLocalDateTime(passTime());
    state.ErrorFileHour = 14;
    state.ErrorFileCount = 0;
    // A new hour starts the counter at "0".
    clock.setLocalDateTime(passTime().addSecs(3600));
    QByteArray counters;
    for (int i = 0; i < 38; ++i)
        counters += filing.MakeErrorFileName().at(10);
    EXPECT_EQ(counters, "0123456789ABCDEFGHIJKLMNOPQRSTUVWXYZ[0");
}

TEST_F(ReportingPass, ErrorFileNameCarriesWeekdayAndHour)
{
    const struct
    {
        QDateTime local;
        const char *first;
    } cases[] = {
        {QDateTime(QDate(2024, 12, 3), QTime(14, 5)), "ABC12342.E0R"},  // Tuesday
        {QDateTime(QDate(2024, 12, 8), QTime(23, 59)), "ABC12340.N0R"}, // Sunday, 23rd hour
        {QDateTime(QDate(2024, 12, 7), QTime(9, 0)), "ABC12346.90R"},   // Saturday
        // The counter's hour starts at 0: the first file of hour 00 is "1".
        {QDateTime(QDate(2024, 12, 2), QTime(0, 30)), "ABC12341.01R"},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.first);
        ReportThreadState state;
        AlarmFiling fresh{core, state};
        clock.setLocalDateTime(c.local);
        EXPECT_EQ(fresh.MakeErrorFileName(), QByteArray(c.first));
    }
}

// An identifier that could not be a plain file name (one read from an old
// file) still names an error file in the working folder: each offending
// character becomes "-"; the shape of the name stays. The lines of the file
// carry the same plain form.
TEST_F(ReportingPass, ErrorFileNameNeverLeavesTheWorkingFolder)
{
    const struct
    {
        QByteArray id;
        const char *name;
        QByteArray station; // field 10 of its lines
    } cases[] = {
        {"../../Z", "------Z2.E0R", "------Z-001"},
        {"/tmp/rB", "-tmp-rB2.E0R", "-tmp-rB-001"},
        {QByteArray("SI\0M123", 7), "SI-M1232.E0R", "SI-M123-001"},
        {"A:\\B", "A--B---2.E0R", "A--B-001"},
        {"AB.CD", "AB.CD--2.E0R", "AB.CD-001"}, // one dot is a plain name
        {"S\r/..XY", "S----XY2.E0R", "S----XY-001"},
    };
    clock.setLocalDateTime(QDateTime(QDate(2024, 12, 3), QTime(14, 5)));
    for (const auto &c : cases) {
        SCOPED_TRACE(c.name);
        core.config.StationId = c.id;
        ReportThreadState state;
        AlarmFiling fresh{core, state};
        EXPECT_EQ(fresh.MakeErrorFileName(), QByteArray(c.name));
        EXPECT_EQ(fresh.MakeErrorRecord(1, "1", cp(LanError), {}, {}, FlagAlarm),
                  "03-12-24;14:05:00;001-001;" + cp(LanError) + ";r;;;;21;" + c.station + ';');
    }
}

TEST_F(ReportingPass, ErrorFileLinesPerAlarmGroup)
{
    const QByteArray head = "03-12-24;14:05:09;";
    const QByteArray tail = ";21;ABC1234-001;\r\n";
    const QByteArray alarm = cp(AlarmAtParameter);
    const struct
    {
        const char *name;
        QLocale locale;
        quint32 bits;
        std::function<void()> raise;
        QByteArray content;
    } cases[] = {
        {"temperature above", QLocale(QLocale::German, QLocale::Germany), AlarmBit::TempHigh,
         [&] { s.AlarmT = LimitAlarm{31.2, 10.0, 30.0, now(), 0, 10}; },
         head + "001-001;" + alarm + ";r;;;" + tail + head +
             "001-001;Temperatur;r; 31,20 >= 30,00;\xB0"
             "C;" +
             tail},
        {"temperature above, English", QLocale(QLocale::English, QLocale::UnitedStates), AlarmBit::TempHigh,
         [&] { s.AlarmT = LimitAlarm{31.2, 10.0, 30.0, now(), 0, 10}; },
         head + "001-001;" + alarm + ";r;;;" + tail + head +
             "001-001;Temperatur;r; 31.20 >= 30.00;\xB0"
             "C;" +
             tail},
        {"implausible temperature", QLocale(QLocale::German, QLocale::Germany), AlarmBit::TempHigh,
         [&] { s.AlarmT = LimitAlarm{104.5, 10.0, 100.0, now(), 0, 10}; },
         head + "001-001;PLAUSIBILITAETSFEHLER;p;;;" + tail + head +
             "001-001;Temperatur;r; 104,50 >= 100,00;\xB0"
             "C;" +
             tail},
        {"implausibly low", QLocale(QLocale::German, QLocale::Germany), AlarmBit::TempLow,
         [&] { s.AlarmT = LimitAlarm{-30.0, -25.0, 30.0, now(), 0, 10}; },
         head + "001-001;PLAUSIBILITAETSFEHLER;p;;;" + tail + head +
             "001-001;Temperatur;r; -30,00 <= -25,00;\xB0"
             "C;" +
             tail},
        {"dew point below", QLocale(QLocale::German, QLocale::Germany), AlarmBit::DewPointLow,
         [&] { s.AlarmTP = LimitAlarm{1.5, 2.0, 9.0, now(), 0, 10}; },
         head + "001-003;" + alarm + ";r;;;" + tail + head +
             "001-003;Taupunkt;r; 1,50 <= 2,00;\xB0"
             "C;" +
             tail},
        {"distance above", QLocale(QLocale::German, QLocale::Germany), AlarmBit::DistanceHigh,
         [&] { s.AlarmT_TP = LimitAlarm{12.25, 2.0, 9.0, now(), 0, 10}; },
         head + "001-004;" + alarm + ";r;;;" + tail + head +
             "001-004;Temp-Taupkt;r; 12,25 >= 9,00;\xB0"
             "C;" +
             tail},
        {"humidity below", QLocale(QLocale::German, QLocale::Germany), AlarmBit::HumidityLow,
         [&] { s.AlarmRH = LimitAlarm{12.5, 20.0, 80.0, now(), 0, 10}; },
         head + "001-002;" + alarm + ";r;;;" + tail + head + "001-002;Luftfeuchte;r; 12,50 <= 20,00;%;" +
             tail},
        {"input 1", QLocale(QLocale::German, QLocale::Germany), AlarmBit::Input1,
         [&] { s.AlarmRI.AlarmTime = now(); },
         head + "001-005;" + alarm + ";r;;;" + tail + head + "001-005;Kontakt_1;r; 1>0 ;;" + tail},
        {"input 2", QLocale(QLocale::German, QLocale::Germany), AlarmBit::Input2,
         [&] { s.AlarmDC.AlarmTime = now(); },
         head + "001-006;" + alarm + ";r;;;" + tail + head + "001-006;Kontakt_2;r; 1>0 ;;" + tail},
        {"sensor", QLocale(QLocale::German, QLocale::Germany), AlarmBit::SensorZero,
         [&] { s.AlarmSensor.AlarmTime = now(); }, head + "001-001;  A L A R M  am Regler;r;;;" + tail},
        {"cpu", QLocale(QLocale::German, QLocale::Germany), AlarmBit::Cpu,
         [&] {
             s.AlarmCpu.AlarmTime = now();
             s.CpuTemp = 97;
             s.CpuTempLimit = 95;
         },
         head + "001-007;" + alarm + ";r;;;" + tail + head +
             "001-007;CPU-Temperatur;r; 97 >= 95;\xB0"
             "C;" +
             tail},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.name);
        ScopedWorkDir dir;
        ScopedLocale caseLocale(c.locale);
        clock.setLocalDateTime(passTime());
        clearAlarms();
        c.raise();
        s.AlarmFlags = c.bits;
        thread.state().PendingAlarmFlags = 0;
        pass();
        const QStringList files = QDir(dir.path()).entryList({QStringLiteral("*R")}, QDir::Files);
        ASSERT_EQ(files.size(), 1);
        EXPECT_EQ(dir.read(files.first()), c.content);
        EXPECT_EQ(s.FiledAlarmFlags, c.bits);
        EXPECT_EQ(thread.lastPending, c.bits);
    }
}

TEST_F(ReportingPass, GroupsAreFiledOnceInTableOrderAndOnlyWhenRepeatDue)
{
    clock.setLocalDateTime(passTime());
    s.AlarmFlags = AlarmBit::Cpu | AlarmBit::Input1 | AlarmBit::TempHigh;
    s.AlarmT = LimitAlarm{31, 10, 30, now(), 0, 10};
    s.AlarmCpu.AlarmTime = now();
    s.AlarmCpu.LastAlarmTime = now() - 100; // expired a moment ago: no new file yet
    thread.outcome = ScriptedHERONThread::Outcome::Fail;
    pass();
    const QStringList files = errorFiles();
    ASSERT_EQ(files.size(), 2);
    EXPECT_TRUE(work.read(files[0]).contains("001-001;Temperatur"));
    EXPECT_TRUE(work.read(files[1]).contains("001-005;Kontakt_1"));
    EXPECT_EQ(s.FiledAlarmFlags, AlarmBit::Input1 | AlarmBit::TempHigh);
    // The next passes file nothing again for those groups.
    thread.state().LanErrorFiled = true;
    pass();
    EXPECT_EQ(errorFiles().size(), 2);
}

TEST_F(ReportingPass, AlarmRepeatDue)
{
    const struct
    {
        TickSeconds last, tick;
        bool due;
    } cases[] = {{1000, 4540, false}, {1000, 4541, true}, {1000, 900, true}, {0, 10, true}};
    ReportThreadState state;
    const AlarmFiling filing{core, state};
    for (const auto &c : cases) {
        SCOPED_TRACE(double(c.tick));
        tickAt(c.tick);
        EXPECT_EQ(filing.AlarmRepeatDue(3600, c.last), c.due);
    }
}

TEST_F(ReportingPass, AlarmFilesStopAt35InOneHour)
{
    clock.setLocalDateTime(passTime());
    thread.state().ErrorFileHour = 14;
    thread.state().ErrorFileCount = 35;
    s.AlarmFlags = AlarmBit::Input1;
    s.AlarmRI.AlarmTime = now();
    pass();
    EXPECT_TRUE(errorFiles().isEmpty());
    // The next hour files it.
    clock.setLocalDateTime(passTime().addSecs(3600));
    pass();
    EXPECT_EQ(errorFiles(), QStringList{QStringLiteral("ABC12342.F0R")});
}

TEST_F(ReportingPass, CounterStartingAgainNeverReplacesAWaitingFile)
{
    clock.setLocalDateTime(passTime());
    work.write(QStringLiteral("ABC12342.E0R"), "waiting alarm\r\n");
    work.write(QStringLiteral("ABC12342.E1R"), "waiting alarm 2\r\n");
    thread.state().ErrorFileHour = 14;
    thread.state().ErrorFileCount = 36; // "[" was the last: the next starts at "0" again
    thread.state().ReportFailed = true;
    thread.outcome = ScriptedHERONThread::Outcome::Fail;
    pass();
    EXPECT_EQ(work.read(QStringLiteral("ABC12342.E0R")), "waiting alarm\r\n");
    EXPECT_EQ(work.read(QStringLiteral("ABC12342.E1R")), "waiting alarm 2\r\n");
    EXPECT_TRUE(work.read(QStringLiteral("ABC12342.E2R")).contains(cp(LanError)));
    EXPECT_EQ(thread.state().ErrorFileCount, 2);

    // Every name of the hour taken: the file cannot be made, and nothing is
    // replaced.
    for (char c : QByteArray("0123456789ABCDEFGHIJKLMNOPQRSTUVWXYZ["))
        if (!QFile::exists(work.file(QStringLiteral("ABC12342.E%1R").arg(QLatin1Char(c)))))
            work.write(QStringLiteral("ABC12342.E%1R").arg(QLatin1Char(c)), "older\r\n");
    s.AlarmFlags |= AlarmBit::Input1;
    s.AlarmRI.AlarmTime = now();
    thread.state().ErrorFileCount = 3;
    view.lines.clear();
    thread.state().ReportFailed = false;
    thread.state().LanErrorFiled = true;
    EXPECT_EQ(pass(), 5000);
    EXPECT_EQ(errorFiles().size(), 37);
    EXPECT_EQ(work.read(QStringLiteral("ABC12342.E0R")), "waiting alarm\r\n");
    ASSERT_FALSE(view.lines.isEmpty());
    EXPECT_TRUE(view.lines.last().startsWith(cp(ErrorFileFailed) + "ABC12342.E"));
    EXPECT_EQ(s.FiledAlarmFlags & AlarmBit::Input1, 0u);
}

TEST_F(ReportingPass, FullDiskLeavesNoBrokenLineAndTheGroupIsTriedAgain)
{
    clock.setLocalDateTime(passTime());
    s.AlarmFlags = AlarmBit::TempHigh;
    s.AlarmT = LimitAlarm{31.2, 10.0, 30.0, now(), 0, 10};
    {
        FileSizeLimit full(100); // line 1 fits, line 2 does not
        EXPECT_EQ(pass(), 5000);
    }
    EXPECT_TRUE(errorFiles().isEmpty());
    ASSERT_FALSE(view.lines.isEmpty());
    EXPECT_EQ(view.lines.last(), cp(ErrorFileFailed) + "ABC12342.E0R" + cp(ErrorFileFailedEnd));
    EXPECT_EQ(s.FiledAlarmFlags, 0u);
    EXPECT_TRUE(thread.state().ReportFailed);
    EXPECT_EQ(thread.state().ErrorFileCount, 0);
    EXPECT_EQ(thread.sessions, 0);

    // Space again: the LAN error file of the streak, then the group's file,
    // each whole.
    pass();
    const QStringList files = errorFiles();
    ASSERT_EQ(files.size(), 2);
    EXPECT_TRUE(work.read(files[0]).contains(cp(LanError)));
    const QByteArray group = work.read(files[1]);
    EXPECT_EQ(group.count("\r\n"), 2);
    EXPECT_TRUE(group.endsWith(";\xB0"
                               "C;;21;ABC1234-001;\r\n"));

    // The LAN error file that cannot be written: the streak gets no second
    // try.
    thread.state().ReportFailed = true;
    thread.state().LanErrorFiled = false;
    {
        FileSizeLimit full(0);
        EXPECT_EQ(pass(), 5000);
    }
    EXPECT_EQ(errorFiles().size(), 2);
    EXPECT_TRUE(view.lines.last().startsWith(cp(ErrorFileFailed)));
    EXPECT_TRUE(thread.state().LanErrorFiled);
    pass();
    EXPECT_EQ(errorFiles().size(), 2);
}

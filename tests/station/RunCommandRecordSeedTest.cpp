// The run command (scripts/run-station.sh) puts two empty record files of
// earlier hours into the working folder, so that a station with the
// simulated sensor reports at once. These cases run the command's own shell
// functions (scripts/seed-records.sh) in a temporary working folder and hold
// them to the station's rules: the files it makes must be the names the
// station gives its records and finds again for the report, for identifiers
// that need every part of the identifier's file form, and a record file that
// the station would send keeps the command from adding any.
#include "common/Text8.h"
#include "platform/PortDirectory.h"
#include "station/StartupTexts.h"
#include "station/StationConfig.h"
#include "station/StationConfigFile.h"
#include "station/StationFileNames.h"
#include "station/StationIdentifier.h"
#include "station/StationState.h"

#include "support/TempDir.h"

#include <gtest/gtest.h>

#include <QDateTime>
#include <QDir>
#include <QProcess>

#include <string>

namespace {

// r2arodire.cfg with the given value lines of "HERON-Kennung" and "COM-Port".
QByteArray configWith(const QByteArray &idLine, const QByteArray &portLine)
{
    const QByteArrayList lines = {"Temp-Min",      "10",     "Temp-Max",       "30",
                                  "RH-Min",        "20",     "RH-Max",         "80",
                                  "TP-Min",        "",       "TP-Max",         "",
                                  "T-TP-Min",      "2",      "T-TP-Max",       "",
                                  "RX-Checked",    "FALSE",  "RI-Checked",     "TRUE",
                                  "DC-Checked",    "FALSE",  "CTS-Checked",    "FALSE",
                                  "HERON-Kennung", idLine,   "HERON-Server",   "127.0.0.1:2000",
                                  "COM-Port",      portLine, "Alarmintervall", "4",
                                  "CPU-MAX-TEMP",  "5"};
    QByteArray out;
    for (const QByteArray &l : lines)
        out += l + "\r\n";
    return out;
}

// The identifier a station with the simulated sensor takes at start-up in
// the working folder: the one read from r2arodire.cfg (D2IDIDA when none),
// replaced by the simulated adapter's serial for the configured port (the
// first port found when none is configured) unless it was entered by hand.
QByteArray stationIdWithSimulatedSensor()
{
    StationConfig cfg;
    StationState state;
    ReadStationConfigFile(cfg, state);
    if (cfg.StationId.isEmpty())
        cfg.StationId = StartupTexts::DefaultStationId;
    const SimulatedPortDirectory ports;
    QByteArray port = cfg.ComPort == "?" ? QByteArray() : cfg.ComPort;
    if (port.isEmpty())
        port = Text8::upper(FtdiComPortNames(ports).value(0));
    const QByteArray serial = GetFtdiSerialForPort(port, ports);
    return cfg.ManualStationId || serial.isEmpty() ? cfg.StationId : serial;
}

// The locales the command is run in: the names on disk are UTF-8 in either.
const char *const kLocales[] = {"C.UTF-8", "C"};

// Runs the command's seed step in the working folder, in `locale`: its exit
// status (0 when it made the files).
int runSeed(const char *locale)
{
    QProcess bash;
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert(QStringLiteral("LC_ALL"), QString::fromLatin1(locale));
    bash.setProcessEnvironment(env);
    bash.setProcessChannelMode(QProcess::ForwardedErrorChannel);
    bash.setStandardOutputFile(QProcess::nullDevice());
    bash.start(QStringLiteral("bash"),
               {QStringLiteral("-c"), QStringLiteral(". \"$1\" && seed_record_files"), QStringLiteral("bash"),
                QStringLiteral(KLIMA_SOURCE_DIR "/scripts/seed-records.sh")});
    if (!bash.waitForFinished(30000) || bash.exitStatus() != QProcess::NormalExit)
        return -1;
    return bash.exitCode();
}

QStringList entries()
{
    return QDir::current().entryList(QDir::AllEntries | QDir::Hidden | QDir::System | QDir::NoDotAndDotDot,
                                     QDir::Name);
}

// The names of the records of the two hours before `t`, as the station
// names them.
QStringList twoHoursBefore(const QByteArray &id, const QDateTime &t)
{
    QStringList names{Text8::toQString(StationFileNames::measureFileName(id, t.addSecs(-2 * 3600))),
                      Text8::toQString(StationFileNames::measureFileName(id, t.addSecs(-3600)))};
    names.sort();
    return names;
}

} // namespace

TEST(RunCommandRecordSeed, MakesTheRecordFilesTheStationWouldSend)
{
    const struct
    {
        const char *what;
        QByteArray idLine;
        QByteArray portLine;
    } cases[] = {
        {"the simulated adapter's serial", "SIM1234", "COM3:"},
        {"no port configured: the first one, the simulated port", "XYZ", ""},
        {"a port given as \"?\"", "XYZ", "?"},
        {"another port: the configured identifier", "XYZ", "COM5:"},
        {"a port in lower case names no adapter", "XYZ", "com3:"},
        {"no identifier", "", "COM5:"},
        {"entered by hand, blanks and controls at the ends", " \t$SIM9876\x01 ", "COM3:"},
        {"\"$\" without 7 characters is part of the identifier", "$AB", "COM5:"},
        {"longer than 7 characters", "LONGIDENTIFIER", "COM5:"},
        {"path characters", "A/B\\C:D", "COM5:"},
        {"control characters and DEL inside",
         "A\x01"
         "B\x7f\tC",
         "COM5:"},
        {"a NUL inside", QByteArray("AB\0C", 4), "COM5:"},
        {"a \"..\" turns every dot", "A..B.C", "COM5:"},
        {"single dots stay", "A.B.C", "COM5:"},
        {"a \"..\" past the 7th character does not count", "ABCDEF..", "COM5:"},
        {"a leading dot: hidden names", "$.HIDDEN", "COM3:"},
        {"pattern characters are text", "$A[*?]B-", "COM3:"},
        {"code-page letters", "$K\xdcHL\xe9\xdfX", "COM3:"},
        {"bytes 0x80-0x9F, the ones without a character too", "\x80\x81\x8d\x9f\xa0\xff", "COM5:"},
        {"a line with a CR of its own", "AB\r", "COM5:"},
    };
    for (const char *locale : kLocales)
        for (const auto &c : cases) {
            SCOPED_TRACE(std::string(c.what) + ", locale " + locale);
            ScopedWorkDir work;
            work.write(QStringLiteral("r2arodire.cfg"), configWith(c.idLine, c.portLine));
            const QByteArray id = stationIdWithSimulatedSensor();

            const QDateTime before = QDateTime::currentDateTime();
            ASSERT_EQ(runSeed(locale), 0);
            const QDateTime after = QDateTime::currentDateTime();

            QStringList made = entries();
            made.removeAll(QStringLiteral("r2arodire.cfg"));
            EXPECT_TRUE(made == twoHoursBefore(id, before) || made == twoHoursBefore(id, after))
                << made.join(' ').toStdString() << " for " << Text8::toQString(id).toStdString();
            EXPECT_EQ(StationFileNames::measureFiles(QDir::current(), id), made);
        }
}

TEST(RunCommandRecordSeed, AddsNoneWhileARecordFileOfTheStationWaits)
{
    const QDateTime t(QDate(2026, 12, 9), QTime(13, 5));
    const auto recordOf = [&t](const QByteArray &id) {
        return Text8::toQString(StationFileNames::measureFileName(id, t));
    };
    const struct
    {
        const char *what;
        QByteArray idLine; // empty: no r2arodire.cfg
        QString entry;
        bool waits; // a record file of the station waits: the command adds none
        bool folder = false;
    } cases[] = {
        {"the station's own record file", "", recordOf("SIM1234"), true},
        {"in another case", "", recordOf("SIM1234").toLower(), true},
        {"any name of the records' shape", "", QStringLiteral("SIM1234-old.xMS"), true},
        {"a hidden one", "$.HIDDEN", recordOf(".HIDDEN"), true},
        {"code-page letters in another case", "$K\xdcHL\xe9\xdfX", recordOf("K\xdcHL\xe9\xdfX").toLower(),
         true},
        {"a folder of that name is no record file", "", recordOf("SIM1234"), false, true},
        {"another station's records", "", recordOf("SIM1235"), false},
        {"an error file", "", QStringLiteral("SIM12343.D0R"), false},
        {"a name the identifier matches only as a pattern", "$A[*?]B-", QStringLiteral("A*B-xyz3.4MS"),
         false},
    };
    for (const char *locale : kLocales)
        for (const auto &c : cases) {
            SCOPED_TRACE(std::string(c.what) + ", locale " + locale);
            ScopedWorkDir work;
            if (!c.idLine.isEmpty())
                work.write(QStringLiteral("r2arodire.cfg"), configWith(c.idLine, "COM3:"));
            if (c.folder)
                ASSERT_TRUE(QDir::current().mkdir(c.entry));
            else
                work.write(c.entry, QByteArray());
            const QByteArray id = stationIdWithSimulatedSensor();
            ASSERT_EQ(!StationFileNames::measureFiles(QDir::current(), id).isEmpty(), c.waits);
            const QStringList there = entries();

            EXPECT_EQ(runSeed(locale), c.waits ? 1 : 0);
            if (c.waits)
                EXPECT_EQ(entries(), there);
            else
                EXPECT_EQ(StationFileNames::measureFiles(QDir::current(), id).size(), 2);
        }
}

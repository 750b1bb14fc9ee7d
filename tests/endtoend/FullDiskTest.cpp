#include "endtoend/StationProcess.h"
#include "support/ScopedTmpfs.h"

#include <gtest/gtest.h>

#include <QTemporaryDir>

#include <cctype>
#include <cerrno>
#include <memory>

// The real station on a working folder that is a small tmpfs: a full disk
// and a read-only folder as an operator's machine has them.
namespace {

// A configuration with a port and a temperature maximum of 25 degrees.
QByteArray configFile()
{
    const QList<QByteArray> values = {"",      "25",    "",      "",      "",      "",        "",
                                      "",      "FALSE", "FALSE", "FALSE", "FALSE", "ABC1234", "127.0.0.1:1",
                                      "COM3:", "4",     "5"};
    QByteArray out;
    for (const QByteArray &v : values)
        out += "key\r\n" + v + "\r\n";
    return out;
}

// The station's clock starts at Tuesday 1 March 2011 08:30:00 and runs ten
// times faster, so its records go to SIM12342.8MS (the simulated adapter
// names the station).
const QString kRecordFile = QStringLiteral("SIM12342.8MS");

constexpr int kStartMs = 20000;

struct FullDisk : ::testing::Test
{
    QTemporaryDir tmp;
    const QString work = tmp.filePath(QStringLiteral("work"));
    const QString sim = tmp.filePath(QStringLiteral("sensor-sim.txt"));
    const QString exe = StationProcess::programCopy(tmp.filePath(QStringLiteral("bin")));
    const quint16 viewerPort = StationProcess::freeViewerPorts();
    std::unique_ptr<ScopedTmpfs> disk;       // unmounted after the station ended
    std::unique_ptr<StationProcess> station; // declared later: ends first

    void SetUp() override
    {
        disk = std::make_unique<ScopedTmpfs>(work, 1 << 20);
        if (!disk->mounted())
            GTEST_SKIP() << "no tmpfs for the working folder (" << disk->whyNot().toStdString() << ")";
        ASSERT_FALSE(exe.isEmpty());
        ASSERT_NE(viewerPort, 0);
        station = std::make_unique<StationProcess>(exe, work, tmp.filePath(QStringLiteral("service")));
        station->writeFile(QStringLiteral("r2arodire.cfg"), configFile());
        writeSim("raw_temp=6000\nraw_humidity=1500\n");
        station->setEnv(QStringLiteral("KLIMAWARTE_SENSOR_SIM"), sim);
        station->setEnv(QStringLiteral("KLIMAWARTE_VIEWER_PORT"), QString::number(viewerPort));
        if (QFile::exists(StationProcess::fasterClockLibrary()))
            station->setEnv(QStringLiteral("FAKETIME"), QStringLiteral("@2011-03-01 08:30:00 x10"));
    }
    void TearDown() override
    {
        if (station && station->running())
            station->shutdown();
        station.reset();
        disk.reset();
    }

    void writeSim(const QByteArray &content) const
    {
        QFile f(sim);
        if (f.open(QIODevice::WriteOnly | QIODevice::Truncate))
            f.write(content);
    }
    QByteArray log() const { return station->file(QStringLiteral("zav_sensor_logfile.log")); }

    // Starts the station on the full disk and has it hold back at least
    // four record sets: the first after the start (the first reading settles
    // as an invalid one, red), the settled green one, then one above the
    // maximum and one back below it. A log from an earlier run with room in
    // its last page takes the log lines meanwhile.
    void holdBackRecordSets()
    {
        station->writeFile(QStringLiteral("r2arodire.flag"), "ZAV-Sensor1000\r\n");
        station->writeFile(QStringLiteral("zav_sensor_logfile.log"),
                           "01.03.11 08:00:00 /Sensor/ Programm gestartet\r\n");
        writeSim(kGreen);
        ASSERT_TRUE(disk->fill());
        station->start();
        const QByteArray held = "Messwerte zur\xFC"
                                "ckgehalten, Datei nicht schreibbar: SIM12342.8MS";
        ASSERT_TRUE(StationProcess::waitUntil(
            [&] { return log().contains(held) && log().contains(kBackToGreen); }, kStartMs))
            << station->output().constData() << log().constData();
        const qsizetype settled = log().count(kBackToGreen);
        writeSim(kRed);
        QThread::msleep(StationProcess::realMs(8000)); // a few evaluations above the maximum
        writeSim(kGreen);
        ASSERT_TRUE(StationProcess::waitUntil([&] { return log().count(kBackToGreen) > settled; }, kStartMs))
            << station->output().constData() << log().constData();
        ASSERT_FALSE(QFileInfo::exists(QDir(work).filePath(kRecordFile)));
    }

    // 23.81 and 25.28 degrees: close enough to be plausible one after the
    // other, on both sides of the maximum of 25.
    static constexpr char kGreen[] = "raw_temp=6450\nraw_humidity=1500\n";
    static constexpr char kRed[] = "raw_temp=6600\nraw_humidity=1500\n";
    static constexpr char kBackToGreen[] = "Temperatur wechselt von ROT->GR\xDCN";
};

// Record lines as an earlier run left them: whole lines, the last page of
// the file with exactly `room` bytes free.
QByteArray earlierRecords(int room)
{
    const QByteArray line = "$4D6CAE00011.g19.40;\xF8"
                            "C;;21;SIM1234\r\n";
    QByteArray out;
    while (out.size() + line.size() <= 4096 - room)
        out += line;
    while (out.size() < 4096 - room) // pad the last line to the exact length
        out.insert(out.size() - 16, '0');
    return out;
}

bool wholeRecordLines(const QByteArray &bytes)
{
    if (!bytes.endsWith("\r\n"))
        return false;
    for (const QByteArray &line : bytes.chopped(1).split('\n'))
        if (!line.startsWith("$") || !line.endsWith(";;21;SIM1234\r"))
            return false;
    return true;
}

} // namespace

TEST_F(FullDisk, RecordsAreWrittenWholeAndHeldBackUntilThereIsSpace)
{
    // The first record set after the start finds 20 bytes in the record
    // file's last page and no free page: it used to be cut there.
    const QByteArray before = earlierRecords(20);
    ASSERT_EQ(before.size(), 4096 - 20);
    station->writeFile(kRecordFile, before);
    // A flag file from an earlier run: taking it again needs no new space.
    station->writeFile(QStringLiteral("r2arodire.flag"), "ZAV-Sensor1000\r\n");
    ASSERT_TRUE(disk->fill());

    station->start();
    const QByteArray failure = "cannot write measurement records";
    ASSERT_TRUE(StationProcess::waitUntil(
        [&] { return station->output().contains(failure) || station->file(kRecordFile) != before; },
        kStartMs))
        << station->output().constData();
    EXPECT_EQ(station->file(kRecordFile).mid(before.size()), QByteArray()) << "no broken line";
    EXPECT_TRUE(station->waitForOutputContaining(failure, 2000)) << station->output().constData();
    EXPECT_TRUE(station->output().contains(qt_error_string(ENOSPC).toLocal8Bit()))
        << station->output().constData();
    EXPECT_TRUE(station->running());
    EXPECT_GT(station->instanceNumber(), 0);

    // Space again; the next record set (a colour change above the maximum
    // at the latest) writes the held sets and its own, whole, after the
    // earlier lines.
    ASSERT_TRUE(QFile::remove(QDir(work).filePath(QStringLiteral("filler"))));
    writeSim("raw_temp=7000\nraw_humidity=1500\n");
    const QByteArray late = " /Sensor/ Zur\xFC"
                            "ckgehaltene Messwerte geschrieben, S\xE4tze: ";
    ASSERT_TRUE(StationProcess::waitUntil([&] { return log().contains(late); }, kStartMs))
        << station->output().constData() << log().constData();
    const QByteArray records = station->file(kRecordFile);
    ASSERT_TRUE(records.startsWith(before));
    const QByteArray added = records.mid(before.size());
    EXPECT_TRUE(wholeRecordLines(added)) << added.constData();
    // Whole sets: channels 1 to 7, held ones first, each later than the one before.
    const QList<QByteArray> lines = added.chopped(1).split('\n');
    ASSERT_GE(lines.size(), 14) << added.constData();
    ASSERT_EQ(lines.size() % 7, 0) << added.constData();
    for (qsizetype i = 0; i < lines.size(); ++i) {
        EXPECT_EQ(lines[i].mid(11, 1), QByteArray::number(i % 7 + 1)) << lines[i].constData();
        if (i > 0) {
            EXPECT_GE(lines[i].left(9), lines[i - 1].left(9));
        }
    }
    const qsizetype at = log().indexOf(late) + late.size();
    EXPECT_EQ(log().mid(at).split('\r').first(), QByteArray::number(lines.size() / 7 - 1) + ", verworfen: 0");
    ASSERT_TRUE(station->shutdown());
}

namespace {

struct UnwritableFolder
{
    const char *name;
    bool readOnly; // else full
    const char *step;
    int error;
};

} // namespace

TEST_F(FullDisk, UnwritableFolderEndsTheStationWithAnErrorNotAsSecondInstance)
{
    const UnwritableFolder cases[] = {
        {"read-only folder", true, "cannot open the single-instance flag file", EROFS},
        {"full folder", false, "cannot write the single-instance flag file", ENOSPC},
    };
    int round = 0;
    for (const UnwritableFolder &c : cases) {
        SCOPED_TRACE(c.name);
        if (round++ > 0) {
            disk = std::make_unique<ScopedTmpfs>(work, 1 << 20);
            ASSERT_TRUE(disk->mounted());
        }
        station = std::make_unique<StationProcess>(exe, work, tmp.filePath(QStringLiteral("service%1").arg(round)));
        station->writeFile(QStringLiteral("r2arodire.cfg"), configFile());
        station->setEnv(QStringLiteral("KLIMAWARTE_SENSOR_SIM"), sim);
        station->setEnv(QStringLiteral("KLIMAWARTE_VIEWER_PORT"), QString::number(viewerPort));
        if (c.readOnly)
            ASSERT_TRUE(disk->remountReadOnly());
        else
            ASSERT_TRUE(disk->fill());

        station->start();
        ASSERT_TRUE(station->waitForExit(kStartMs));
        const QByteArray out = station->output();
        EXPECT_EQ(station->process().exitStatus(), QProcess::NormalExit);
        EXPECT_NE(station->process().exitCode(), 0) << out.constData();
        EXPECT_TRUE(out.contains(c.step)) << out.constData();
        EXPECT_TRUE(out.contains(qt_error_string(c.error).toLocal8Bit())) << out.constData();
        EXPECT_FALSE(QFileInfo::exists(QDir(work).filePath(QStringLiteral("r2arodire.flag"))))
            << "no empty flag file";
        EXPECT_FALSE(log().contains("2.Instanz"));
        EXPECT_EQ(station->control(), "IDLE");
        station.reset();
        disk.reset();
    }
}

namespace {

// The number that follows `prefix` in the log, -1 when the prefix is not there.
qint64 numberAfter(const QByteArray &log, const QByteArray &prefix)
{
    const qsizetype at = log.indexOf(prefix);
    if (at < 0)
        return -1;
    qsizetype end = at + prefix.size();
    while (end < log.size() && std::isdigit(static_cast<unsigned char>(log[end])))
        ++end;
    bool ok = false;
    const qint64 n = log.mid(at + prefix.size(), end - at - prefix.size()).toLongLong(&ok);
    return ok ? n : -1;
}

const QByteArray kWrittenLate = " /Sensor/ Zur\xFC"
                                "ckgehaltene Messwerte geschrieben, S\xE4tze: ";
const QByteArray kLostAtEnd = " /Sensor/ Programmende: ";
const QByteArray kLostAtEndRest = " zur\xFC"
                                  "ckgehaltene Messwerts\xE4tze verloren (Datei nicht schreibbar)\r\n";
const QByteArray kShutdownLog = " /Sensor/ Proramm beendet wegen SHUTDOWN";

} // namespace

TEST_F(FullDisk, HeldRecordSetsAreWrittenAtShutdownOnceThereIsSpace)
{
    ASSERT_NO_FATAL_FAILURE(holdBackRecordSets());

    // Space again, and SHUTDOWN before the next set is due: the end writes
    // every held set, whole, channels 1 to 7 each.
    ASSERT_TRUE(QFile::remove(QDir(work).filePath(QStringLiteral("filler"))));
    ASSERT_TRUE(station->shutdown());
    const QByteArray records = station->file(kRecordFile);
    const QByteArray text = log();
    const qint64 sets = numberAfter(text, kWrittenLate);
    EXPECT_GE(sets, 4) << text.constData();
    EXPECT_TRUE(text.contains(kWrittenLate + QByteArray::number(sets) + ", verworfen: 0\r\n"));
    ASSERT_TRUE(wholeRecordLines(records)) << records.constData();
    const QList<QByteArray> lines = records.chopped(1).split('\n');
    EXPECT_EQ(lines.size(), sets * 7) << records.constData();
    for (qsizetype i = 0; i < lines.size(); ++i)
        EXPECT_EQ(lines[i].mid(11, 1), QByteArray::number(i % 7 + 1)) << lines[i].constData();
    EXPECT_FALSE(text.contains(kLostAtEnd));
    EXPECT_LT(text.indexOf(kWrittenLate), text.indexOf(kShutdownLog));
}

TEST_F(FullDisk, HeldRecordSetsLostAtShutdownAreCountedInOneLogLine)
{
    ASSERT_NO_FATAL_FAILURE(holdBackRecordSets());

    // Still full at SHUTDOWN: one line says how many sets are lost. The log
    // takes it while its last page has room; standard error says it too.
    ASSERT_TRUE(station->shutdown());
    EXPECT_FALSE(QFileInfo::exists(QDir(work).filePath(kRecordFile)));
    const QByteArray text = log();
    EXPECT_EQ(text.count(kLostAtEnd), 1) << text.constData();
    const qint64 sets = numberAfter(text, kLostAtEnd);
    EXPECT_GE(sets, 4) << text.constData();
    EXPECT_TRUE(text.contains(kLostAtEnd + QByteArray::number(sets) + kLostAtEndRest)) << text.constData();
    EXPECT_LT(text.indexOf(kLostAtEnd), text.indexOf(kShutdownLog));
    EXPECT_FALSE(text.contains(kWrittenLate));
    EXPECT_TRUE(
        station->output().contains(QByteArray::number(sets) + " held-back measurement record sets are lost"))
        << station->output().constData();
}

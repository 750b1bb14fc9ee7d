#include "platform/QtSerialLines.h"
#include "platform/SerialLines.h"
#include "platform/SimulatedSensorStick.h"
#include "support/WarningCatcher.h"

#include <gtest/gtest.h>

#include <QFile>
#include <QTemporaryDir>

#include <cstdlib>
#include <stdexcept>

#include <sys/stat.h>

TEST(SensorPortQtSerialLines, ComNamesMapToTheFtdiDevices)
{
    const std::pair<QByteArray, QByteArray> cases[] = {
        {"\\\\.\\COM1", "/dev/ttyUSB0"},
        {"\\\\.\\COM3", "/dev/ttyUSB2"},
        {"\\\\.\\COM12", "/dev/ttyUSB11"},
        {"COM99", "/dev/ttyUSB98"},
        {"\\\\.\\com4", "/dev/ttyUSB3"},
        {"\\\\.\\COM0", ""},
        {"\\\\.\\COM", ""},
        {"\\\\.\\COMX", ""},
        {"\\\\.\\COM3:", ""},
        {"\\\\.\\LPT1", ""},
        {"/dev/ttyS0", "/dev/ttyS0"},
    };
    for (const auto &[path, device] : cases)
        EXPECT_EQ(QtSerialLines::linuxDevice(path), device) << path.constData();
}

TEST(SensorPortQtSerialLines, MissingDeviceDoesNotOpen)
{
    for (QByteArray path : {QByteArray("\\\\.\\COM0"), QByteArray("/nonexistent/ttyUSB77")}) {
        QtSerialLines lines(path);
        EXPECT_FALSE(lines.open(19200)) << path.constData();
        EXPECT_FALSE(lines.isOpen());
        EXPECT_EQ(lines.modemStatus(), std::nullopt);
        lines.setRts(true); // harmless while closed
        lines.setDtr(true);
        lines.close();
    }
}

TEST(SensorPortSimulated, OpensExclusivelyAndReportsContacts)
{
    auto stick = std::make_shared<SimulatedSensorStick>();
    SimulatedSensorPort a(stick), b(stick);
    EXPECT_EQ(a.modemStatus(), std::nullopt);
    ASSERT_TRUE(a.open(19200));
    EXPECT_EQ(stick->baudRate(), 19200);
    EXPECT_FALSE(b.open(19200)) << "a second open of the same port is refused";

    const struct
    {
        bool ring, dcd;
        quint32 expected; // RING/DCD bits; clear while the contact is active
    } cases[] = {
        {false, false, ModemStatus::Ring | ModemStatus::Dcd},
        {true, false, ModemStatus::Dcd},
        {false, true, ModemStatus::Ring},
        {true, true, 0},
    };
    for (const auto &c : cases) {
        stick->setRing(c.ring);
        stick->setDcd(c.dcd);
        const auto status = a.modemStatus();
        ASSERT_TRUE(status.has_value());
        EXPECT_EQ(*status & (ModemStatus::Ring | ModemStatus::Dcd), c.expected);
    }

    a.close();
    EXPECT_FALSE(stick->portOpen());
    EXPECT_TRUE(b.open(19200));
    EXPECT_EQ(stick->opens(), 2);
}

TEST(SensorPortSimulated, RefusedAndBrokenOpens)
{
    auto stick = std::make_shared<SimulatedSensorStick>();
    SimulatedSensorPort port(stick);
    stick->setOpenRefused(true);
    EXPECT_FALSE(port.open(19200));
    EXPECT_FALSE(port.isOpen());

    stick->setOpenRefused(false);
    stick->setConfigureThrows(true);
    EXPECT_THROW(port.open(19200), std::runtime_error);
    // The device was opened before configuring failed: it stays taken until
    // the port is closed.
    EXPECT_TRUE(stick->portOpen());
    stick->setConfigureThrows(false);
    SimulatedSensorPort other(stick);
    EXPECT_FALSE(other.open(19200));
    port.close();
    EXPECT_TRUE(other.open(19200));
}

TEST(SensorPortSimulationFile, KeysChangeOnlyTheirValues)
{
    SensorStickValues v;
    EXPECT_EQ(v, (SensorStickValues{6000, 1500, false, false, true, false}));

    SensorSimulation::applyFile("raw_temp=7000\nring=1\n", v);
    EXPECT_EQ(v, (SensorStickValues{7000, 1500, true, false, true, false}));

    SensorSimulation::applyFile(" raw_humidity = 2000 \r\nack=0\r\nzero=1\r\ndcd=1\r\n", v);
    EXPECT_EQ(v, (SensorStickValues{7000, 2000, true, true, false, true}));

    // Unknown keys, comments, broken lines and values are ignored.
    SensorSimulation::applyFile("# raw_temp=1\nfoo=3\nraw_temp\nraw_temp=abc\n=5\nring=0", v);
    EXPECT_EQ(v, (SensorStickValues{7000, 2000, false, true, false, true}));
}

namespace {

void writeFile(const QString &path, const QByteArray &bytes)
{
    QFile f(path);
    ASSERT_TRUE(f.open(QIODevice::WriteOnly | QIODevice::Truncate));
    ASSERT_EQ(f.write(bytes), bytes.size());
}

} // namespace

TEST(SensorPortSimulationFile, EndlessHugeAndUnreadableFilesKeepTheValuesAndAreReportedOnce)
{
    using Result = SensorSimulation::FileReader::Result;
    QTemporaryDir dir;
    const QString sparse = dir.filePath("sparse.txt");
    {
        QFile f(sparse);
        ASSERT_TRUE(f.open(QIODevice::WriteOnly));
        ASSERT_TRUE(f.resize(100 * 1024 * 1024)); // a hole: no disk space, no time
    }
    const QString justTooLong = dir.filePath("long.txt");
    writeFile(justTooLong, "raw_temp=7000\n" + QByteArray(SensorSimulation::MaxFileSize, '#'));
    const QString missing = dir.filePath("missing.txt");

    const struct
    {
        QString path;
        Result result;
        const char *reason;
    } cases[] = {
        {QStringLiteral("/dev/zero"), Result::TooBig, "is longer than 4096 bytes"},
        {sparse, Result::TooBig, "is longer than 4096 bytes"},
        {justTooLong, Result::TooBig, "is longer than 4096 bytes"},
        {missing, Result::Unreadable, "cannot be read"},
        {dir.path(), Result::Unreadable, "cannot be read"},
    };
    const SensorStickValues last{7100, 1600, true, false, true, false};
    for (const auto &c : cases) {
        SCOPED_TRACE(c.path.toStdString());
        WarningCatcher warnings;
        SensorSimulation::FileReader reader(c.path);
        SensorStickValues values = last;
        for (int command = 0; command < 1000; ++command)
            ASSERT_EQ(reader.apply(values), c.result);
        EXPECT_EQ(values, last);
        const QStringList messages = warnings.take();
        ASSERT_EQ(messages.size(), 1);
        EXPECT_TRUE(messages[0].contains(c.path)) << messages[0].toStdString();
        EXPECT_TRUE(messages[0].contains(QLatin1String(c.reason))) << messages[0].toStdString();
    }
}

TEST(SensorPortSimulationFile, PipeWithoutWriterDoesNotHoldUpTheQuery)
{
    QTemporaryDir dir;
    const QByteArray pipe = dir.filePath("pipe").toLocal8Bit();
    ASSERT_EQ(mkfifo(pipe.constData(), 0600), 0);
    SensorSimulation::FileReader reader(QString::fromLocal8Bit(pipe));
    SensorStickValues values{7100, 1600, true, false, true, false};
    EXPECT_EQ(reader.apply(values), SensorSimulation::FileReader::Result::Applied); // read as empty
    EXPECT_EQ(values, (SensorStickValues{7100, 1600, true, false, true, false}));
}

TEST(SensorPortSimulationFile, ReasonIsReportedAgainOnlyAfterItChanged)
{
    using Result = SensorSimulation::FileReader::Result;
    QTemporaryDir dir;
    const QString path = dir.filePath("sensor.txt");
    WarningCatcher warnings;
    SensorSimulation::FileReader reader(path);
    SensorStickValues values;

    // The longest file that is read.
    const QByteArray head = "raw_temp=7000\n";
    const QByteArray tail = "\nraw_humidity=1";
    const QByteArray text =
        head + QByteArray(SensorSimulation::MaxFileSize - head.size() - tail.size(), '#') + tail;
    ASSERT_EQ(text.size(), SensorSimulation::MaxFileSize);
    const struct
    {
        QByteArray content; // empty: the file is removed
        Result result;
        int warnings;
        SensorStickValues values;
    } steps[] = {
        {{}, Result::Unreadable, 1, {}},
        {{}, Result::Unreadable, 0, {}},
        {text, Result::Applied, 0, {7000, 1, false, false, true, false}},
        {QByteArray(5000, '\n'), Result::TooBig, 1, {7000, 1, false, false, true, false}},
        {QByteArray(5000, '\n'), Result::TooBig, 0, {7000, 1, false, false, true, false}},
        {{}, Result::Unreadable, 1, {7000, 1, false, false, true, false}},
        {QByteArray(5000, '\n'), Result::TooBig, 1, {7000, 1, false, false, true, false}},
        {"raw_temp=6500\n", Result::Applied, 0, {6500, 1, false, false, true, false}},
        {QByteArray(5000, '\n'), Result::TooBig, 1, {6500, 1, false, false, true, false}},
    };
    int step = 0;
    for (const auto &s : steps) {
        SCOPED_TRACE(++step);
        if (s.content.isEmpty())
            QFile::remove(path);
        else
            writeFile(path, s.content);
        EXPECT_EQ(reader.apply(values), s.result);
        EXPECT_EQ(values, s.values);
        EXPECT_EQ(warnings.take().size(), s.warnings);
    }
}

TEST(SensorPortFactory, SimulationOnlyForItsPortWhenTheVariableIsSet)
{
    QTemporaryDir dir;
    const QByteArray file = dir.filePath("sim.txt").toLocal8Bit();
    auto isSimulated = [](const std::unique_ptr<SerialLines> &lines) {
        return dynamic_cast<SimulatedSensorPort *>(lines.get()) != nullptr;
    };

    unsetenv(SensorSimulation::EnvironmentVariable);
    EXPECT_FALSE(SensorSimulation::enabled());
    SerialLinesFactory factory = defaultSerialLinesFactory();
    EXPECT_FALSE(isSimulated(factory("\\\\.\\COM3")));

    setenv(SensorSimulation::EnvironmentVariable, file.constData(), 1);
    EXPECT_TRUE(SensorSimulation::enabled());
    EXPECT_EQ(SensorSimulation::file(), QString::fromLocal8Bit(file));
    EXPECT_TRUE(isSimulated(factory("\\\\.\\COM3")));
    EXPECT_FALSE(isSimulated(factory("\\\\.\\COM4")));
    EXPECT_FALSE(isSimulated(factory("\\\\.\\COM13")));
    unsetenv(SensorSimulation::EnvironmentVariable);
}

#include <fcntl.h>
#include <stdlib.h>
#include <unistd.h>

// A pseudo-terminal stands in for a serial device: it opens, exclusively,
// but has no modem lines to read.
TEST(SensorPortQtSerialLines, OpensADeviceExclusively)
{
    const int master = posix_openpt(O_RDWR | O_NOCTTY);
    ASSERT_GE(master, 0);
    ASSERT_EQ(grantpt(master), 0);
    ASSERT_EQ(unlockpt(master), 0);
    const QByteArray device = ptsname(master);

    QtSerialLines lines(device);
    ASSERT_TRUE(lines.open(19200));
    EXPECT_TRUE(lines.isOpen());
    lines.setRts(true);
    lines.setDtr(false);
    EXPECT_EQ(lines.modemStatus(), std::nullopt) << "a pty has no modem status";

    QtSerialLines second(device);
    EXPECT_FALSE(second.open(19200));

    lines.close();
    EXPECT_FALSE(lines.isOpen());
    EXPECT_TRUE(second.open(19200));
    second.close();
    ::close(master);
}

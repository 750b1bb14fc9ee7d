#include "support/FakePortDirectory.h"

#include <gtest/gtest.h>

#include <QDir>
#include <QFile>
#include <QTemporaryDir>

void PrintTo(const FtdiDeviceEntry &e, std::ostream *os)
{
    *os << e.instanceName.constData() << " / " << e.description.constData() << " / "
        << e.friendlyName.constData();
}

namespace {

// A small sysfs tree: class/tty/ttyUSBn/device points at the port below the
// USB interface, whose parent is the USB device.
class FakeSysfs
{
public:
    void addUsbTty(const QString &tty, const QString &usbDevice, int interfaceNumber,
                   const QByteArray &vendor, const QByteArray &serial)
    {
        const QString dev = root() + "/devices/usb1/" + usbDevice;
        const QString iface = dev + "/" + usbDevice + QString(":1.%1").arg(interfaceNumber);
        QDir().mkpath(iface + "/" + tty);
        write(dev + "/idVendor", vendor + "\n");
        if (!serial.isEmpty())
            write(dev + "/serial", serial + "\n");
        write(iface + "/bInterfaceNumber",
              QByteArray::number(interfaceNumber, 16).rightJustified(2, '0') + "\n");
        const QString cls = root() + "/class/tty/" + tty;
        QDir().mkpath(cls);
        QFile::link(iface + "/" + tty, cls + "/device");
    }
    void addPlainTty(const QString &tty) { QDir().mkpath(root() + "/class/tty/" + tty); }
    QString root() const { return m_dir.path(); }

private:
    static void write(const QString &path, const QByteArray &bytes)
    {
        QFile f(path);
        if (f.open(QIODevice::WriteOnly))
            f.write(bytes);
    }
    QTemporaryDir m_dir;
};

} // namespace

TEST(PortDirectory, LinuxDirectoryListsUsbPortsAndFtdiInstances)
{
    FakeSysfs sys;
    sys.addUsbTty("ttyUSB3", "1-1", 0, "0403", "FT4711XY");  // FT232: COM4, interface A
    sys.addUsbTty("ttyUSB9", "1-2", 1, "0403", "FT2232AB");  // second interface of a dual chip: B
    sys.addUsbTty("ttyUSB0", "1-3", 0, "067b", "PL0000001"); // another vendor: port, no FTDI instance
    sys.addUsbTty("ttyUSB4", "1-4", 0, "0403", "");          // FTDI without serial number
    sys.addPlainTty("ttyS0");
    sys.addPlainTty("ttyUSBx");

    LinuxPortDirectory dir(sys.root());
    QList<QByteArray> names = dir.dosDeviceNames();
    std::sort(names.begin(), names.end());
    EXPECT_EQ(names, (QList<QByteArray>{"COM1", "COM10", "COM4", "COM5"}));

    QList<FtdiDeviceEntry> devices = dir.ftdiDevices();
    std::sort(devices.begin(), devices.end(),
              [](const auto &a, const auto &b) { return a.instanceName < b.instanceName; });
    EXPECT_EQ(devices, (QList<FtdiDeviceEntry>{
                           {"FT2232ABB", "USB Serial Port", "USB Serial Port (COM10)"},
                           {"FT4711XYA", "USB Serial Port", "USB Serial Port (COM4)"},
                       }));
}

TEST(PortDirectory, TtyNamesMapToComNumbersOneHigher)
{
    const struct
    {
        const char *tty;
        QByteArray dos;
    } cases[] = {{"ttyUSB0", "COM1"}, {"ttyUSB3", "COM4"}, {"ttyUSB15", "COM16"}, {"ttyUSB", ""},
                 {"ttyUSB+1", ""},    {"ttyACM0", ""},     {"ttyS0", ""}};
    for (const auto &c : cases)
        EXPECT_EQ(LinuxPortDirectory::dosNameForTty(c.tty), c.dos) << c.tty;
}

TEST(PortDirectory, SimulatedSensorBringsItsOwnAdapter)
{
    qputenv("KLIMAWARTE_SENSOR_SIM", "/tmp/sensor-sim.txt");
    const PortDirectory &dir = PortDirectory::system();
    const QList<QByteArray> names = dir.dosDeviceNames();
    const QList<FtdiDeviceEntry> devices = dir.ftdiDevices();
    qunsetenv("KLIMAWARTE_SENSOR_SIM");
    EXPECT_EQ(names, QList<QByteArray>{"COM3"});
    EXPECT_EQ(devices, (QList<FtdiDeviceEntry>{{"SIM1234A", "USB Serial Port", "USB Serial Port (COM3)"}}));
    EXPECT_NE(dynamic_cast<const LinuxPortDirectory *>(&PortDirectory::system()), nullptr);
}

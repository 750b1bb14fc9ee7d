#include "platform/PortDirectory.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>

namespace {

QByteArray readAttribute(const QString &dir, const char *name)
{
    QFile f(dir + QLatin1Char('/') + QLatin1String(name));
    if (!f.open(QIODevice::ReadOnly))
        return QByteArray();
    return f.readAll().trimmed();
}

struct UsbTty
{
    QString ttyName;
    QByteArray dosName;
    QString interfaceDir; // the USB interface the tty belongs to
    QString deviceDir;    // the USB device with idVendor and serial
};

QList<UsbTty> usbTtys(const QString &root)
{
    QList<UsbTty> out;
    const QDir classDir(root + QStringLiteral("/class/tty"));
    const QStringList names = classDir.entryList(
        {QStringLiteral("ttyUSB*")}, QDir::AllEntries | QDir::NoDotAndDotDot | QDir::System, QDir::Name);
    for (const QString &name : names) {
        UsbTty t;
        t.ttyName = name;
        t.dosName = LinuxPortDirectory::dosNameForTty(name);
        if (t.dosName.isEmpty())
            continue;
        // class/tty/ttyUSBn/device -> .../<usb device>/<interface>/ttyUSBn
        const QString port =
            QFileInfo(classDir.filePath(name) + QStringLiteral("/device")).canonicalFilePath();
        if (!port.isEmpty()) {
            t.interfaceDir = QFileInfo(port).path();
            t.deviceDir = QFileInfo(t.interfaceDir).path();
        }
        out.append(t);
    }
    return out;
}

} // namespace

const PortDirectory &PortDirectory::system()
{
    if (!qgetenv("KLIMAWARTE_SENSOR_SIM").isEmpty()) {
        static SimulatedPortDirectory simulated;
        return simulated;
    }
    static LinuxPortDirectory machine;
    return machine;
}

LinuxPortDirectory::LinuxPortDirectory(QString sysfsRoot)
    : m_root(std::move(sysfsRoot))
{}

QByteArray LinuxPortDirectory::dosNameForTty(const QString &ttyName)
{
    static const QLatin1String prefix("ttyUSB");
    if (!ttyName.startsWith(prefix))
        return QByteArray();
    const QString digits = ttyName.mid(prefix.size());
    bool ok = false;
    const uint n = digits.toUInt(&ok, 10);
    if (!ok || digits.isEmpty() || !digits.at(0).isDigit() || n > 100000)
        return QByteArray();
    return "COM" + QByteArray::number(n + 1);
}

QList<QByteArray> LinuxPortDirectory::dosDeviceNames() const
{
    QList<QByteArray> out;
    for (const UsbTty &t : usbTtys(m_root))
        out.append(t.dosName);
    return out;
}

QList<FtdiDeviceEntry> LinuxPortDirectory::ftdiDevices() const
{
    QList<FtdiDeviceEntry> out;
    for (const UsbTty &t : usbTtys(m_root)) {
        if (t.deviceDir.isEmpty() || readAttribute(t.deviceDir, "idVendor").toLower() != "0403")
            continue;
        const QByteArray serial = readAttribute(t.deviceDir, "serial");
        if (serial.isEmpty())
            continue;
        bool ok = false;
        const int iface = readAttribute(t.interfaceDir, "bInterfaceNumber").toInt(&ok, 16);
        const char letter = static_cast<char>('A' + ((ok && iface >= 0 && iface < 26) ? iface : 0));
        out.append({serial + letter, "USB Serial Port", "USB Serial Port (" + t.dosName + ")"});
    }
    return out;
}

QList<QByteArray> SimulatedPortDirectory::dosDeviceNames() const
{
    return {"COM3"};
}

QList<FtdiDeviceEntry> SimulatedPortDirectory::ftdiDevices() const
{
    return {{"SIM1234A", "USB Serial Port", "USB Serial Port (COM3)"}};
}

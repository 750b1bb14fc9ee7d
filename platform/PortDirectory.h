#pragma once

#include <QByteArray>
#include <QList>
#include <QString>

// One device instance of the FTDI driver, with the texts the driver shows for
// it: the device description ("USB Serial Port" for a serial port) and the
// friendly name ("USB Serial Port (COM4)").
struct FtdiDeviceEntry
{
    QByteArray instanceName; // USB serial number + interface letter ("A" for the first)
    QByteArray description;
    QByteArray friendlyName;

    bool operator==(const FtdiDeviceEntry &) const = default;
};

// The serial ports of this machine as the station sees them: the DOS device
// names ("COM1", "COM4", ...) and the device instances of FTDI adapters.
class PortDirectory
{
public:
    virtual ~PortDirectory() = default;

    virtual QList<QByteArray> dosDeviceNames() const = 0;
    virtual QList<FtdiDeviceEntry> ftdiDevices() const = 0;

    // The directory of this machine: the simulated adapter when
    // KLIMAWARTE_SENSOR_SIM is set, else the Linux directory.
    static const PortDirectory &system();
};

// Linux: USB serial ports from sysfs. ttyUSBn is "COM(n+1)"; adapters with the
// FTDI vendor identifier 0x0403 are listed as device instances named after
// their USB serial number and interface ("A", "B", ... from interface 0).
class LinuxPortDirectory : public PortDirectory
{
public:
    explicit LinuxPortDirectory(QString sysfsRoot = QStringLiteral("/sys"));

    QList<QByteArray> dosDeviceNames() const override;
    QList<FtdiDeviceEntry> ftdiDevices() const override;

    // "COM4" for "ttyUSB3"; empty for any other name.
    static QByteArray dosNameForTty(const QString &ttyName);

private:
    QString m_root;
};

// The simulated sensor stick's adapter: one FTDI port COM3 named SIM1234A.
class SimulatedPortDirectory : public PortDirectory
{
public:
    QList<QByteArray> dosDeviceNames() const override;
    QList<FtdiDeviceEntry> ftdiDevices() const override;
};

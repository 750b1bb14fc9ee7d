#pragma once

#include "platform/PortDirectory.h"

// A directory filled by the test.
class FakePortDirectory : public PortDirectory
{
public:
    QList<QByteArray> dosDeviceNames() const override { return dosNames; }
    QList<FtdiDeviceEntry> ftdiDevices() const override { return devices; }

    // Adds an FTDI serial port with the driver's texts for `dosName`.
    void addFtdiPort(const QByteArray &instanceName, const QByteArray &dosName)
    {
        dosNames.append(dosName);
        devices.append({instanceName, "USB Serial Port", "USB Serial Port (" + dosName + ")"});
    }

    QList<QByteArray> dosNames;
    QList<FtdiDeviceEntry> devices;
};

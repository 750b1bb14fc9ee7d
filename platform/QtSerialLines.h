#pragma once

#include "platform/SerialLines.h"

#include <QByteArray>

#include <memory>

class QSerialPort;

// SerialLines on a real serial port through QSerialPort. "\\.\COMn" (or
// "COMn") is the n-th FTDI adapter, /dev/ttyUSB(n-1); a path that starts with
// "/" is taken as it is.
class QtSerialLines : public SerialLines
{
public:
    explicit QtSerialLines(const QByteArray &devicePath);
    ~QtSerialLines() override;

    bool open(qint32 baudRate) override;
    void close() override;
    bool isOpen() const override;
    void setRts(bool on) override;
    void setDtr(bool on) override;
    std::optional<quint32> modemStatus() override;

    // The Linux device of a port path; empty when the path names no port.
    static QByteArray linuxDevice(const QByteArray &devicePath);

private:
    QByteArray m_device;
    std::unique_ptr<QSerialPort> m_port;
};

#include "platform/QtSerialLines.h"

#include <QSerialPort>

QtSerialLines::QtSerialLines(const QByteArray &devicePath)
    : m_device(linuxDevice(devicePath))
{}

QtSerialLines::~QtSerialLines()
{
    close();
}

QByteArray QtSerialLines::linuxDevice(const QByteArray &devicePath)
{
    if (devicePath.startsWith('/'))
        return devicePath;
    QByteArray name = devicePath;
    if (name.startsWith("\\\\.\\"))
        name = name.mid(4);
    if (name.size() < 4 || name.left(3).toUpper() != "COM")
        return {};
    const QByteArray digits = name.mid(3);
    for (char c : digits)
        if (c < '0' || c > '9')
            return {};
    bool ok = false;
    const int n = digits.toInt(&ok);
    if (!ok || n < 1)
        return {};
    return "/dev/ttyUSB" + QByteArray::number(n - 1);
}

bool QtSerialLines::open(qint32 baudRate)
{
    close();
    if (m_device.isEmpty())
        return false;
    auto port = std::make_unique<QSerialPort>();
    port->setPortName(QString::fromLocal8Bit(m_device));
    // QSerialPort opens the device exclusively (TIOCEXCL and a lock file).
    if (!port->open(QIODevice::ReadWrite))
        return false;
    // As on the original platform, the results of the settings calls are
    // not checked: the sensor bus never uses the data stream.
    port->setBaudRate(baudRate);
    port->setFlowControl(QSerialPort::NoFlowControl);
    m_port = std::move(port);
    return true;
}

void QtSerialLines::close()
{
    if (m_port) {
        m_port->close();
        m_port.reset();
    }
}

bool QtSerialLines::isOpen() const
{
    return m_port && m_port->isOpen();
}

void QtSerialLines::setRts(bool on)
{
    if (m_port)
        m_port->setRequestToSend(on);
}

void QtSerialLines::setDtr(bool on)
{
    if (m_port)
        m_port->setDataTerminalReady(on);
}

std::optional<quint32> QtSerialLines::modemStatus()
{
    if (!isOpen())
        return std::nullopt;
    m_port->clearError();
    const QSerialPort::PinoutSignals pins = m_port->pinoutSignals();
    if (m_port->error() != QSerialPort::NoError)
        return std::nullopt;
    quint32 status = 0;
    if (pins & QSerialPort::ClearToSendSignal)
        status |= ModemStatus::Cts;
    if (pins & QSerialPort::DataSetReadySignal)
        status |= ModemStatus::Dsr;
    if (pins & QSerialPort::RingIndicatorSignal)
        status |= ModemStatus::Ring;
    if (pins & QSerialPort::DataCarrierDetectSignal)
        status |= ModemStatus::Dcd;
    return status;
}

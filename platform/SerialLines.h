#pragma once

#include <QByteArray>
#include <QtGlobal>

#include <functional>
#include <memory>
#include <optional>

// Modem status bits in the layout of the Windows serial API's status word.
namespace ModemStatus {
constexpr quint32 Cts = 0x10;
constexpr quint32 Dsr = 0x20;
constexpr quint32 Ring = 0x40;
constexpr quint32 Dcd = 0x80; // receive-line-signal detect
} // namespace ModemStatus

// The modem control lines of one serial port. The sensor bus drives RTS and
// DTR and reads DSR; RING and DCD carry the two contact inputs. No byte is
// ever written to or read from the data stream.
class SerialLines
{
public:
    virtual ~SerialLines() = default;

    // Opens the port exclusively at baudRate, without flow control, with DTR
    // and RTS under program control only. false when the port cannot be
    // opened. Settings that cannot be applied are not reported; an
    // implementation may throw std::exception when configuring breaks down.
    virtual bool open(qint32 baudRate) = 0;
    virtual void close() = 0;
    virtual bool isOpen() const = 0;

    virtual void setRts(bool on) = 0;
    virtual void setDtr(bool on) = 0;

    // DSR, RING, DCD and CTS as ModemStatus bits; nullopt when the status
    // cannot be read (for instance with the port closed).
    virtual std::optional<quint32> modemStatus() = 0;
};

// Creates the lines of the port with the given device path ("\\.\COM3").
// Called on the thread that then owns the lines.
using SerialLinesFactory = std::function<std::unique_ptr<SerialLines>(const QByteArray &devicePath)>;

// The station's factory: the simulated sensor stick of the sensor
// simulation file for its port when KLIMAWARTE_SENSOR_SIM names a file,
// otherwise the real serial port.
SerialLinesFactory defaultSerialLinesFactory();

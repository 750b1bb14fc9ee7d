#pragma once

#include "platform/SerialLines.h"

#include <QByteArray>
#include <QString>

#include <functional>
#include <memory>
#include <mutex>

// What the simulated stick measures and how it behaves.
struct SensorStickValues
{
    qint32 rawTemp = 6000;     // temperature ticks
    qint32 rawHumidity = 1500; // humidity ticks
    bool ring = false;         // contact input 1 active
    bool dcd = false;          // contact input 2 active
    bool ack = true;           // the sensor acknowledges commands
    bool zero = false;         // the sensor answers 0,0,0

    bool operator==(const SensorStickValues &) const = default;
};

// A sensor stick on a serial adapter's modem lines, simulated bit by bit as
// the real two-wire sensor answers: a transmission start (data falls and
// rises while the clock is high), eight command bits sampled on the rising
// clock edge, the acknowledge pulled low for the ninth pulse, then three
// answer bytes shifted out most significant bit first, each changed after a
// falling clock edge and acknowledged by the master; nine or more clock
// pulses with the data line released reset the interface. Commands 0x03
// (temperature) and 0x05 (humidity) are answered with the raw ticks and the
// sensor's CRC-8 check byte (sent bit-reversed, as the real sensor does).
//
// The data line is open-drain: it is low when the master or the sensor pulls
// it low. In normal operation the adapter inverts every line (the bus
// master then runs with its line inversion on): the clock is high when RTS is
// clear, the data line is released when DTR is clear and DSR is on while the
// line is low. A stick built with inverted = false follows the lines as they
// are. RING and DCD are clear while their contact is active.
//
// Thread-safe: a test may change the values while the measurement thread
// talks to the stick.
class SimulatedSensorStick
{
public:
    explicit SimulatedSensorStick(bool inverted = true);

    void setValues(const SensorStickValues &values);
    SensorStickValues values() const;
    void setRawTemp(qint32 ticks);
    void setRawHumidity(qint32 ticks);
    void setRing(bool active);
    void setDcd(bool active);
    void setAcknowledge(bool ack);
    void setZeroAnswer(bool zero);

    // Called with the values before every command the stick receives; it may
    // change them (the file-driven stick re-reads its file here).
    void setBeforeQuery(std::function<void(SensorStickValues &)> hook);

    // Port behaviour: the open is refused (no such device), or configuring
    // the opened port throws.
    void setOpenRefused(bool refused);
    void setConfigureThrows(bool throws);

    // What the stick saw.
    int opens() const;
    bool portOpen() const;
    qint32 baudRate() const;
    int commandsReceived() const;
    int lastCommand() const;
    int answersCompleted() const; // answers whose three bytes were all read

    // The sensor's check byte for a command and its two answer bytes, as
    // sent on the bus (bit-reversed CRC-8).
    static quint8 checkByte(quint8 command, quint8 high, quint8 low);

    // Used by SimulatedSensorPort.
    bool attach(qint32 baudRate); // false: refused or already open
    void detach();
    void lines(bool rts, bool dtr);
    quint32 modemStatus() const;

private:
    enum class Bus { Idle, Command, AckOut, Answer, MasterAck };

    bool clockLevel(bool rts) const { return m_inverted ? !rts : rts; }
    bool dataLevel(bool dtr) const { return m_inverted ? !dtr : dtr; }
    bool lineLevel() const { return m_masterData && m_sensorData; }
    void risingEdge();
    void fallingEdge();
    void startAnswer();
    bool answerBit() const;
    void resetBus();

    mutable std::mutex m_mutex;
    const bool m_inverted;
    SensorStickValues m_values;
    std::function<void(SensorStickValues &)> m_beforeQuery;
    bool m_openRefused = false;
    bool m_configureThrows = false;
    bool m_open = false;
    int m_opens = 0;
    qint32 m_baudRate = 0;

    // bus state
    bool m_clock = false;
    bool m_masterData = true; // true = released
    bool m_sensorData = true;
    bool m_startArmed = false;
    int m_releasedPulses = 0;
    Bus m_bus = Bus::Idle;
    int m_bitCount = 0;
    quint8 m_command = 0;
    quint8 m_answer[3] = {0, 0, 0};
    int m_byte = 0;
    int m_bit = 0;
    bool m_masterAcked = false;
    int m_commands = 0;
    int m_lastCommand = -1;
    int m_answersCompleted = 0;
};

// The serial lines of the port on which a simulated stick hangs.
class SimulatedSensorPort : public SerialLines
{
public:
    explicit SimulatedSensorPort(std::shared_ptr<SimulatedSensorStick> stick);
    ~SimulatedSensorPort() override;

    bool open(qint32 baudRate) override;
    void close() override;
    bool isOpen() const override { return m_open; }
    void setRts(bool on) override;
    void setDtr(bool on) override;
    std::optional<quint32> modemStatus() override;

private:
    std::shared_ptr<SimulatedSensorStick> m_stick;
    bool m_open = false;
    bool m_rts = false;
    bool m_dtr = false;
};

// The sensor simulation selected from outside the program: when the
// environment variable names a file, the station offers one FTDI port
// "COM3:" (device instance "SIM1234A") with a simulated stick that re-reads
// the file before every query. The file holds key=value lines: raw_temp,
// raw_humidity (ticks), ring, dcd (1 = contact active), ack (0 = no
// acknowledge), zero (1 = answer 0,0,0); a missing key keeps its last value.
namespace SensorSimulation {

inline constexpr char EnvironmentVariable[] = "KLIMAWARTE_SENSOR_SIM";
inline constexpr char PortName[] = "COM3:";
inline constexpr char DevicePath[] = "\\\\.\\COM3";
inline constexpr char DeviceInstance[] = "SIM1234A";

// The file named by the environment variable; empty when it is not set.
QString file();
bool enabled();

// Applies the keys present in the file's text to values.
void applyFile(const QByteArray &text, SensorStickValues &values);

// The longest file that is read; a longer one is not read at all.
inline constexpr qint64 MaxFileSize = 4096;

// Reads one stick's file: never more than MaxFileSize + 1 bytes, so that
// neither a huge file nor an endless device (/dev/zero) costs more than that.
// When the file cannot be read or is longer than MaxFileSize, the values stay
// as they were and the reason is reported once on standard error; it is
// reported again only after a read succeeded or for another reason.
class FileReader
{
public:
    enum class Result { Applied, Unreadable, TooBig };

    explicit FileReader(QString path)
        : m_path(std::move(path))
    {}
    Result apply(SensorStickValues &values);

private:
    QString m_path;
    Result m_reported = Result::Applied;
};

// A stick that reads its values from the file (through a FileReader) before
// every query; the values of the last read stay when the file cannot be read
// or is too long.
std::shared_ptr<SimulatedSensorStick> fileDrivenStick(const QString &path);

// The file-driven stick of this process for the file the environment names
// now (created on first use, and again when the variable names another file).
std::shared_ptr<SimulatedSensorStick> processStick();

} // namespace SensorSimulation

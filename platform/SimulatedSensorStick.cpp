#include "platform/SimulatedSensorStick.h"

#include <QFile>
#include <QList>

#include <cerrno>
#include <stdexcept>

#include <fcntl.h>
#include <unistd.h>

namespace {

quint8 reversed(quint8 v)
{
    quint8 r = 0;
    for (int i = 0; i < 8; ++i)
        if (v & (1u << i))
            r |= static_cast<quint8>(0x80u >> i);
    return r;
}

} // namespace

SimulatedSensorStick::SimulatedSensorStick(bool inverted)
    : m_inverted(inverted)
{}

void SimulatedSensorStick::setValues(const SensorStickValues &values)
{
    std::lock_guard lock(m_mutex);
    m_values = values;
}

SensorStickValues SimulatedSensorStick::values() const
{
    std::lock_guard lock(m_mutex);
    return m_values;
}

void SimulatedSensorStick::setRawTemp(qint32 ticks)
{
    std::lock_guard lock(m_mutex);
    m_values.rawTemp = ticks;
}

void SimulatedSensorStick::setRawHumidity(qint32 ticks)
{
    std::lock_guard lock(m_mutex);
    m_values.rawHumidity = ticks;
}

void SimulatedSensorStick::setRing(bool active)
{
    std::lock_guard lock(m_mutex);
    m_values.ring = active;
}

void SimulatedSensorStick::setDcd(bool active)
{
    std::lock_guard lock(m_mutex);
    m_values.dcd = active;
}

void SimulatedSensorStick::setAcknowledge(bool ack)
{
    std::lock_guard lock(m_mutex);
    m_values.ack = ack;
}

void SimulatedSensorStick::setZeroAnswer(bool zero)
{
    std::lock_guard lock(m_mutex);
    m_values.zero = zero;
}

void SimulatedSensorStick::setBeforeQuery(std::function<void(SensorStickValues &)> hook)
{
    std::lock_guard lock(m_mutex);
    m_beforeQuery = std::move(hook);
}

void SimulatedSensorStick::setOpenRefused(bool refused)
{
    std::lock_guard lock(m_mutex);
    m_openRefused = refused;
}

void SimulatedSensorStick::setConfigureThrows(bool throws)
{
    std::lock_guard lock(m_mutex);
    m_configureThrows = throws;
}

int SimulatedSensorStick::opens() const
{
    std::lock_guard lock(m_mutex);
    return m_opens;
}

bool SimulatedSensorStick::portOpen() const
{
    std::lock_guard lock(m_mutex);
    return m_open;
}

qint32 SimulatedSensorStick::baudRate() const
{
    std::lock_guard lock(m_mutex);
    return m_baudRate;
}

int SimulatedSensorStick::commandsReceived() const
{
    std::lock_guard lock(m_mutex);
    return m_commands;
}

int SimulatedSensorStick::lastCommand() const
{
    std::lock_guard lock(m_mutex);
    return m_lastCommand;
}

int SimulatedSensorStick::answersCompleted() const
{
    std::lock_guard lock(m_mutex);
    return m_answersCompleted;
}

quint8 SimulatedSensorStick::checkByte(quint8 command, quint8 high, quint8 low)
{
    // CRC-8, polynomial x^8 + x^5 + x^4 + 1, start value 0 (status register
    // at its default), over the command and both answer bytes.
    quint8 crc = 0;
    for (quint8 b : {command, high, low}) {
        crc ^= b;
        for (int i = 0; i < 8; ++i)
            crc = (crc & 0x80) ? static_cast<quint8>((crc << 1) ^ 0x31) : static_cast<quint8>(crc << 1);
    }
    return reversed(crc);
}

bool SimulatedSensorStick::attach(qint32 baudRate)
{
    std::lock_guard lock(m_mutex);
    if (m_openRefused || m_open)
        return false;
    m_open = true;
    ++m_opens;
    m_baudRate = baudRate;
    resetBus();
    m_clock = false;
    m_masterData = true;
    m_releasedPulses = 0;
    if (m_configureThrows)
        throw std::runtime_error("simulated port cannot be configured");
    return true;
}

void SimulatedSensorStick::detach()
{
    std::lock_guard lock(m_mutex);
    m_open = false;
    resetBus();
}

void SimulatedSensorStick::resetBus()
{
    m_bus = Bus::Idle;
    m_sensorData = true;
    m_startArmed = false;
    m_bitCount = 0;
    m_command = 0;
    m_byte = 0;
    m_bit = 0;
}

void SimulatedSensorStick::lines(bool rts, bool dtr)
{
    std::lock_guard lock(m_mutex);
    const bool clock = clockLevel(rts);
    const bool master = dataLevel(dtr);
    if (!m_open) {
        m_clock = clock;
        m_masterData = master;
        return;
    }
    const bool lineBefore = lineLevel();
    m_masterData = master;
    if (clock && !m_clock) {
        m_clock = true;
        risingEdge();
    } else if (!clock && m_clock) {
        m_clock = false;
        fallingEdge();
    } else if (m_clock && lineLevel() != lineBefore) {
        // Data changes while the clock is high: the transmission start.
        if (!lineLevel()) {
            m_startArmed = true;
        } else if (m_startArmed) {
            m_startArmed = false;
            m_bus = Bus::Command;
            m_sensorData = true;
            m_bitCount = 0;
            m_command = 0;
        }
    }
}

void SimulatedSensorStick::risingEdge()
{
    const bool line = lineLevel();
    if (line) {
        if (++m_releasedPulses >= 9) {
            resetBus();
            return;
        }
    } else {
        m_releasedPulses = 0;
    }
    switch (m_bus) {
    case Bus::Command:
        if (m_bitCount < 8) {
            m_command = static_cast<quint8>((m_command << 1) | (line ? 1 : 0));
            ++m_bitCount;
        }
        break;
    case Bus::MasterAck:
        m_masterAcked = !line;
        break;
    default:
        break;
    }
}

void SimulatedSensorStick::fallingEdge()
{
    switch (m_bus) {
    case Bus::Idle:
        break;
    case Bus::Command:
        if (m_bitCount == 8) {
            ++m_commands;
            m_lastCommand = m_command;
            if (m_beforeQuery)
                m_beforeQuery(m_values);
            if (m_values.ack && (m_command == 0x03 || m_command == 0x05)) {
                m_sensorData = false; // acknowledge for the ninth pulse
                m_bus = Bus::AckOut;
            } else {
                m_bus = Bus::Idle;
            }
        }
        break;
    case Bus::AckOut:
        startAnswer();
        break;
    case Bus::Answer:
        if (++m_bit == 8) {
            m_sensorData = true; // the master acknowledges the byte
            m_masterAcked = false;
            m_bus = Bus::MasterAck;
        } else {
            m_sensorData = answerBit();
        }
        break;
    case Bus::MasterAck:
        if (m_byte == 2) {
            ++m_answersCompleted;
            resetBus();
        } else if (!m_masterAcked) {
            resetBus();
        } else {
            ++m_byte;
            m_bit = 0;
            m_bus = Bus::Answer;
            m_sensorData = answerBit();
        }
        break;
    }
}

void SimulatedSensorStick::startAnswer()
{
    // The measurement is done at once: the first bit follows the acknowledge.
    if (m_values.zero) {
        m_answer[0] = m_answer[1] = m_answer[2] = 0;
    } else {
        const qint32 raw = m_command == 0x03 ? m_values.rawTemp : m_values.rawHumidity;
        m_answer[0] = static_cast<quint8>((raw >> 8) & 0xFF);
        m_answer[1] = static_cast<quint8>(raw & 0xFF);
        m_answer[2] = checkByte(m_command, m_answer[0], m_answer[1]);
    }
    m_byte = 0;
    m_bit = 0;
    m_bus = Bus::Answer;
    m_sensorData = answerBit();
}

bool SimulatedSensorStick::answerBit() const
{
    return (m_answer[m_byte] >> (7 - m_bit)) & 1;
}

quint32 SimulatedSensorStick::modemStatus() const
{
    std::lock_guard lock(m_mutex);
    quint32 status = ModemStatus::Cts;
    const bool line = lineLevel();
    if (m_inverted ? !line : line)
        status |= ModemStatus::Dsr;
    if (!m_values.ring)
        status |= ModemStatus::Ring;
    if (!m_values.dcd)
        status |= ModemStatus::Dcd;
    return status;
}

// ---------------------------------------------------------------------------

SimulatedSensorPort::SimulatedSensorPort(std::shared_ptr<SimulatedSensorStick> stick)
    : m_stick(std::move(stick))
{}

SimulatedSensorPort::~SimulatedSensorPort()
{
    close();
}

bool SimulatedSensorPort::open(qint32 baudRate)
{
    close();
    m_rts = false;
    m_dtr = false;
    try {
        if (!m_stick->attach(baudRate))
            return false;
    } catch (...) {
        m_open = true; // opened, but configuring failed
        throw;
    }
    m_open = true;
    m_stick->lines(m_rts, m_dtr);
    return true;
}

void SimulatedSensorPort::close()
{
    if (!m_open)
        return;
    m_open = false;
    m_stick->detach();
}

void SimulatedSensorPort::setRts(bool on)
{
    if (!m_open)
        return;
    m_rts = on;
    m_stick->lines(m_rts, m_dtr);
}

void SimulatedSensorPort::setDtr(bool on)
{
    if (!m_open)
        return;
    m_dtr = on;
    m_stick->lines(m_rts, m_dtr);
}

std::optional<quint32> SimulatedSensorPort::modemStatus()
{
    if (!m_open)
        return std::nullopt;
    return m_stick->modemStatus();
}

// ---------------------------------------------------------------------------

namespace SensorSimulation {

QString file()
{
    return qEnvironmentVariable(EnvironmentVariable);
}

bool enabled()
{
    return !file().isEmpty();
}

void applyFile(const QByteArray &text, SensorStickValues &values)
{
    for (QByteArray line : text.split('\n')) {
        line = line.trimmed();
        const qsizetype eq = line.indexOf('=');
        if (line.isEmpty() || line.startsWith('#') || eq <= 0)
            continue;
        const QByteArray key = line.left(eq).trimmed();
        bool ok = false;
        const qint32 value = line.mid(eq + 1).trimmed().toInt(&ok);
        if (!ok)
            continue;
        if (key == "raw_temp")
            values.rawTemp = value;
        else if (key == "raw_humidity")
            values.rawHumidity = value;
        else if (key == "ring")
            values.ring = value != 0;
        else if (key == "dcd")
            values.dcd = value != 0;
        else if (key == "ack")
            values.ack = value != 0;
        else if (key == "zero")
            values.zero = value != 0;
    }
}

FileReader::Result FileReader::apply(SensorStickValues &values)
{
    // Opened without blocking: a named pipe that nobody writes to reads as
    // empty instead of holding up the measurement thread.
    QFile f;
    Result result = Result::Applied;
    QByteArray text;
    QString reason;
    const int fd = ::open(QFile::encodeName(m_path).constData(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0) {
        result = Result::Unreadable;
        reason = qt_error_string(errno);
    } else if (!f.open(fd, QIODevice::ReadOnly, QFileDevice::AutoCloseHandle)) {
        ::close(fd);
        result = Result::Unreadable;
        reason = f.errorString();
    } else {
        text = f.read(MaxFileSize + 1);
        if (f.error() != QFileDevice::NoError) {
            result = Result::Unreadable;
            reason = f.errorString();
        } else if (text.size() > MaxFileSize) {
            result = Result::TooBig;
        }
    }
    if (result == Result::Applied)
        applyFile(text, values);
    else if (result != m_reported && result == Result::Unreadable)
        qWarning("Simulated sensor stick: %s cannot be read (%s); the last values stay",
                 qUtf8Printable(m_path), qUtf8Printable(reason));
    else if (result != m_reported)
        qWarning("Simulated sensor stick: %s is longer than %lld bytes and is not read; the last values stay",
                 qUtf8Printable(m_path), static_cast<long long>(MaxFileSize));
    m_reported = result;
    return result;
}

std::shared_ptr<SimulatedSensorStick> fileDrivenStick(const QString &path)
{
    auto stick = std::make_shared<SimulatedSensorStick>();
    auto reader = std::make_shared<FileReader>(path);
    auto readFile = [reader](SensorStickValues &values) { reader->apply(values); };
    SensorStickValues start;
    readFile(start);
    stick->setValues(start);
    stick->setBeforeQuery(readFile);
    return stick;
}

std::shared_ptr<SimulatedSensorStick> processStick()
{
    static std::mutex mutex;
    static std::shared_ptr<SimulatedSensorStick> stick;
    static QString stickFile;
    std::lock_guard lock(mutex);
    const QString path = file();
    if (!stick || path != stickFile) {
        stick = fileDrivenStick(path);
        stickFile = path;
    }
    return stick;
}

} // namespace SensorSimulation

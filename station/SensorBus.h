#pragma once

#include <QtGlobal>

#include <atomic>

class Clock;
class SerialLines;

// The two-wire sensor bus on the modem lines of the sensor port: clock on
// RTS, data out on DTR, data in on DSR. Every level is inverted while the
// line inversion is not 0. The bus never opens or closes the port; without
// lines (port closed) the line operations do nothing and the data line reads
// as if DSR were off.
class SensorBus
{
public:
    // The clock times the wait before the answer bytes.
    SensorBus(const std::atomic<qint32> &lineInvert, Clock &clock)
        : m_lineInvert(lineInvert)
        , m_clock(clock)
    {}

    void setLines(SerialLines *lines) { m_lines = lines; }
    SerialLines *lines() const { return m_lines; }

    // Line primitives.
    void ClockHigh();
    void ClockLow();
    void DataHigh(); // releases the data line
    void DataLow();
    qint32 ReadBit();

    // Transactions.
    void TransmissionStart();
    void ConnectionReset();
    // 0 = the sensor acknowledged, 1 = it did not.
    qint32 SendCommand(qint32 command);
    // Waits 350 ms for the measurement, then reads count bytes (first to
    // AnswerHigh, second to AnswerLow, every further one to AnswerCheck),
    // acknowledging each; returns the number read.
    qint32 ReadBytes(qint32 count);

    static qint32 ReverseBits(qint32 value);

    // Bytes of the last answer, 0..255 each.
    qint32 AnswerHigh = 0;
    qint32 AnswerLow = 0;
    qint32 AnswerCheck = 0;

    static constexpr qint32 MeasureTemperature = 0x03;
    static constexpr qint32 MeasureHumidity = 0x05;
    static constexpr int MeasureWaitMs = 350;

private:
    bool inverted() const { return m_lineInvert.load() != 0; }
    void rts(bool on);
    void dtr(bool on);

    const std::atomic<qint32> &m_lineInvert;
    Clock &m_clock;
    SerialLines *m_lines = nullptr;
};

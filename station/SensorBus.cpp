#include "station/SensorBus.h"

#include "common/Clock.h"
#include "platform/SerialLines.h"

void SensorBus::rts(bool on)
{
    if (m_lines)
        m_lines->setRts(on);
}

void SensorBus::dtr(bool on)
{
    if (m_lines)
        m_lines->setDtr(on);
}

void SensorBus::ClockHigh()
{
    rts(!inverted());
}

void SensorBus::ClockLow()
{
    rts(inverted());
}

void SensorBus::DataHigh()
{
    dtr(!inverted());
}

void SensorBus::DataLow()
{
    dtr(inverted());
}

qint32 SensorBus::ReadBit()
{
    ClockHigh();
    quint32 status = 0;
    if (m_lines) {
        if (const auto s = m_lines->modemStatus())
            status = *s;
    }
    const bool dsrOn = (status & ModemStatus::Dsr) != 0;
    ClockLow();
    return (inverted() ? !dsrOn : dsrOn) ? 1 : 0;
}

void SensorBus::TransmissionStart()
{
    DataHigh();
    ClockHigh();
    DataLow();
    ClockLow();
    ClockHigh();
    DataHigh();
    ClockLow();
}

void SensorBus::ConnectionReset()
{
    DataHigh();
    ClockLow();
    for (int i = 0; i < 10; ++i) {
        ClockHigh();
        ClockLow();
    }
    TransmissionStart();
}

qint32 SensorBus::SendCommand(qint32 command)
{
    ConnectionReset();
    for (int mask = 0x80; mask != 0; mask >>= 1) {
        if (command & mask)
            DataHigh();
        else
            DataLow();
        ClockHigh();
        if (mask == 0x01)
            DataHigh();
        ClockLow();
    }
    return ReadBit();
}

qint32 SensorBus::ReadBytes(qint32 count)
{
    m_clock.sleep(MeasureWaitMs);
    for (qint32 n = 0; n < count; ++n) {
        qint32 value = 0;
        for (int mask = 0x80; mask != 0; mask >>= 1) {
            ClockHigh();
            if (ReadBit() == 1)
                value |= mask;
            if (mask == 0x01)
                DataLow();
            ClockLow();
        }
        DataLow();
        ClockHigh();
        ClockLow();
        DataHigh();
        if (n == 0)
            AnswerHigh = value;
        else if (n == 1)
            AnswerLow = value;
        else
            AnswerCheck = value;
    }
    DataHigh();
    return count > 0 ? count : 0;
}

qint32 SensorBus::ReverseBits(qint32 value)
{
    qint32 result = 0;
    for (int i = 0; i < 8; ++i)
        if (value & (1 << (7 - i)))
            result |= 1 << i;
    return result;
}

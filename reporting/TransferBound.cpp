#include "reporting/TransferBound.h"

#include "common/Text8.h"
#include "reporting/ReportingTexts.h"

#include <algorithm>

namespace TCPUtils {

namespace {

QByteArray seconds(qint64 ms)
{
    return QByteArray::number((ms + 999) / 1000);
}

qint64 since(const Clock &clock, quint32 start)
{
    return qint64(quint32(clock.tickCount() - start));
}

// What `bytes` take on the link.
qint64 bytesMs(qint64 bytes)
{
    return bytes * 1000 / LinkBytesPerSecond;
}

// The share of the answer wait that a received piece of `bytes` earns.
qint64 pieceShareMs(qint64 bytes)
{
    return FramePaceMs * std::clamp<qint64>(bytes, 0, TransferPieceBytes) / TransferPieceBytes;
}

} // namespace

void throwTooSlow(const char *what, qint64 elapsedMs)
{
    throw ServerTooSlow(Text8::cp(what) + seconds(elapsedMs) + Text8::cp(ReportingTexts::TooSlowEnd));
}

TransferBound::TransferBound(const Clock &clock, std::function<bool()> alarmWaiting)
    : m_clock(clock)
    , m_start(clock.tickCount())
    , m_fileStart(m_start)
    , m_alarmWaiting(std::move(alarmWaiting))
{}

void TransferBound::beginFile()
{
    m_fileStart = m_clock.tickCount();
    m_lastPieceShortMs = 0;
}

void TransferBound::earn(qint64 ms)
{
    // What quick frames earned beyond their time is not kept: the slack is
    // never more than the allowance.
    m_earnedMs = std::min(m_earnedMs + ms, elapsedMs());
}

void TransferBound::frameAnswered(qint64 payloadBytes)
{
    earn(FramePaceMs + bytesMs(payloadBytes));
}

void TransferBound::pieceReceived(qint64 bytes)
{
    const qint64 share = pieceShareMs(bytes);
    m_lastPieceShortMs = FramePaceMs - share;
    earn(share + bytesMs(bytes));
}

void TransferBound::fileFrameReceived()
{
    earn(FramePaceMs + m_lastPieceShortMs);
    m_lastPieceShortMs = 0;
}

qint64 TransferBound::elapsedMs() const
{
    return since(m_clock, m_start);
}

bool TransferBound::alarmWaitedLongEnough()
{
    if (!m_alarmWaiting)
        return false;
    const quint32 now = m_clock.tickCount();
    if (!m_looked || quint32(now - m_lastLook) >= quint32(AlarmLookIntervalMs)) {
        m_looked = true;
        m_lastLook = now;
        const bool waiting = m_alarmWaiting();
        if (waiting && !m_alarmSeen)
            m_alarmSeenAt = now;
        m_alarmSeen = waiting;
    }
    return m_alarmSeen && quint32(now - m_alarmSeenAt) >= quint32(AlarmGraceMs);
}

void TransferBound::check()
{
    using namespace ReportingTexts;
    // The allowance, and the frame under way besides.
    if (elapsedMs() > TransferAllowanceMs + FramePaceMs + m_earnedMs)
        throwTooSlow(FileTooSlow, since(m_clock, m_fileStart));
    if (alarmWaitedLongEnough())
        throw AlarmWaits(Text8::cp(AlarmCut) + seconds(since(m_clock, m_fileStart)) + Text8::cp(AlarmCutEnd));
}

} // namespace TCPUtils

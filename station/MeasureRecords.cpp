#include "station/MeasureRecords.h"

#include "common/Clock.h"
#include "common/LocaleFormat.h"
#include "common/Text8.h"
#include "platform/FileAppend.h"
#include "station/EvaluationTexts.h"
#include "station/LogFile.h"
#include "station/StationCore.h"
#include "station/StationFileNames.h"

#include <QDir>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>

namespace MeasureRecords {

QByteArray fileName(const QByteArray &stationId, const QDateTime &local)
{
    return StationFileNames::measureFileName(stationId, local);
}

QByteArray timestamp(const QDateTime &local)
{
    static const QDate epoch(1970, 1, 1);
    const qint64 days = epoch.daysTo(local.date());
    const QTime t = local.time();
    const qint64 seconds = days * 86400 + t.hour() * 3600 + t.minute() * 60 + t.second();
    return QByteArray::number(static_cast<quint32>(seconds), 16).toUpper().rightJustified(8, '0');
}

char recordState(int channel, double value, ColourState colour)
{
    if (channel == 1 && (value >= PlausibleMax || value < PlausibleMin))
        return 'p';
    return colour == ColourState::Green ? 'g' : 'r';
}

QByteArray recordLine(const QByteArray &stationId, int channel, double value, const QByteArray &unit,
                      ColourState colour, const QDateTime &local)
{
    QByteArray line;
    line += '$';
    line += timestamp(local);
    line += "01";
    line += static_cast<char>('0' + channel);
    line += '.';
    line += recordState(channel, value, colour);
    line += formatFixed2(value, '.');
    line += ';';
    line += unit;
    line += ";;2";
    line += '1';
    line += ';';
    line += StationFileNames::plainId(stationId);
    line += "\r\n";
    return line;
}

} // namespace MeasureRecords

QByteArray MeasureFileName(const QByteArray &stationId, const Clock &clock)
{
    return MeasureRecords::fileName(stationId, clock.localDateTime());
}

int MeasureRecordWriter::appendHeld(const QByteArray &fileName, const QByteArray &set) const
{
    try {
        QByteArray all;
        all.reserve(m_heldBytes + set.size());
        for (const QByteArray &held : m_held)
            all += held;
        all += set;
        return FileAppend::appendWhole(Text8::toQString(fileName), all, FileAppend::Sync::Data);
    } catch (...) {
        return -1;
    }
}

void MeasureRecordWriter::heldWritten(StationCore &core)
{
    if (!m_held.empty() || m_dropped > 0)
        WriteLogLine(core,
                     Text8::cp(EvaluationTexts::RecordsWrittenLate) + QByteArray::number(m_held.size()) +
                         Text8::cp(EvaluationTexts::RecordsDroppedCount) + QByteArray::number(m_dropped));
    clearHeld();
}

void MeasureRecordWriter::clearHeld()
{
    m_held.clear();
    m_heldBytes = 0;
    m_dropped = 0;
    m_failing = false;
}

bool MeasureRecordWriter::write(StationCore &core, const QByteArray &fileName, const QByteArray &set)
{
    const int error = appendHeld(fileName, set);
    if (error == 0) {
        heldWritten(core);
        return true;
    }

    try {
        hold(core, set);
        if (!m_failing) {
            m_failing = true;
            const QString reason = error > 0 ? qt_error_string(error) : QStringLiteral("unexpected error");
            std::fprintf(
                stderr, "klimawarte: cannot write measurement records to %s: %s; they are held back\n",
                qPrintable(QDir::current().absoluteFilePath(Text8::toQString(fileName))), qPrintable(reason));
            std::fflush(stderr);
            WriteLogLine(core, Text8::cp(EvaluationTexts::RecordsHeldBack) + fileName + ": " +
                                   Text8::fromQString(reason));
            core.handover.postToGui([&core] { core.notify(Text8::cp(EvaluationTexts::RecordFailure)); });
        }
    } catch (...) {
        // Out of memory while holding back: the set is lost.
    }
    return false;
}

void MeasureRecordWriter::writeHeldAtEnd(StationCore &core, const QByteArray &fileName, bool transferRunning)
{
    if (m_held.empty())
        return;
    int error = 0;
    if (!transferRunning) {
        error = appendHeld(fileName, QByteArray());
        if (error == 0) {
            heldWritten(core);
            return;
        }
    }

    const qint64 lost = static_cast<qint64>(m_held.size()) + m_dropped;
    clearHeld();
    if (transferRunning) {
        std::fprintf(stderr,
                     "klimawarte: the program ends: %lld held-back measurement record sets are lost "
                     "(the record files are still being sent)\n",
                     static_cast<long long>(lost));
    } else {
        const QString reason = error > 0 ? qt_error_string(error) : QStringLiteral("unexpected error");
        std::fprintf(stderr,
                     "klimawarte: the program ends: %lld held-back measurement record sets are lost "
                     "(cannot write %s: %s)\n",
                     static_cast<long long>(lost),
                     qPrintable(QDir::current().absoluteFilePath(Text8::toQString(fileName))),
                     qPrintable(reason));
    }
    std::fflush(stderr);
    WriteLogLine(core, Text8::cp(EvaluationTexts::RecordsLostAtEnd) + QByteArray::number(lost) +
                           Text8::cp(EvaluationTexts::RecordsLostCount) +
                           Text8::cp(transferRunning ? EvaluationTexts::RecordsLostTransfer
                                                     : EvaluationTexts::RecordsLostUnwritable));
}

void MeasureRecordWriter::hold(StationCore &core, const QByteArray &set)
{
    m_held.push_back(set);
    m_heldBytes += set.size();
    while (m_held.size() > 1 &&
           (static_cast<qsizetype>(m_held.size()) > MaxHeldSets || m_heldBytes > MaxHeldBytes)) {
        m_heldBytes -= m_held.front().size();
        m_held.pop_front();
        if (m_dropped++ == 0) {
            std::fprintf(stderr, "klimawarte: more measurement records held back than can be kept; "
                                 "the oldest are dropped\n");
            std::fflush(stderr);
            WriteLogLine(core, Text8::cp(EvaluationTexts::RecordsDropped));
        }
    }
}

void RecordTimer::setEnabled(bool enabled)
{
    m_enabled = enabled;
    if (enabled)
        m_startTick = m_clock.tickCount();
}

quint32 RecordTimer::elapsed() const
{
    return m_clock.tickCount() - m_startTick;
}

bool RecordTimer::poll()
{
    if (!m_enabled || m_intervalMs <= 0)
        return false;
    const quint32 passed = elapsed();
    const auto interval = static_cast<quint32>(m_intervalMs);
    if (passed < interval)
        return false;
    m_startTick += passed - passed % interval;
    return true;
}

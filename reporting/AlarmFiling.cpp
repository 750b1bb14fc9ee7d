// The alarm bookkeeping of the reporting thread: alarms expire after the
// report interval, new alarms and a failed report become error files.

#include "reporting/AlarmFiling.h"

#include "common/Text8.h"
#include "reporting/ReportingHelpers.h"
#include "reporting/ReportingTexts.h"
#include "station/MeasureRecords.h"
#include "station/StationCore.h"
#include "station/StationFileNames.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QStorageInfo>

#include <algorithm>
#include <iterator>

namespace {

using namespace ReportingTexts;
using namespace ReportingHelpers;

// The alarm groups in the order in which a pass files them.
enum class GroupKind { Limit, Input, Sensor, Cpu };

struct AlarmGroup
{
    quint32 bits;
    quint32 lowBit; // limit groups: the bit of "below the minimum"
    int parameter;
    GroupKind kind;
    const char *name; // quantity's name of line 2; none for the sensor
    const char *unit;
    LimitAlarm StationState::*limit;
};

constexpr quint32 kSensorBits = AlarmBit::SensorQuery | AlarmBit::SensorZero;

const AlarmGroup kGroups[] = {
    {AlarmBit::TempLow | AlarmBit::TempHigh, AlarmBit::TempLow, 1, GroupKind::Limit, NameTemperature,
     UnitDegree, &StationState::AlarmT},
    {AlarmBit::DewPointLow | AlarmBit::DewPointHigh, AlarmBit::DewPointLow, 3, GroupKind::Limit, NameDewPoint,
     UnitDegree, &StationState::AlarmTP},
    {AlarmBit::DistanceLow | AlarmBit::DistanceHigh, AlarmBit::DistanceLow, 4, GroupKind::Limit, NameDistance,
     UnitDegree, &StationState::AlarmT_TP},
    {AlarmBit::HumidityLow | AlarmBit::HumidityHigh, AlarmBit::HumidityLow, 2, GroupKind::Limit, NameHumidity,
     UnitPercent, &StationState::AlarmRH},
    {AlarmBit::Input1, 0, 5, GroupKind::Input, NameInput1, "", nullptr},
    {AlarmBit::Input2, 0, 6, GroupKind::Input, NameInput2, "", nullptr},
    {kSensorBits, 0, 1, GroupKind::Sensor, nullptr, "", nullptr},
    {AlarmBit::Cpu, 0, 7, GroupKind::Cpu, NameCpu, UnitDegree, nullptr},
};

constexpr int kAlarmFilesPerHour = 35; // alarm files are made while the count is below this
constexpr int kLastCounter = 36;       // "["
constexpr int kFailurePauseMs = 5000;

using StationFileNames::errorFileName;

QByteArray twoDigits(int v)
{
    return QByteArray::number(v).rightJustified(2, '0');
}

bool writeAll(QFile &file, const QByteArray &bytes)
{
    return file.write(bytes) == bytes.size();
}

} // namespace

AlarmFiling::AlarmFiling(StationCore &core, ReportThreadState &state)
    : m_core(core)
    , m_state(state)
{
}

void AlarmFiling::expireAlarms()
{
    StationState &s = m_core.state;
    SharedDataLock lock(m_core.semaphore);
    auto expired = [this](TickSeconds alarmTime) { return alarmTime + m_state.ReportInterval < m_state.PassTickTime; };
    auto clear = [&s](quint32 bits) {
        s.AlarmFlags &= ~bits;
        s.FiledAlarmFlags &= ~bits;
        s.ReportedAlarmFlags &= ~bits;
    };
    for (int g = 0; g < 4; ++g) {
        LimitAlarm &a = s.*kGroups[g].limit;
        if (expired(a.AlarmTime) && a.AlarmTime != 0) {
            a.LastAlarmTime = a.AlarmTime;
            a.AlarmTime = 0;
            clear(kGroups[g].bits);
            a.RedCount = 0;
        }
    }
    if (expired(s.AlarmSensor.AlarmTime))
        clear(kSensorBits);
    for (auto [input, bit] :
         {std::pair{&s.AlarmRI, AlarmBit::Input1}, std::pair{&s.AlarmDC, AlarmBit::Input2}}) {
        if (expired(input->AlarmTime) && input->AlarmTime != 0) {
            input->AlarmTime = 0;
            input->Count = 0;
            clear(bit);
        }
    }
    if (expired(s.AlarmCpu.AlarmTime) && s.AlarmCpu.AlarmTime != 0) {
        s.AlarmCpu.LastAlarmTime = s.AlarmCpu.AlarmTime;
        s.AlarmCpu.AlarmTime = 0;
        clear(AlarmBit::Cpu);
        s.AlarmCpu.RedCount = 0;
    }
}

// --- Error files -----------------------------------------------------------

bool AlarmFiling::groupNeedsFile(int g) const
{
    const AlarmGroup &group = kGroups[g];
    const StationState &s = m_core.state;
    const int hour = m_core.clock().localDateTime().time().hour();
    const int filedThisHour = m_state.ErrorFileHour == hour ? m_state.ErrorFileCount : 0;
    if (filedThisHour >= kAlarmFilesPerHour)
        return false;
    if ((s.AlarmFlags & group.bits) == 0 || (s.FiledAlarmFlags & group.bits) != 0)
        return false;
    if (group.kind == GroupKind::Limit)
        return AlarmRepeatDue(m_state.ReportInterval, (s.*group.limit).LastAlarmTime);
    if (group.kind == GroupKind::Cpu)
        return AlarmRepeatDue(m_state.ReportInterval, s.AlarmCpu.LastAlarmTime);
    return true;
}

bool AlarmFiling::fileNewAlarms()
{
    for (int g = 0; g < int(std::size(kGroups)); ++g) {
        bool needed = false;
        {
            SharedDataLock lock(m_core.semaphore);
            needed = groupNeedsFile(g);
        }
        if (needed && !writeGroupErrorFile(g))
            return false;
    }
    return true;
}

bool AlarmFiling::alarmWaiting() const
{
    {
        SharedDataLock lock(m_core.semaphore);
        bool waiting = false;
        for (int g = 0; g < int(std::size(kGroups)) && !waiting; ++g)
            waiting = groupNeedsFile(g);
        if (!waiting)
            return false;
    }
    // A folder that cannot take the error file now (a full disk) gets room
    // when the transfer under way ends and the server's file is deleted: the
    // alarm waits for it, cutting it would only leave the disk full.
    const QStorageInfo disk(QDir::current());
    return !disk.isValid() ||
           (!disk.isReadOnly() && disk.bytesAvailable() >= std::max(disk.blockSize(), 4096));
}

QByteArray AlarmFiling::MakeErrorFileName()
{
    const QDateTime local = m_core.clock().localDateTime();
    const int hour = local.time().hour();
    if (hour != m_state.ErrorFileHour) {
        m_state.ErrorFileHour = hour;
        m_state.ErrorFileCount = 0;
    } else {
        ++m_state.ErrorFileCount;
    }
    if (m_state.ErrorFileCount > kLastCounter)
        m_state.ErrorFileCount = 0;

    // After the counter started again within the hour, a file of the same
    // name may still wait to be sent: it is never replaced, the counter moves
    // on to the next free name. When every name of the hour is taken the
    // name stays taken and making the file fails.
    QByteArray name = errorFileName(m_core.config.StationId, local, m_state.ErrorFileCount);
    for (int tries = 0; tries < kLastCounter && QFileInfo::exists(Text8::toQString(name)); ++tries) {
        if (++m_state.ErrorFileCount > kLastCounter)
            m_state.ErrorFileCount = 0;
        name = errorFileName(m_core.config.StationId, local, m_state.ErrorFileCount);
    }
    return name;
}

QByteArray AlarmFiling::MakeErrorRecord(int kind, const QByteArray &parameter, const QByteArray &text,
                                          const QByteArray &valueText, const QByteArray &unit,
                                          const QByteArray &flag) const
{
    const QDateTime local = m_core.clock().localDateTime();
    const QDate d = local.date();
    const QTime t = local.time();
    QByteArray line = twoDigits(d.day()) + '-' + twoDigits(d.month()) + '-' + twoDigits(d.year() % 100) + ';';
    line += twoDigits(t.hour()) + ':' + twoDigits(t.minute()) + ':' + twoDigits(t.second()) + ';';
    line += "001-" + parameter.rightJustified(3, '0') + ';';
    line += text + ';' + flag + ';';
    if (kind == 2)
        line += valueText + ';' + unit + ';';
    else
        line += ";;";
    line += ";21;" + StationFileNames::plainId(m_core.config.StationId) + "-001;";
    return line;
}

bool AlarmFiling::AlarmRepeatDue(qint32 intervalSeconds, TickSeconds lastAlarmTime) const
{
    const TickSeconds tick = m_core.clock().tickSeconds();
    if (lastAlarmTime == 0)
        return true;
    if (lastAlarmTime + intervalSeconds - 60 < tick)
        return true;
    return lastAlarmTime > tick; // the tick counter wrapped
}

void AlarmFiling::errorFileFailed(const QByteArray &name)
{
    m_core.appendStatusLine(cp(ErrorFileFailed) + name + cp(ErrorFileFailedEnd));
}

bool AlarmFiling::writeLanErrorFile()
{
    const QByteArray name = MakeErrorFileName();
    QFile file(Text8::toQString(name));
    bool ok = file.open(QIODevice::WriteOnly | QIODevice::NewOnly);
    const bool created = ok;
    ok = ok && writeAll(file, MakeErrorRecord(1, "1", cp(LanError), {}, {}, FlagAlarm) + "\r\n") &&
         file.flush();
    file.close();
    ok = ok && file.error() == QFileDevice::NoError;
    if (ok)
        return true;
    if (created)
        file.remove(); // a torn line never goes to the server
    {
        SharedDataLock lock(m_core.semaphore);
        errorFileFailed(name);
        m_state.ReportFailed = true;
    }
    sleepMs(m_core.clock(), kFailurePauseMs);
    return false;
}

bool AlarmFiling::writeGroupErrorFile(int g)
{
    const AlarmGroup &group = kGroups[g];
    StationState &s = m_core.state;

    const QByteArray name = MakeErrorFileName();
    QFile file(Text8::toQString(name));
    bool ok = file.open(QIODevice::WriteOnly | QIODevice::NewOnly);
    const bool created = ok;

    QByteArray text = cp(group.kind == GroupKind::Sensor ? AlarmAtRegulator : AlarmAtParameter);
    QByteArray flag = FlagAlarm;
    if (group.limit == &StationState::AlarmT) {
        SharedDataLock lock(m_core.semaphore);
        if (s.AlarmT.MaxLimit >= 100.0 || s.AlarmT.MinLimit <= -25.0) {
            text = cp(PlausibilityError);
            flag = FlagPlausibility;
        }
    }
    const QByteArray parameter = QByteArray::number(group.parameter);
    ok = ok && writeAll(file, MakeErrorRecord(1, parameter, text, {}, {}, flag) + "\r\n");

    if (ok && group.kind != GroupKind::Sensor) {
        QByteArray value;
        {
            SharedDataLock lock(m_core.semaphore);
            if (group.kind == GroupKind::Limit) {
                const LimitAlarm &a = s.*group.limit;
                const char sep = MeasureRecords::localeDecimalSeparator();
                const bool below = (s.AlarmFlags & group.lowBit) != 0;
                value = ' ' + MeasureRecords::formatFixed2(a.Value, sep) +
                        (below ? BelowMinimum : AboveMaximum) +
                        MeasureRecords::formatFixed2(below ? a.MinLimit : a.MaxLimit, sep);
            } else if (group.kind == GroupKind::Cpu) {
                value =
                    ' ' + QByteArray::number(s.CpuTemp) + AboveMaximum + QByteArray::number(s.CpuTempLimit);
            } else {
                value = ContactValue;
            }
        }
        ok = writeAll(file, MakeErrorRecord(2, parameter, cp(group.name), value, cp(group.unit), FlagAlarm) +
                                "\r\n");
    }
    ok = ok && file.flush();
    file.close();
    ok = ok && file.error() == QFileDevice::NoError;
    if (!ok && created)
        file.remove(); // a torn line never goes to the server

    SharedDataLock lock(m_core.semaphore);
    if (!ok) {
        errorFileFailed(name);
        if (m_state.ErrorFileCount > 0)
            --m_state.ErrorFileCount;
        s.FiledAlarmFlags &= ~group.bits; // the next pass tries again
        m_state.ReportFailed = true;
        lock.unlock();
        sleepMs(m_core.clock(), kFailurePauseMs);
        return false;
    }
    m_state.PendingAlarmFlags |= s.AlarmFlags & group.bits;
    s.FiledAlarmFlags |= m_state.PendingAlarmFlags;
    return true;
}

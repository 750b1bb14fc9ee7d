#include "station/StationCore.h"

StationCore::StationCore(StationView &view)
    : semaphore(&handover)
    , m_view(view)
    , m_activity(state, view)
{}

void StationCore::appendStatusLine(const QByteArray &text)
{
    state.StatusText = text;
    handover.runOnGui([this] { m_activity.appendStatusLine(); });
}

void StationCore::appendStatusLineLocked(const QByteArray &text)
{
    SharedDataLock lock(semaphore);
    appendStatusLine(text);
}

void StationCore::onGui(std::function<void(StationView &)> change)
{
    handover.runOnGui([this, change = std::move(change)] { change(m_view); });
}

#include "station/StationCore.h"

#include "common/Clock.h"

#include <QCoreApplication>

StationCore::StationCore(StationView &view, StationPlatform platform)
    : semaphore(&handover)
    , m_view(view)
    , m_platform(std::move(platform))
    , m_activity(state, view, m_platform)
{
}

NoticeAnswer StationCore::notify(const QByteArray &text, NoticeButtons buttons)
{
    // A program that is ending waits for nobody.
    if (m_quitRequested.load())
        return NoticeAnswer::Closed;
    return m_platform.notices ? m_platform.notices->show(text, buttons) : NoticeAnswer::Closed;
}

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

void StationCore::processPendingMessages()
{
    QCoreApplication::processEvents();
    handover.drain();
}

void StationCore::beep()
{
    if (m_platform.beep)
        m_platform.beep();
}

void StationCore::quit()
{
    m_quitRequested = true;
    if (m_platform.quit)
        m_platform.quit();
}

void StationCore::sleep(int ms)
{
    clock().sleep(ms);
}

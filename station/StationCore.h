#pragma once

#include "station/ActivityList.h"
#include "common/GuiHandover.h"
#include "station/LogFile.h"
#include "station/Notices.h"
#include "station/SharedDataSemaphore.h"
#include "station/StationConfig.h"
#include "station/StationPlatform.h"
#include "station/StationState.h"
#include "station/StationView.h"

#include <QByteArray>

#include <atomic>
#include <functional>

// Everything the station's threads share: the live state, the settings, the
// one semaphore, the hand-over to the GUI thread, the worker-facing view of
// the main window and the platform context. Created on the GUI thread before
// any worker runs.
class StationCore
{
public:
    explicit StationCore(StationView &view, StationPlatform platform = {});
    StationCore(const StationCore &) = delete;
    StationCore &operator=(const StationCore &) = delete;

    StationState state;
    StationConfig config;
    WindowMirror mirror;
    GuiHandover handover;
    SharedDataSemaphore semaphore;

    StationView &view() { return m_view; }
    StationPlatform &platform() { return m_platform; }
    void setPlatform(const StationPlatform &platform) { m_platform = platform; }
    // The platform's clock, MSR reader and port directory (this machine's
    // where the platform names none) and the station log.
    Clock &clock() const { return m_platform.clockOrSystem(); }
    MsrReader &msr() const { return m_platform.msrOrSystem(); }
    const PortDirectory &ports() const { return m_platform.portsOrSystem(); }
    LogFile &log() { return m_log; }
    const LogFile &log() const { return m_log; }

    // Shows a notice through the platform's sink; without one it counts as
    // closed unanswered. GUI thread.
    NoticeAnswer notify(const QByteArray &text, NoticeButtons buttons = NoticeButtons::Ok);
    ActivityList &activity() { return m_activity; }

    // Hands a status line to the activity list and waits until the GUI
    // thread has appended it. The caller holds `semaphore` (StatusText is
    // guarded by it for the whole hand-over); on the GUI thread it runs at
    // once.
    void appendStatusLine(const QByteArray &text);

    // Takes the semaphore, hands the line over, releases it.
    void appendStatusLineLocked(const QByteArray &text);

    // Runs a change of the window on the GUI thread and waits for it.
    void onGui(std::function<void(StationView &)> change);

    // The GUI thread's wait: its event queue and the queued hand-overs.
    void processPendingMessages();
    // The platform's beep and quit; nothing when the platform has none.
    void beep();
    // Asks the message loop to end. From then on no notice is shown (each
    // counts as closed unanswered), and a request made before the loop runs
    // (during the main window's creation) is kept for the program body,
    // which then does not enter the loop.
    void quit();
    bool quitRequested() const { return m_quitRequested.load(); }
    // Waits on the station's clock.
    void sleep(int ms);

private:
    std::atomic<bool> m_quitRequested{false};
    StationView &m_view;
    StationPlatform m_platform;
    LogFile m_log{m_platform};
    ActivityList m_activity;
};

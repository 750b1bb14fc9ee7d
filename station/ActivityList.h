#pragma once

#include <QByteArray>

struct StationPlatform;
struct StationState;
class StationView;

// The activity list of the main window: status lines from all threads, the
// clearing at 1000 lines, and the watch for a sensor port that was lost while
// polling should run. GUI thread only.
class ActivityList
{
public:
    // The platform gives the clock of the lost-port watch.
    ActivityList(StationState &state, StationView &view, const StationPlatform &platform)
        : m_state(state)
        , m_view(view)
        , m_platform(platform)
    {}

    // Appends StationState::StatusText. Runs while the worker that handed the
    // line over holds SharedDataSemaphore (or on the GUI thread's own behalf).
    void appendStatusLine();

    // True while the lost-port watch acts on every appended line: polling
    // should run but the port is closed. Any thread.
    bool portWatchDue() const;

    // For a worker that hands `text` over without holding SharedDataSemaphore:
    // appends it unless the lost-port watch is due, which is looked at here,
    // as the line goes in. While it is due nothing is appended and the result
    // is false: the watch touches shared data, so the worker hands the line
    // over again through appendStatusLine, holding the semaphore.
    bool appendPlainLine(const QByteArray &text);

    // Lines that main-thread code adds directly, without the line count; when
    // adding fails the list is cleared and the line added again.
    void addDirectLine(const QByteArray &text);

    // Start-up clears the list and the count.
    void clear();

    int statusLineCount() const { return m_statusLineCount; }

    static constexpr int kClearAt = 1000;

private:
    bool comPortErrorBranch();
    void addCountedLine(const QByteArray &text);
    void resetList();

    StationState &m_state;
    StationView &m_view;
    const StationPlatform &m_platform;
    int m_statusLineCount = 0; // StatusLineCount
};

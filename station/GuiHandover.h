#pragma once

#include <QObject>

#include <condition_variable>
#include <deque>
#include <functional>
#include <memory>
#include <mutex>

// Carries work from worker threads to the GUI thread (the thread the object
// lives in) and lets the worker wait until it has run: the GUI thread's
// synchronisation call.
//
// The GUI thread may itself wait for SharedDataSemaphore while a worker that
// holds the semaphore waits here. SharedDataSemaphore therefore never blocks
// the GUI thread outright: between short tries it calls drain(), which runs
// the hand-overs already queued, so the worker always gets its work done and
// releases the semaphore.
class GuiHandover : public QObject
{
    Q_OBJECT
public:
    explicit GuiHandover(QObject *parent = nullptr);
    ~GuiHandover() override;

    // Runs fn on the GUI thread and returns when it has run. On the GUI thread
    // it runs at once. Returns false (fn not run) once the hand-over is closed.
    bool runOnGui(std::function<void()> fn);

    // Queues fn for the GUI thread without waiting.
    void postToGui(std::function<void()> fn);

    // GUI thread: runs every queued hand-over now; returns how many ran.
    int drain();

    bool isGuiThread() const;

    // Shut-down: queued and later hand-overs are dropped, waiting workers
    // return at once.
    void close();
    bool isClosed() const;

private:
    struct Task
    {
        std::function<void()> fn;
        bool done = false;
    };
    std::shared_ptr<Task> enqueue(std::function<void()> fn);
    void wake();

    mutable std::mutex m_mutex;
    std::condition_variable m_doneCv;
    std::deque<std::shared_ptr<Task>> m_queue;
    bool m_closed = false;
    bool m_wakePending = false;
};

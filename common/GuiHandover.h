#pragma once

#include <QObject>

#include <condition_variable>
#include <deque>
#include <functional>
#include <memory>
#include <mutex>

// Carries work from worker threads to the GUI thread (the thread the object
// lives in) and lets the worker wait until it has run: the GUI thread's
// synchronisation call, in the station and in the viewer alike.
//
// The GUI thread may itself wait for a lock (the station's
// SharedDataSemaphore) while a worker that holds the lock waits here. Such a
// lock therefore never blocks the GUI thread outright: between short tries it
// calls drain(), which runs the hand-overs already queued, so the worker
// always gets its work done and releases the lock.
class GuiHandover : public QObject
{
    Q_OBJECT
public:
    explicit GuiHandover(QObject *parent = nullptr);
    ~GuiHandover() override;

    // Runs fn on the GUI thread and returns when it has run. On the GUI thread
    // it runs at once. Returns false when fn was not run because the
    // hand-over is closed. A caller never returns while its fn runs, not even
    // when the hand-over is closed meanwhile (fn may show a box): fn may
    // refer to the caller's locals.
    bool runOnGui(std::function<void()> fn);

    // Queues fn for the GUI thread without waiting.
    void postToGui(std::function<void()> fn);

    // GUI thread: runs every queued hand-over now; returns how many ran.
    int drain();

    bool isGuiThread() const;

    // Shut-down: queued and later hand-overs are dropped, and the workers
    // waiting for them return at once. A hand-over already running finishes;
    // its worker returns when it has.
    void close();
    bool isClosed() const;

private:
    struct Task
    {
        std::function<void()> fn;
        bool started = false; // taken from the queue by drain()
        bool done = false;
        // Wakes only this task's worker: with many workers waiting, one
        // wake-up for all at every finished task would cost each of them a
        // turn on a processor for nothing.
        std::condition_variable doneCv;
    };
    // Marks a started task done and wakes its worker when it goes out of scope.
    struct Finish
    {
        GuiHandover &handover;
        Task &task;
        ~Finish();
    };
    std::shared_ptr<Task> enqueue(std::function<void()> fn);
    void wake();

    mutable std::mutex m_mutex;
    std::deque<std::shared_ptr<Task>> m_queue;
    bool m_closed = false;
    // A drain is queued in the GUI thread's event loop and has not started:
    // work queued meanwhile is served by it and needs no event of its own.
    bool m_wakePosted = false;
};

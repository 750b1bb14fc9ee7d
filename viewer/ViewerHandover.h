#pragma once

#include <QObject>

#include <condition_variable>
#include <functional>
#include <memory>
#include <mutex>

// Hands a task from a connection thread to the GUI thread and waits until
// the GUI thread has run it. Once closed (the window goes away) every waiting
// and every later call returns false at once, and a task that has not run
// yet never runs: a task may capture the caller's locals by reference.
class ViewerHandover
{
public:
    // `context` lives in the GUI thread; tasks run in its event loop.
    explicit ViewerHandover(QObject *context);
    ~ViewerHandover();

    // Connection thread: true once the GUI thread ran the task. Called on the
    // GUI thread itself it runs the task at once.
    bool run(std::function<void()> task);

    // GUI thread: refuses every further task and releases every waiter.
    void close();
    bool closed() const;

private:
    struct Pending;
    struct Shared
    {
        std::mutex mutex;
        std::condition_variable done;
        bool closed = false;
    };
    QObject *m_context;
    std::shared_ptr<Shared> m_shared = std::make_shared<Shared>();
};

#include "viewer/ViewerHandover.h"

#include <QMetaObject>
#include <QThread>

struct ViewerHandover::Pending
{
    std::function<void()> task;
    bool finished = false;
};

ViewerHandover::ViewerHandover(QObject *context)
    : m_context(context)
{}

ViewerHandover::~ViewerHandover()
{
    close();
}

bool ViewerHandover::run(std::function<void()> task)
{
    if (QThread::currentThread() == m_context->thread()) {
        if (closed())
            return false;
        task();
        return true;
    }
    auto pending = std::make_shared<Pending>();
    pending->task = std::move(task);
    std::shared_ptr<Shared> shared = m_shared;
    {
        std::lock_guard lock(shared->mutex);
        if (shared->closed)
            return false;
    }
    const bool posted = QMetaObject::invokeMethod(
        m_context,
        [shared, pending] {
            {
                std::lock_guard lock(shared->mutex);
                if (shared->closed)
                    return;
            }
            // The worker waits (and so its locals live) until finished is
            // set or the hand-over is closed; closing happens on this
            // thread, so it cannot come while the task runs.
            pending->task();
            std::lock_guard lock(shared->mutex);
            pending->finished = true;
            shared->done.notify_all();
        },
        Qt::QueuedConnection);
    if (!posted)
        return false;
    std::unique_lock lock(shared->mutex);
    shared->done.wait(lock, [&] { return pending->finished || shared->closed; });
    return pending->finished;
}

void ViewerHandover::close()
{
    std::lock_guard lock(m_shared->mutex);
    m_shared->closed = true;
    m_shared->done.notify_all();
}

bool ViewerHandover::closed() const
{
    std::lock_guard lock(m_shared->mutex);
    return m_shared->closed;
}

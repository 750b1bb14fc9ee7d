#include "common/GuiHandover.h"

#include <QThread>

GuiHandover::GuiHandover(QObject *parent)
    : QObject(parent)
{}

GuiHandover::~GuiHandover()
{
    close();
}

bool GuiHandover::isGuiThread() const
{
    return QThread::currentThread() == thread();
}

bool GuiHandover::runOnGui(std::function<void()> fn)
{
    if (isGuiThread()) {
        if (isClosed())
            return false;
        fn();
        return true;
    }
    const std::shared_ptr<Task> task = enqueue(std::move(fn));
    if (!task)
        return false;
    std::unique_lock lock(m_mutex);
    // Once closed, a task that has not started never will; one that has
    // started may still use what fn refers to, so its end is waited for.
    task->doneCv.wait(lock, [&] { return task->done || (m_closed && !task->started); });
    return task->done;
}

void GuiHandover::postToGui(std::function<void()> fn)
{
    if (isGuiThread()) {
        if (!isClosed())
            fn();
        return;
    }
    enqueue(std::move(fn));
}

std::shared_ptr<GuiHandover::Task> GuiHandover::enqueue(std::function<void()> fn)
{
    auto task = std::make_shared<Task>();
    task->fn = std::move(fn);
    bool needWake = false;
    {
        std::lock_guard lock(m_mutex);
        if (m_closed)
            return nullptr;
        m_queue.push_back(task);
        needWake = !m_wakePosted;
        m_wakePosted = true;
    }
    if (needWake)
        wake();
    return task;
}

void GuiHandover::wake()
{
    QMetaObject::invokeMethod(
        this,
        [this] {
            {
                std::lock_guard lock(m_mutex);
                m_wakePosted = false;
            }
            drain();
        },
        Qt::QueuedConnection);
}

int GuiHandover::drain()
{
    int ran = 0;
    for (;;) {
        std::shared_ptr<Task> task;
        bool moreQueued = false;
        {
            std::lock_guard lock(m_mutex);
            if (m_queue.empty() || m_closed)
                return ran;
            task = m_queue.front();
            m_queue.pop_front();
            task->started = true;
            // A task may show a modal box: work already queued behind it, and
            // work queued while it runs, has a wake-up queued, which that
            // box's event loop then serves.
            moreQueued = !m_queue.empty() && !m_wakePosted;
            if (moreQueued)
                m_wakePosted = true;
        }
        if (moreQueued)
            wake();
        {
            // Its worker is released however fn ends.
            const Finish finish{*this, *task};
            task->fn();
        }
        ++ran;
    }
}

GuiHandover::Finish::~Finish()
{
    {
        std::lock_guard lock(handover.m_mutex);
        task.done = true;
    }
    task.doneCv.notify_all();
}

void GuiHandover::close()
{
    std::deque<std::shared_ptr<Task>> dropped;
    {
        std::lock_guard lock(m_mutex);
        m_closed = true;
        dropped.swap(m_queue);
    }
    // Their workers return at once; a task that has started wakes its own
    // worker when it ends.
    for (const std::shared_ptr<Task> &task : dropped)
        task->doneCv.notify_all();
}

bool GuiHandover::isClosed() const
{
    std::lock_guard lock(m_mutex);
    return m_closed;
}

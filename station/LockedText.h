#pragma once

#include "platform/WakeSignal.h"

#include <QByteArray>

#include <atomic>
#include <mutex>

// A text that several threads read and write without the shared-data
// semaphore: every access copies it whole under a small lock of its own.
class LockedText
{
public:
    LockedText() = default;
    explicit LockedText(QByteArray initial) : m_text(std::move(initial)) {}

    QByteArray get() const
    {
        std::lock_guard lock(m_mutex);
        return m_text;
    }
    void set(const QByteArray &text)
    {
        std::lock_guard lock(m_mutex);
        m_text = text;
    }
    LockedText &operator=(const QByteArray &text)
    {
        set(text);
        return *this;
    }
    operator QByteArray() const { return get(); }

private:
    mutable std::mutex m_mutex;
    QByteArray m_text;
};

// A locked text whose every change wakes the threads that wait for it.
class WakingText : public LockedText
{
public:
    void set(const QByteArray &text)
    {
        LockedText::set(text);
        m_waiters.wakeAll();
    }
    WakingText &operator=(const QByteArray &text)
    {
        set(text);
        return *this;
    }
    WakeList &waiters() { return m_waiters; }

private:
    WakeList m_waiters;
};

// A flag that threads read without the shared-data semaphore; setting it
// wakes the threads that wait for it (a viewer connection that idles on its
// socket learns of the shut-down at once).
class WakingFlag
{
public:
    bool load() const { return m_value.load(); }
    operator bool() const { return load(); }
    WakingFlag &operator=(bool value)
    {
        m_value.store(value);
        if (value)
            m_waiters.wakeAll();
        return *this;
    }
    WakeList &waiters() { return m_waiters; }

private:
    std::atomic<bool> m_value{false};
    WakeList m_waiters;
};

#pragma once

#include <mutex>
#include <vector>

// A thread that waits on a socket can also be woken by another thread: the
// waker writes to a descriptor (an eventfd) that the waiting thread polls
// together with its socket.
class WakeSignal
{
public:
    WakeSignal();
    ~WakeSignal();
    WakeSignal(const WakeSignal &) = delete;
    WakeSignal &operator=(const WakeSignal &) = delete;

    bool valid() const { return m_fd >= 0; }
    void wake();
    // Waits until `socketFd` has something to read, the signal is woken or
    // `timeoutMs` have passed; takes the wake-up back. True when the socket
    // has something to read (or is closed).
    bool waitWithSocket(int socketFd, int timeoutMs);

private:
    int m_fd = -1;
};

// The wake signals of the threads that wait for a change.
class WakeList
{
public:
    void add(WakeSignal *signal);
    void remove(WakeSignal *signal);
    void wakeAll();

private:
    std::mutex m_mutex;
    std::vector<WakeSignal *> m_signals;
};

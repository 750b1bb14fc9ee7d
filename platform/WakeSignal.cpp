#include "platform/WakeSignal.h"

#include <algorithm>
#include <cerrno>
#include <cstdint>

#include <poll.h>
#include <sys/eventfd.h>
#include <unistd.h>

WakeSignal::WakeSignal()
    : m_fd(::eventfd(0, EFD_NONBLOCK | EFD_CLOEXEC))
{}

WakeSignal::~WakeSignal()
{
    if (m_fd >= 0)
        ::close(m_fd);
}

void WakeSignal::wake()
{
    if (m_fd < 0)
        return;
    const std::uint64_t one = 1;
    // A full counter still wakes the waiter; nothing else can go wrong here.
    (void)!::write(m_fd, &one, sizeof one);
}

bool WakeSignal::waitWithSocket(int socketFd, int timeoutMs)
{
    pollfd fds[2] = {{socketFd, POLLIN, 0}, {m_fd, POLLIN, 0}};
    const int n = ::poll(fds, m_fd >= 0 ? 2 : 1, timeoutMs);
    if (n <= 0)
        return false;
    if (m_fd >= 0 && (fds[1].revents & POLLIN)) {
        std::uint64_t count = 0;
        (void)!::read(m_fd, &count, sizeof count);
    }
    return (fds[0].revents & (POLLIN | POLLHUP | POLLERR)) != 0;
}

void WakeList::add(WakeSignal *signal)
{
    std::lock_guard lock(m_mutex);
    m_signals.push_back(signal);
}

void WakeList::remove(WakeSignal *signal)
{
    std::lock_guard lock(m_mutex);
    m_signals.erase(std::remove(m_signals.begin(), m_signals.end(), signal), m_signals.end());
}

void WakeList::wakeAll()
{
    std::lock_guard lock(m_mutex);
    for (WakeSignal *signal : m_signals)
        signal->wake();
}

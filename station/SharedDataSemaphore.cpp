#include "station/SharedDataSemaphore.h"

#include "common/GuiHandover.h"

#include <chrono>

#if defined(__x86_64__) || defined(__i386__)
#include <immintrin.h>
#endif

namespace {
// About two to five microseconds of retries before a thread sleeps.
constexpr int kSpins = 200;

inline void relax()
{
#if defined(__x86_64__) || defined(__i386__)
    _mm_pause();
#endif
}
} // namespace

bool SharedDataSemaphore::take()
{
    int one = 1;
    return m_count.compare_exchange_strong(one, 0);
}

bool SharedDataSemaphore::spinTake()
{
    for (int i = 0; i < kSpins; ++i) {
        if (m_count.load(std::memory_order_relaxed) == 1 && take())
            return true;
        relax();
    }
    return false;
}

bool SharedDataSemaphore::wait(int timeoutMs)
{
    std::unique_lock lock(m_sleepMutex);
    // Counted before the count is looked at again: a release that comes
    // after that look sees the sleeper and wakes it.
    m_sleepers.fetch_add(1);
    bool taken = false;
    if (timeoutMs < 0) {
        m_wakeUp.wait(lock, [this] { return take(); });
        taken = true;
    } else {
        taken = m_wakeUp.wait_for(lock, std::chrono::milliseconds(timeoutMs), [this] { return take(); });
    }
    m_sleepers.fetch_sub(1);
    // A sleeper that gives up may have been the one a release woke: the
    // wake-up goes on to the next.
    if (!taken && m_count.load() == 1 && m_sleepers.load() > 0)
        m_wakeUp.notify_one();
    return taken;
}

void SharedDataSemaphore::acquire()
{
    if (m_handover && m_handover->isGuiThread()) {
        while (!tryAcquire(5))
            m_handover->drain();
        return;
    }
    if (take() || spinTake())
        return;
    wait(-1);
}

bool SharedDataSemaphore::tryAcquire(int timeoutMs)
{
    if (take() || spinTake())
        return true;
    if (timeoutMs <= 0)
        return false;
    if (m_handover && m_handover->isGuiThread()) {
        const int step = 5;
        int waited = 0;
        for (;;) {
            if (take())
                return true;
            if (waited >= timeoutMs)
                return false;
            m_handover->drain();
            const int slice = std::min(step, timeoutMs - waited);
            if (wait(slice))
                return true;
            waited += slice;
        }
    }
    return wait(timeoutMs);
}

bool SharedDataSemaphore::release()
{
    int zero = 0;
    if (!m_count.compare_exchange_strong(zero, 1))
        return false;
    if (m_sleepers.load() > 0) {
        // Taken and given back at once: a sleeper between its count and its
        // wait holds the mutex, so the wake-up cannot fall in between.
        { std::lock_guard lock(m_sleepMutex); }
        m_wakeUp.notify_one();
    }
    return true;
}

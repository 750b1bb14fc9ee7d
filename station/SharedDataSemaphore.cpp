#include "station/SharedDataSemaphore.h"

#include "common/GuiHandover.h"

#include <mutex>

namespace {
// Serialises the check-and-add of release() so that the count never passes 1.
std::mutex g_releaseMutex;
} // namespace

void SharedDataSemaphore::acquire()
{
    if (m_handover && m_handover->isGuiThread()) {
        while (!m_sem.tryAcquire(1, 5))
            m_handover->drain();
        return;
    }
    m_sem.acquire();
}

bool SharedDataSemaphore::tryAcquire(int timeoutMs)
{
    if (m_handover && m_handover->isGuiThread()) {
        const int step = 5;
        int waited = 0;
        for (;;) {
            if (m_sem.tryAcquire(1, 0))
                return true;
            if (waited >= timeoutMs)
                return false;
            m_handover->drain();
            const int slice = std::min(step, timeoutMs - waited);
            if (m_sem.tryAcquire(1, slice))
                return true;
            waited += slice;
        }
    }
    return m_sem.tryAcquire(1, timeoutMs);
}

bool SharedDataSemaphore::release()
{
    std::lock_guard lock(g_releaseMutex);
    if (m_sem.available() >= 1)
        return false;
    m_sem.release();
    return true;
}

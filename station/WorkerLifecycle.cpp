#include "station/WorkerLifecycle.h"

#include "platform/MsrReader.h"
#include "station/CpuTemperature.h"
#include "station/MyThread.h"
#include "station/StationCore.h"

WorkerLifecycle::WorkerLifecycle(StationCore &core)
    : m_core(core)
{}

WorkerLifecycle::~WorkerLifecycle()
{
    release();
    // A worker that still runs is not destroyed under its feet: it ends with
    // the process.
    for (auto &worker : m_workers)
        (void)worker.release();
}

void WorkerLifecycle::createMeasureThread()
{
    if (m_measureThread)
        return;
    m_cpu = std::make_unique<CpuTemperature>(m_core, m_core.msr());
    const StationPlatform &platform = m_core.platform();
    auto thread = std::make_unique<MyThread>(m_core, platform.serialLines ? platform.serialLines
                                                                          : defaultSerialLinesFactory());
    thread->evaluation().setCpuReader([cpu = m_cpu.get()] { cpu->readForEvaluation(); });
    m_measureThread = thread.get();
    add(std::move(thread));
}

void WorkerLifecycle::add(std::unique_ptr<QThread> worker)
{
    m_workers.push_back(std::move(worker));
}

void WorkerLifecycle::startAll()
{
    for (const auto &worker : m_workers)
        if (!worker->isRunning() && !worker->isFinished())
            worker->start();
}

void WorkerLifecycle::release(int waitMs)
{
    if (m_workers.empty())
        return;
    m_core.state.TerminateRequested = true;
    for (auto it = m_workers.begin(); it != m_workers.end();) {
        QThread *worker = it->get();
        if (!worker->isRunning() || worker->wait(waitMs)) {
            if (worker == m_measureThread)
                m_measureThread = nullptr;
            it = m_workers.erase(it);
        } else {
            ++it;
        }
    }
}

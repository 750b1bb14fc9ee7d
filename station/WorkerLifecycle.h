#pragma once

#include <QThread>

#include <memory>
#include <vector>

class CpuTemperature;
class MyThread;
class StationCore;

// The station's worker threads: created at start-up, started at the first
// activation, asked to end and released at shut-down. Today the measurement
// thread; the reporting thread and the viewer connections join the list.
class WorkerLifecycle
{
public:
    explicit WorkerLifecycle(StationCore &core);
    ~WorkerLifecycle();
    WorkerLifecycle(const WorkerLifecycle &) = delete;
    WorkerLifecycle &operator=(const WorkerLifecycle &) = delete;

    // Creates the measurement thread with its CPU reading, once; it opens
    // the sensor port through the platform's serial-lines factory.
    void createMeasureThread();
    MyThread *measureThread() const { return m_measureThread; }

    // Takes a further worker into the list.
    void add(std::unique_ptr<QThread> worker);
    // Starts every worker that has not run yet.
    void startAll();
    // Sets TerminateRequested and releases every worker that has ended
    // within `waitMs`; one that has not ended stays in the list, and what
    // still runs when the list goes ends with the process.
    void release(int waitMs = 100);

private:
    StationCore &m_core;
    std::unique_ptr<CpuTemperature> m_cpu;
    std::vector<std::unique_ptr<QThread>> m_workers;
    MyThread *m_measureThread = nullptr;
};

#pragma once

#include <QtGlobal>

#include <functional>

class ProcessTable;

// Looks for other processes that run the same executable file (paths
// compared whole, without regard to case). `first` is the first match,
// `second` the last of any further matches. Each match costs one beep and a
// 500 ms wait (`pause`).
struct OtherInstances
{
    qint64 first = 0;
    qint64 second = 0;
};
OtherInstances FindOtherInstances(ProcessTable &table, const std::function<void()> &beep,
                                  const std::function<void(int ms)> &pause);

// The start-up hunt: ends `second` when there is one, else `first`, and then
// waits 5000 ms. Returns the process ended (0 for none).
qint64 HuntOtherInstance(ProcessTable &table, const std::function<void()> &beep,
                         const std::function<void(int ms)> &pause);

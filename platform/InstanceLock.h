#pragma once

#include <QByteArray>
#include <QString>

// The single-instance lock of a working directory: a small file that the
// running station keeps open under an exclusive advisory lock. A second
// instance in the same directory fails to take it; a crashed instance leaves
// no stale lock, since the lock dies with its process.
class InstanceLock
{
public:
    InstanceLock() = default;
    ~InstanceLock();
    InstanceLock(const InstanceLock &) = delete;
    InstanceLock &operator=(const InstanceLock &) = delete;

    // Takes the lock and writes `line` as the file's whole content. False
    // when another process holds it or the file cannot be written.
    bool acquire(const QString &path, const QByteArray &line);
    void release();
    bool held() const { return m_fd >= 0; }

private:
    int m_fd = -1;
};

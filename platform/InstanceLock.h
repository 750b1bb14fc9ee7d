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
    enum class Status {
        Acquired,
        HeldByOther, // another running process holds the lock
        Failed,      // the file could not be opened, locked or written: see error
    };
    // The step that failed.
    enum class Step { None, Open, Lock, Write };

    struct Result
    {
        Status status = Status::Failed;
        int error = 0; // errno of the failed step
        Step step = Step::None;

        bool acquired() const { return status == Status::Acquired; }
    };

    InstanceLock() = default;
    ~InstanceLock();
    InstanceLock(const InstanceLock &) = delete;
    InstanceLock &operator=(const InstanceLock &) = delete;

    // Takes the lock and makes `line` the file's whole content. A file whose
    // content cannot be written keeps what it held before (one that this call
    // created is removed again), and the lock is not held.
    Result acquire(const QString &path, const QByteArray &line);
    void release();
    bool held() const { return m_fd >= 0; }

private:
    int m_fd = -1;
};

#include "platform/InstanceLock.h"

#include "platform/FileCalls.h"

#include <QFile>

#include <cerrno>

#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

using Result = InstanceLock::Result;
using Status = InstanceLock::Status;
using Step = InstanceLock::Step;

Result failure(Step step, int error)
{
    return Result{Status::Failed, error, step};
}

bool lockedElsewhere(int fd)
{
    return ::flock(fd, LOCK_EX | LOCK_NB) != 0 && errno == EWOULDBLOCK;
}

// The whole content of the open file (at most `limit` bytes are kept).
bool readAll(int fd, QByteArray &out)
{
    constexpr qsizetype limit = 4096;
    out.clear();
    char buf[512];
    off_t at = 0;
    for (;;) {
        const ssize_t n = ::pread(fd, buf, sizeof buf, at);
        if (n < 0) {
            if (errno == EINTR)
                continue;
            return false;
        }
        if (n == 0)
            return true;
        if (out.size() + n > limit)
            return false;
        out.append(buf, n);
        at += n;
    }
}

bool writeAllAt(FileCalls &calls, int fd, const QByteArray &bytes)
{
    const char *data = bytes.constData();
    size_t left = static_cast<size_t>(bytes.size());
    off_t at = 0;
    while (left > 0) {
        const ssize_t n = calls.pwrite(fd, data, left, at);
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0) {
            if (n == 0)
                errno = EIO;
            return false;
        }
        data += n;
        left -= static_cast<size_t>(n);
        at += n;
    }
    return true;
}

} // namespace

InstanceLock::~InstanceLock()
{
    release();
}

InstanceLock::Result InstanceLock::acquire(const QString &path, const QByteArray &line)
{
    release();
    FileCalls &calls = FileCalls::instance();
    const QByteArray native = QFile::encodeName(path);

    bool created = false;
    int fd = calls.open(native.constData(), O_RDWR | O_CLOEXEC);
    if (fd < 0 && errno == ENOENT) {
        fd = calls.open(native.constData(), O_RDWR | O_CREAT | O_EXCL | O_CLOEXEC, 0644);
        created = fd >= 0;
        if (fd < 0 && errno == EEXIST)
            fd = calls.open(native.constData(), O_RDWR | O_CLOEXEC);
    }
    if (fd < 0) {
        const int error = errno;
        // A file that this process may not write (another user's copy runs
        // here): whether its lock is held still tells a second instance.
        const int probe = ::open(native.constData(), O_RDONLY | O_CLOEXEC);
        if (probe >= 0) {
            const bool elsewhere = lockedElsewhere(probe);
            ::close(probe);
            if (elsewhere)
                return Result{Status::HeldByOther, 0, Step::None};
        }
        return failure(Step::Open, error);
    }

    // The file is never deleted while another instance might hold it: taking
    // the lock on the existing file is what tells the instances apart.
    if (::flock(fd, LOCK_EX | LOCK_NB) != 0) {
        const int error = errno;
        calls.close(fd);
        if (error == EWOULDBLOCK)
            return Result{Status::HeldByOther, 0, Step::None};
        return failure(Step::Lock, error);
    }

    // The new content is written over the old one before the file is cut to
    // its length, so a failed write never leaves it empty; on failure the old
    // content is put back (its space is already the file's).
    QByteArray before;
    const bool known = readAll(fd, before);
    if (!known || before != line) {
        int error = 0;
        if (!writeAllAt(calls, fd, line))
            error = errno;
        else if (calls.ftruncate(fd, line.size()) != 0)
            error = errno;
        if (error != 0) {
            if (created) {
                calls.unlink(native.constData());
            } else if (known) {
                (void)writeAllAt(calls, fd, before);
                (void)calls.ftruncate(fd, before.size());
            }
            ::flock(fd, LOCK_UN);
            calls.close(fd);
            return failure(Step::Write, error);
        }
    }
    m_fd = fd;
    return Result{Status::Acquired, 0, Step::None};
}

void InstanceLock::release()
{
    if (m_fd >= 0) {
        ::flock(m_fd, LOCK_UN);
        FileCalls::instance().close(m_fd);
        m_fd = -1;
    }
}

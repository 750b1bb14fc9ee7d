#pragma once

#include "platform/FileCalls.h"

#include <QByteArray>

#include <algorithm>
#include <cerrno>
#include <map>
#include <mutex>

#include <sys/stat.h>

// File calls that fail like a full disk, a read-only folder or a bad block
// for the files whose path contains `match` (every file when it is empty);
// other files and other calls go to the system.
class FailingFileCalls : public FileCalls
{
public:
    QByteArray match;
    // Opening fails with this error (EROFS, EACCES, ...), 0: it does not.
    int openError = 0;
    // Bytes that still fit on the disk; a write beyond them writes what fits
    // and the next one fails with ENOSPC. Negative: no limit.
    qint64 spaceLeft = -1;
    // fdatasync fails with this error (EIO, ...), 0: it does not.
    int syncError = 0;
    // Reading fails with this error (EIO, ...) once this many bytes were
    // read; 0: it does not.
    int readError = 0;
    qint64 readableBytes = 0;

    int open(const char *path, int flags, mode_t mode) override
    {
        const bool hit = matches(path);
        if (hit && openError != 0) {
            errno = openError;
            return -1;
        }
        const int fd = FileCalls::open(path, flags, mode);
        std::lock_guard lock(m_mutex);
        if (fd >= 0)
            m_watched[fd] = hit;
        return fd;
    }
    ssize_t read(int fd, void *data, size_t size) override
    {
        if (watched(fd) && readError != 0) {
            std::lock_guard lock(m_mutex);
            qint64 &done = m_read[fd];
            if (done >= readableBytes) {
                errno = readError;
                return -1;
            }
            size = std::min<size_t>(size, static_cast<size_t>(readableBytes - done));
            const ssize_t n = FileCalls::read(fd, data, size);
            if (n > 0)
                done += n;
            return n;
        }
        return FileCalls::read(fd, data, size);
    }
    ssize_t write(int fd, const void *data, size_t size) override
    {
        const size_t n = fitting(fd, size);
        if (n == 0 && size > 0) {
            errno = ENOSPC;
            return -1;
        }
        return FileCalls::write(fd, data, n);
    }
    // Bytes written over the file's own bytes take no new space.
    ssize_t pwrite(int fd, const void *data, size_t size, off_t offset) override
    {
        struct stat st
        {
        };
        ::fstat(fd, &st);
        const size_t inside =
            offset < st.st_size ? std::min<size_t>(size, static_cast<size_t>(st.st_size - offset)) : 0;
        const size_t n = inside + fitting(fd, size - inside);
        if (n == 0 && size > 0) {
            errno = ENOSPC;
            return -1;
        }
        return FileCalls::pwrite(fd, data, n, offset);
    }
    int fdatasync(int fd) override
    {
        if (watched(fd) && syncError != 0) {
            errno = syncError;
            return -1;
        }
        return FileCalls::fdatasync(fd);
    }
    int close(int fd) override
    {
        {
            std::lock_guard lock(m_mutex);
            m_watched.erase(fd);
            m_read.erase(fd);
        }
        return FileCalls::close(fd);
    }

private:
    bool matches(const char *path) const { return match.isEmpty() || QByteArray(path).contains(match); }
    bool watched(int fd)
    {
        std::lock_guard lock(m_mutex);
        const auto it = m_watched.find(fd);
        return it != m_watched.end() && it->second;
    }
    // How much of a write of `size` bytes fits; takes it from the space left.
    size_t fitting(int fd, size_t size)
    {
        if (!watched(fd) || spaceLeft < 0)
            return size;
        std::lock_guard lock(m_mutex);
        const size_t n = std::min<size_t>(size, static_cast<size_t>(spaceLeft));
        spaceLeft -= static_cast<qint64>(n);
        return n;
    }

    std::mutex m_mutex;
    std::map<int, bool> m_watched;
    std::map<int, qint64> m_read; // bytes read so far, of the files whose reading fails
};

// Installs failing file calls for the lifetime of the fixture.
struct ScopedFailingFiles
{
    FailingFileCalls calls;
    ScopedFileCalls installed{calls};
};

#include "platform/FileAppend.h"

#include "platform/FileCalls.h"

#include <QFile>

#include <cerrno>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace FileAppend {

namespace {

// Opens for appending; `created` tells whether this open made the file.
int openForAppend(FileCalls &calls, const char *path, int createMode, bool &created)
{
    constexpr int flags = O_WRONLY | O_APPEND | O_CLOEXEC;
    for (int round = 0; round < 8; ++round) {
        int fd = calls.open(path, flags);
        if (fd >= 0) {
            created = false;
            return fd;
        }
        if (errno == EINTR)
            continue;
        if (errno != ENOENT)
            return -1;
        fd = calls.open(path, flags | O_CREAT | O_EXCL, static_cast<mode_t>(createMode));
        if (fd >= 0) {
            created = true;
            return fd;
        }
        if (errno != EEXIST && errno != EINTR)
            return -1;
        // Created by someone else between the two opens: open it again.
    }
    errno = EAGAIN;
    return -1;
}

} // namespace

int appendWhole(const QString &path, const QByteArray &bytes, Sync sync, int createMode)
{
    FileCalls &calls = FileCalls::instance();
    const QByteArray native = QFile::encodeName(path);
    bool created = false;
    const int fd = openForAppend(calls, native.constData(), createMode, created);
    if (fd < 0)
        return errno;

    int error = 0;
    struct stat st
    {
    };
    if (::fstat(fd, &st) != 0)
        error = errno;
    const off_t before = st.st_size;

    const char *data = bytes.constData();
    size_t left = static_cast<size_t>(bytes.size());
    while (error == 0 && left > 0) {
        const ssize_t n = calls.write(fd, data, left);
        if (n < 0) {
            if (errno != EINTR)
                error = errno;
            continue;
        }
        if (n == 0) {
            error = EIO;
            continue;
        }
        data += n;
        left -= static_cast<size_t>(n);
    }
    if (error == 0 && sync == Sync::Data && calls.fdatasync(fd) != 0)
        error = errno;

    if (error != 0) {
        // Shrinking needs no space; should it fail all the same, nothing
        // more can be done here.
        (void)calls.ftruncate(fd, before);
        if (created)
            (void)calls.unlink(native.constData());
    }
    // Everything was written (and synced when asked) before the close; an
    // error reported by the close itself is ignored.
    (void)calls.close(fd);
    return error;
}

} // namespace FileAppend

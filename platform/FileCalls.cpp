#include "platform/FileCalls.h"

#include <atomic>

#include <fcntl.h>
#include <unistd.h>

namespace {
std::atomic<FileCalls *> g_installed{nullptr};
} // namespace

int FileCalls::open(const char *path, int flags, mode_t mode)
{
    return ::open(path, flags, mode);
}

ssize_t FileCalls::read(int fd, void *data, size_t size)
{
    return ::read(fd, data, size);
}

ssize_t FileCalls::write(int fd, const void *data, size_t size)
{
    return ::write(fd, data, size);
}

ssize_t FileCalls::pwrite(int fd, const void *data, size_t size, off_t offset)
{
    return ::pwrite(fd, data, size, offset);
}

int FileCalls::fdatasync(int fd)
{
    return ::fdatasync(fd);
}

int FileCalls::ftruncate(int fd, off_t length)
{
    return ::ftruncate(fd, length);
}

int FileCalls::unlink(const char *path)
{
    return ::unlink(path);
}

int FileCalls::close(int fd)
{
    return ::close(fd);
}

FileCalls &FileCalls::instance()
{
    static FileCalls system;
    FileCalls *installed = g_installed.load();
    return installed ? *installed : system;
}

void FileCalls::setInstance(FileCalls *calls)
{
    g_installed.store(calls);
}

#pragma once

#include <sys/types.h>

// The file system calls through which the station writes its own files
// (records, log, flag file) and reads a received update whole. Each returns
// what the system call returns and sets errno as it does. Production uses
// the system's calls; tests install a double that fails chosen calls (a
// full disk, a read-only folder, a read error).
class FileCalls
{
public:
    virtual ~FileCalls() = default;

    virtual int open(const char *path, int flags, mode_t mode = 0);
    virtual ssize_t read(int fd, void *data, size_t size);
    virtual ssize_t write(int fd, const void *data, size_t size);
    virtual ssize_t pwrite(int fd, const void *data, size_t size, off_t offset);
    virtual int fdatasync(int fd);
    virtual int ftruncate(int fd, off_t length);
    virtual int unlink(const char *path);
    virtual int close(int fd);

    // The installed calls; the system's when none is installed.
    static FileCalls &instance();
    static void setInstance(FileCalls *calls);
};

// Installs file calls for the lifetime of the guard (tests).
class ScopedFileCalls
{
public:
    explicit ScopedFileCalls(FileCalls &calls) { FileCalls::setInstance(&calls); }
    ~ScopedFileCalls() { FileCalls::setInstance(nullptr); }
    ScopedFileCalls(const ScopedFileCalls &) = delete;
    ScopedFileCalls &operator=(const ScopedFileCalls &) = delete;
};

#pragma once

#include <QString>
#include <QtGlobal>

#include <map>
#include <optional>
#include <stdexcept>

// Access to the processor's model-specific registers.
class MsrReader
{
public:
    virtual ~MsrReader() = default;

    // Opens the register access; a failure shows later as isMsr() false.
    virtual bool open() = 0;
    virtual void close() = 0;
    // Whether registers can be read at all.
    virtual bool isMsr() = 0;
    // The 64-bit register `index`; nullopt when it cannot be read.
    virtual std::optional<quint64> read(quint32 index) = 0;

    // The reader of this machine: LinuxMsrReader on the device that
    // KLIMAWARTE_MSR_DEVICE names, /dev/cpu/0/msr when it is not set.
    static MsrReader &instance();
    // nullptr restores the machine's reader.
    static void setInstance(MsrReader *reader);
};

// The Linux msr driver: 8 bytes read at the offset of the register index, in
// the processor's (little-endian) byte order. A plain file can stand in for
// the device.
class LinuxMsrReader : public MsrReader
{
public:
    explicit LinuxMsrReader(QString path = defaultPath());
    ~LinuxMsrReader() override;

    bool open() override;
    void close() override;
    bool isMsr() override;
    std::optional<quint64> read(quint32 index) override;

    QString path() const { return m_path; }
    static QString defaultPath();

private:
    QString m_path;
    int m_fd = -1;
};

// Registers held in memory (tests). Reads can be made to fail.
class FakeMsrReader : public MsrReader
{
public:
    bool open() override
    {
        ++openCount;
        return available;
    }
    void close() override { ++closeCount; }
    bool isMsr() override
    {
        ++isMsrCalls;
        if (throwOnIsMsr)
            throw std::runtime_error("msr");
        return available;
    }
    std::optional<quint64> read(quint32 index) override
    {
        ++readCalls;
        if (throwOnRead)
            throw std::runtime_error("msr");
        const auto it = registers.find(index);
        if (!available || failReads || it == registers.end())
            return std::nullopt;
        return it->second;
    }

    std::map<quint32, quint64> registers;
    bool available = true;
    bool failReads = false;
    bool throwOnIsMsr = false;
    bool throwOnRead = false;
    int openCount = 0;
    int closeCount = 0;
    int isMsrCalls = 0;
    int readCalls = 0;
};

// Installs a reader for the lifetime of the guard (tests).
class ScopedMsrReader
{
public:
    explicit ScopedMsrReader(MsrReader &reader) { MsrReader::setInstance(&reader); }
    ~ScopedMsrReader() { MsrReader::setInstance(nullptr); }
    ScopedMsrReader(const ScopedMsrReader &) = delete;
    ScopedMsrReader &operator=(const ScopedMsrReader &) = delete;
};

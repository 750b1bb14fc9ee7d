#pragma once

#include <QString>
#include <QtGlobal>

#include <optional>

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
    static MsrReader &system();
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

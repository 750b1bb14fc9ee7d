#include "platform/MsrReader.h"

#include <QFile>

#include <fcntl.h>
#include <unistd.h>

MsrReader &MsrReader::system()
{
    static LinuxMsrReader machine;
    return machine;
}

LinuxMsrReader::LinuxMsrReader(QString path)
    : m_path(std::move(path))
{}

LinuxMsrReader::~LinuxMsrReader()
{
    close();
}

QString LinuxMsrReader::defaultPath()
{
    const QByteArray env = qgetenv("KLIMAWARTE_MSR_DEVICE");
    return env.isEmpty() ? QStringLiteral("/dev/cpu/0/msr") : QString::fromLocal8Bit(env);
}

bool LinuxMsrReader::open()
{
    if (m_fd >= 0)
        return true;
    m_fd = ::open(QFile::encodeName(m_path).constData(), O_RDONLY | O_CLOEXEC);
    return m_fd >= 0;
}

void LinuxMsrReader::close()
{
    if (m_fd >= 0) {
        ::close(m_fd);
        m_fd = -1;
    }
}

bool LinuxMsrReader::isMsr()
{
    return m_fd >= 0;
}

std::optional<quint64> LinuxMsrReader::read(quint32 index)
{
    if (m_fd < 0)
        return std::nullopt;
    unsigned char bytes[8];
    const ssize_t n = ::pread(m_fd, bytes, sizeof bytes, static_cast<off_t>(index));
    if (n != static_cast<ssize_t>(sizeof bytes))
        return std::nullopt;
    quint64 value = 0;
    for (int i = 7; i >= 0; --i)
        value = (value << 8) | bytes[i];
    return value;
}

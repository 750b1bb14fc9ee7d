#pragma once

#include <QByteArray>
#include <QDir>
#include <QFile>
#include <QString>

#include <cerrno>
#include <cstring>

#include <sys/mount.h>
#include <sys/statvfs.h>
#include <unistd.h>

// A small tmpfs mounted on a folder for the life of the guard, to give the
// station a real full disk or a read-only folder. Mounting needs root; when
// it is not possible, whyNot() says why (the test then skips).
class ScopedTmpfs
{
public:
    ScopedTmpfs(QString dir, qint64 bytes)
        : m_dir(std::move(dir))
    {
        QDir().mkpath(m_dir);
        if (::geteuid() != 0) {
            m_whyNot = QStringLiteral("not running as root");
            return;
        }
        m_options = "size=" + QByteArray::number(bytes) + ",mode=0755";
        if (::mount("tmpfs", QFile::encodeName(m_dir).constData(), "tmpfs", 0, m_options.constData()) != 0) {
            m_whyNot = QStringLiteral("mount of a tmpfs failed: %1")
                           .arg(QString::fromLocal8Bit(std::strerror(errno)));
            return;
        }
        m_mounted = true;
    }
    ~ScopedTmpfs()
    {
        // Detached, so that it goes even while a killed program's files are
        // still being closed.
        if (m_mounted)
            ::umount2(QFile::encodeName(m_dir).constData(), MNT_DETACH);
    }
    ScopedTmpfs(const ScopedTmpfs &) = delete;
    ScopedTmpfs &operator=(const ScopedTmpfs &) = delete;

    bool mounted() const { return m_mounted; }
    QString whyNot() const { return m_whyNot; }

    bool remountReadOnly()
    {
        return ::mount(nullptr, QFile::encodeName(m_dir).constData(), nullptr, MS_REMOUNT | MS_RDONLY,
                       m_options.constData()) == 0;
    }
    bool remountWritable()
    {
        return ::mount(nullptr, QFile::encodeName(m_dir).constData(), nullptr, MS_REMOUNT,
                       m_options.constData()) == 0;
    }

    qint64 freeBytes() const
    {
        struct statvfs s
        {
        };
        if (::statvfs(QFile::encodeName(m_dir).constData(), &s) != 0)
            return -1;
        return static_cast<qint64>(s.f_bavail) * static_cast<qint64>(s.f_bsize);
    }

    // Fills the file system with the file `name` until no byte is free.
    bool fill(const QString &name = QStringLiteral("filler"))
    {
        QFile f(QDir(m_dir).filePath(name));
        if (!f.open(QIODevice::WriteOnly | QIODevice::Append | QIODevice::Unbuffered))
            return false;
        const QByteArray block(4096, 'x');
        while (f.write(block) > 0) {
        }
        f.close();
        return freeBytes() == 0;
    }

private:
    QString m_dir;
    QByteArray m_options;
    QString m_whyNot;
    bool m_mounted = false;
};

#pragma once

#include "support/ScopedTmpfs.h"

#include <QByteArray>
#include <QDir>
#include <QFile>
#include <QString>
#include <QStringList>

#include <cerrno>

// A folder holding an old file that can no longer be replaced: a small tmpfs
// that is full to the last byte or read-only. Mounting needs root; whyNot()
// says why it could not be set up (the test then skips). reason() is what
// the system reports for it, as Qt words it.
class UnwritableFolder
{
public:
    enum class Kind { Full, ReadOnly };

    UnwritableFolder(const QString &dir, Kind kind, const QString &name, const QByteArray &old)
        : m_dir(dir)
        , m_name(name)
        , m_kind(kind)
        , m_tmpfs(dir, 64 * 1024)
    {
        if (!m_tmpfs.mounted()) {
            m_whyNot = m_tmpfs.whyNot();
            return;
        }
        QFile f(QDir(m_dir).filePath(name));
        if (!f.open(QIODevice::WriteOnly) || f.write(old) != old.size()) {
            m_whyNot = QStringLiteral("the old file could not be put in place");
            return;
        }
        f.close();
        if (!(kind == Kind::Full ? m_tmpfs.fill(QString::fromLatin1(Filler)) : m_tmpfs.remountReadOnly()))
            m_whyNot = QStringLiteral("the folder could not be made unwritable");
    }

    QString whyNot() const { return m_whyNot; }
    QString reason() const { return qt_error_string(m_kind == Kind::Full ? ENOSPC : EROFS); }

    QByteArray read() const
    {
        QFile f(QDir(m_dir).filePath(m_name));
        return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
    }
    // Files besides the old one and the filler: a temporary file that a
    // failed replace left behind.
    QStringList strayFiles() const
    {
        QStringList files = QDir(m_dir).entryList(QDir::Files | QDir::Hidden | QDir::System);
        files.removeAll(m_name);
        files.removeAll(QString::fromLatin1(Filler));
        return files;
    }
    // Room again, or writable again.
    bool makeWritable()
    {
        return m_kind == Kind::Full ? QFile::remove(QDir(m_dir).filePath(QString::fromLatin1(Filler)))
                                    : m_tmpfs.remountWritable();
    }

private:
    static constexpr char Filler[] = "filler";

    QString m_dir;
    QString m_name;
    Kind m_kind;
    ScopedTmpfs m_tmpfs;
    QString m_whyNot;
};

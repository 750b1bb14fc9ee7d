#pragma once

#include <QDir>
#include <QFile>
#include <QTemporaryDir>

// A temporary working directory for the life of the fixture: the station
// reads and writes its files relative to the working directory.
class ScopedWorkDir
{
public:
    ScopedWorkDir() : m_old(QDir::currentPath()) { QDir::setCurrent(m_dir.path()); }
    ~ScopedWorkDir() { QDir::setCurrent(m_old); }
    QString path() const { return m_dir.path(); }
    QString file(const QString &name) const { return m_dir.filePath(name); }
    QByteArray read(const QString &name) const
    {
        QFile f(file(name));
        return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
    }
    void write(const QString &name, const QByteArray &bytes) const
    {
        QFile f(file(name));
        if (f.open(QIODevice::WriteOnly | QIODevice::Truncate))
            f.write(bytes);
    }

    static void writeTo(const QString &path, const QByteArray &bytes)
    {
        QFile f(path);
        if (f.open(QIODevice::WriteOnly | QIODevice::Truncate))
            f.write(bytes);
    }

private:
    QString m_old;
    QTemporaryDir m_dir;
};

#pragma once

#include <QByteArray>
#include <QDir>
#include <QFile>
#include <QHash>
#include <QList>
#include <QString>

#include <atomic>
#include <functional>
#include <mutex>
#include <thread>

#include <poll.h>
#include <sys/inotify.h>
#include <sys/stat.h>
#include <unistd.h>

// Keeps every version of the chosen files of a folder, however short-lived:
// each file that appears there (created, or renamed onto its name) gets a hard
// link in a shadow folder at once, so what a program appends to it later and
// what it had when it was deleted or replaced can still be read. When a version
// leaves the folder (deleted, or replaced by a rename), `left` is called with
// its name and its content, on the watcher's own thread.
class FileShadow
{
public:
    using Matcher = std::function<bool(const QString &name)>;
    using Left = std::function<void(const QString &name, const QByteArray &content)>;

    struct Version
    {
        QString name;
        QString path; // the hard link
    };

    FileShadow(QString dir, QString shadowDir, Matcher matches, Left left)
        : m_dir(std::move(dir))
        , m_shadowDir(std::move(shadowDir))
        , m_matches(std::move(matches))
        , m_left(std::move(left))
    {
        QDir().mkpath(m_shadowDir);
    }
    ~FileShadow() { stop(); }
    FileShadow(const FileShadow &) = delete;
    FileShadow &operator=(const FileShadow &) = delete;

    bool start()
    {
        m_fd = ::inotify_init1(IN_NONBLOCK | IN_CLOEXEC);
        if (m_fd < 0
            || ::inotify_add_watch(m_fd, QFile::encodeName(m_dir).constData(),
                                   IN_CREATE | IN_MOVED_TO | IN_DELETE | IN_MOVED_FROM)
                   < 0)
            return false;
        for (const QString &name : QDir(m_dir).entryList(QDir::Files | QDir::Hidden | QDir::System))
            appeared(name);
        m_thread = std::thread([this] {
            while (!m_stop)
                drain(50);
            drain(0);
        });
        return true;
    }
    void stop()
    {
        m_stop = true;
        if (m_thread.joinable())
            m_thread.join();
        if (m_fd >= 0)
            ::close(m_fd);
        m_fd = -1;
    }

    QList<Version> versions() const
    {
        std::lock_guard lock(m_mutex);
        return m_versions;
    }
    // Files that were gone before a link could be made.
    int missed() const { return m_missed; }

private:
    void drain(int timeoutMs)
    {
        pollfd p{m_fd, POLLIN, 0};
        if (::poll(&p, 1, timeoutMs) <= 0)
            return;
        alignas(inotify_event) char buffer[16384];
        for (;;) {
            const ssize_t n = ::read(m_fd, buffer, sizeof buffer);
            if (n <= 0)
                return;
            for (ssize_t at = 0; at < n;) {
                const auto *e = reinterpret_cast<const inotify_event *>(buffer + at);
                at += ssize_t(sizeof(inotify_event) + e->len);
                if (e->len == 0)
                    continue;
                const QString name = QFile::decodeName(e->name);
                if (e->mask & (IN_CREATE | IN_MOVED_TO))
                    appeared(name);
                else if (e->mask & (IN_DELETE | IN_MOVED_FROM))
                    gone(name);
            }
        }
    }

    void appeared(const QString &name)
    {
        if (!m_matches(name))
            return;
        const QByteArray path = QFile::encodeName(QDir(m_dir).filePath(name));
        struct stat st{};
        if (::stat(path.constData(), &st) != 0) {
            ++m_missed;
            return;
        }
        const auto current = m_current.constFind(name);
        if (current != m_current.cend()) {
            if (current->inode == st.st_ino)
                return;
            gone(name); // replaced by a rename
        }
        const QString link = QDir(m_shadowDir).filePath(name + QLatin1Char('#') + QString::number(m_count++));
        if (::link(path.constData(), QFile::encodeName(link).constData()) != 0) {
            ++m_missed;
            return;
        }
        m_current.insert(name, {link, st.st_ino});
        std::lock_guard lock(m_mutex);
        m_versions.append({name, link});
    }

    void gone(const QString &name)
    {
        const auto current = m_current.constFind(name);
        if (current == m_current.cend())
            return;
        QFile f(current->link);
        const QByteArray content = f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
        m_current.erase(current);
        m_left(name, content);
    }

    struct Current
    {
        QString link;
        ino_t inode = 0;
    };

    QString m_dir;
    QString m_shadowDir;
    Matcher m_matches;
    Left m_left;
    int m_fd = -1;
    int m_count = 0;
    std::atomic<int> m_missed{0};
    std::atomic<bool> m_stop{false};
    QHash<QString, Current> m_current; // the watcher's thread only (and start())
    mutable std::mutex m_mutex;
    QList<Version> m_versions;
    std::thread m_thread;
};

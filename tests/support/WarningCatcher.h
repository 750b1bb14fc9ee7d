#pragma once

#include <QString>
#include <QStringList>
#include <QtGlobal>

#include <mutex>
#include <utility>

// Collects the warnings (qWarning) issued while it lives, from any thread.
class WarningCatcher
{
public:
    WarningCatcher()
    {
        s_current = this;
        m_previous = qInstallMessageHandler(&WarningCatcher::handle);
    }
    ~WarningCatcher()
    {
        qInstallMessageHandler(m_previous);
        s_current = nullptr;
    }
    WarningCatcher(const WarningCatcher &) = delete;
    WarningCatcher &operator=(const WarningCatcher &) = delete;

    QStringList take()
    {
        std::lock_guard lock(m_mutex);
        return std::exchange(m_messages, {});
    }

private:
    static void handle(QtMsgType type, const QMessageLogContext &, const QString &message)
    {
        WarningCatcher *catcher = s_current;
        if (type == QtWarningMsg && catcher) {
            std::lock_guard lock(catcher->m_mutex);
            catcher->m_messages.append(message);
        }
    }
    static inline WarningCatcher *s_current = nullptr;
    QtMessageHandler m_previous = nullptr;
    std::mutex m_mutex;
    QStringList m_messages;
};

#include "station/LogFile.h"

#include "common/Clock.h"
#include "common/LocaleFormat.h"
#include "station/StationTexts.h"

#include <QDir>
#include <QFile>

#include <mutex>

namespace {
std::mutex g_logMutex;
QString g_dir;
} // namespace

namespace LogFile {

void setDirectory(const QString &dir)
{
    std::lock_guard lock(g_logMutex);
    g_dir = dir;
}

QString path()
{
    const QString name = QString::fromLatin1(StationTexts::LogFileName);
    return g_dir.isEmpty() ? name : QDir(g_dir).filePath(name);
}

void holdWrites(const std::function<void()> &whileHeld)
{
    std::lock_guard lock(g_logMutex);
    whileHeld();
}

} // namespace LogFile

void WriteLogLine(const QByteArray &text)
{
    try {
        std::lock_guard lock(g_logMutex);
        const QDateTime now = Clock::instance().localDateTime();
        QByteArray line = LocaleFormat::shortDate(now.date());
        line += ' ';
        line += LocaleFormat::longTime(now.time());
        line += StationTexts::LogTag;
        line += text;
        line += "\r\n";
        QFile file(LogFile::path());
        if (!file.open(QIODevice::WriteOnly | QIODevice::Append))
            return;
        file.write(line);
        file.close();
    } catch (...) {
        // A line that cannot be written is lost; the caller never sees it.
    }
}

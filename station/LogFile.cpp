#include "station/LogFile.h"

#include "common/Clock.h"
#include "common/LocaleFormat.h"
#include "station/StationTexts.h"

#include "platform/FileAppend.h"

#include <QDir>

#include <cstdio>
#include <mutex>

namespace {
std::mutex g_logMutex;
QString g_dir;
// The log could not be written last time: said once on standard error, not
// again until a line has been written.
bool g_failing = false;
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
        // The line is written whole or not at all.
        const QString path = LogFile::path();
        const int error = FileAppend::appendWhole(path, line, FileAppend::Sync::None);
        if (error != 0 && !g_failing) {
            std::fprintf(
                stderr,
                "klimawarte: cannot write the log %s: %s; log lines are lost until it can be written\n",
                qPrintable(QDir::current().absoluteFilePath(path)), qPrintable(qt_error_string(error)));
            std::fflush(stderr);
        }
        g_failing = error != 0;
    } catch (...) {
        // A line that cannot be written is lost; the caller never sees it.
    }
}

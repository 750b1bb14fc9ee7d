#include "station/LogFile.h"

#include "common/Clock.h"
#include "common/LocaleFormat.h"
#include "platform/FileAppend.h"
#include "station/StationCore.h"
#include "station/StationPlatform.h"
#include "station/StationTexts.h"

#include <QDir>

#include <cstdio>

QString LogFile::path() const
{
    const QString name = QString::fromLatin1(StationTexts::LogFileName);
    const QString &dir = m_platform.workingDirectory;
    return dir.isEmpty() ? name : QDir(dir).filePath(name);
}

void LogFile::holdWrites(const std::function<void()> &whileHeld)
{
    std::lock_guard lock(m_mutex);
    whileHeld();
}

void LogFile::WriteLogLine(const QByteArray &text)
{
    try {
        std::lock_guard lock(m_mutex);
        const QDateTime now = m_platform.clockOrSystem().localDateTime();
        QByteArray line = LocaleFormat::shortDate(now.date());
        line += ' ';
        line += LocaleFormat::longTime(now.time());
        line += StationTexts::LogTag;
        line += text;
        line += "\r\n";
        // The line is written whole or not at all.
        const QString file = path();
        const int error = FileAppend::appendWhole(file, line, FileAppend::Sync::None);
        if (error != 0 && !m_failing) {
            std::fprintf(
                stderr,
                "klimawarte: cannot write the log %s: %s; log lines are lost until it can be written\n",
                qPrintable(QDir::current().absoluteFilePath(file)), qPrintable(qt_error_string(error)));
            std::fflush(stderr);
        }
        m_failing = error != 0;
    } catch (...) {
        // A line that cannot be written is lost; the caller never sees it.
    }
}

void WriteLogLine(StationCore &core, const QByteArray &text)
{
    core.log().WriteLogLine(text);
}

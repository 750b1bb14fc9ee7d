#include "station/LogFile.h"

#include "common/Clock.h"
#include "common/LocaleFormat.h"
#include "station/StationCore.h"
#include "station/StationPlatform.h"
#include "station/StationTexts.h"

#include <QDir>
#include <QFile>

QString LogFile::path() const
{
    const QString name = QString::fromLatin1(StationTexts::LogFileName);
    const QString &dir = m_platform.workingDirectory;
    return dir.isEmpty() ? name : QDir(dir).filePath(name);
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
        QFile file(path());
        if (!file.open(QIODevice::WriteOnly | QIODevice::Append))
            return;
        file.write(line);
        file.close();
    } catch (...) {
        // A line that cannot be written is lost; the caller never sees it.
    }
}

void WriteLogLine(StationCore &core, const QByteArray &text)
{
    core.log().WriteLogLine(text);
}

#pragma once

#include "platform/Shell.h"

#include <QDir>
#include <QFile>
#include <QList>

// Records what the station asks the shell to open, with the file's content
// at that moment; answers with a result the test chooses.
class FakeShell : public Shell
{
public:
    struct Call
    {
        QString file;
        QString directory;
        Show show;
        QByteArray content;
    };
    int open(const QString &file, const QString &parameters, const QString &directory, Show show) override
    {
        QString path = file;
        if (QFileInfo(path).isRelative() && !directory.isEmpty())
            path = QDir(directory).filePath(path);
        QFile f(path);
        QByteArray content;
        if (f.open(QIODevice::ReadOnly))
            content = f.readAll();
        calls.append({file, directory, show, content});
        return result;
    }
    QList<Call> calls;
    int result = Started;
};

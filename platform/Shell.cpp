#include "platform/Shell.h"

#include <QDesktopServices>
#include <QDir>
#include <QFileInfo>
#include <QProcess>
#include <QUrl>

int DesktopShell::open(const QString &file, const QString &parameters, const QString &directory, Show)
{
    const QUrl url(file);
    if (url.isValid() && !url.scheme().isEmpty() && url.scheme().size() > 1 && !QFileInfo(file).exists())
        return QDesktopServices::openUrl(url) ? Started : NoAssociation;

    QString path = file;
    if (QFileInfo(path).isRelative() && !directory.isEmpty())
        path = QDir(directory).filePath(path);
    const QFileInfo info(path);
    if (!info.exists())
        return info.dir().exists() ? FileNotFound : PathNotFound;

    const QString suffix = info.suffix().toLower();
    if (suffix == QLatin1String("vbs") || suffix == QLatin1String("bat") || suffix == QLatin1String("cmd"))
        return NoAssociation;

    if (info.isExecutable() && info.isFile()) {
        const QStringList args = QProcess::splitCommand(parameters);
        return QProcess::startDetached(info.absoluteFilePath(), args,
                                       directory.isEmpty() ? QDir::currentPath() : directory)
                   ? Started
                   : AccessDenied;
    }
    return QDesktopServices::openUrl(QUrl::fromLocalFile(info.absoluteFilePath())) ? Started : NoAssociation;
}

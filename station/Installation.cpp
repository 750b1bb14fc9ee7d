#include "station/Installation.h"

#include "common/Text8.h"
#include "platform/Shell.h"
#include "station/ServiceControl.h"
#include "station/StartupTexts.h"
#include "station/StationCore.h"
#include "station/StationWindow.h"

#include <QDir>
#include <QFile>

#include <algorithm>

namespace {

bool writeWholeFile(const QString &name, const QByteArray &bytes)
{
    QFile f(name);
    if (!f.open(QIODevice::WriteOnly | QIODevice::Truncate))
        return false;
    const bool ok = f.write(bytes) == bytes.size();
    f.close();
    return ok;
}

} // namespace

void Installation::installationSteps()
{
    const StationPlatform &platform = m_core.platform();
    m_window.stopWindowTimer(StationTimer::Timer1);
    m_window.stopWindowTimer(StationTimer::Timer2);
    m_core.notify(Text8::cp(StartupTexts::ConnectSensorMessage));
    InstallAsService =
        m_core.notify(Text8::cp(StartupTexts::InstallQuestion), NoticeButtons::YesNo) != NoticeAnswer::No;

    // The service host's folder becomes the working directory.
    const QByteArray imagePath =
        platform.service ? ServiceControl::ReadServiceValue(*platform.service, StartupTexts::ImagePathValue)
                         : QByteArray();
    QString dir;
    QByteArray hostPath;
    if (imagePath.isEmpty()) {
        dir = QDir::currentPath();
        hostPath = QFile::encodeName(QDir(dir).filePath(QString::fromLatin1(StartupTexts::HostExe)));
    } else {
        hostPath = imagePath;
        const qsizetype cut = std::max(imagePath.lastIndexOf('\\'), imagePath.lastIndexOf('/'));
        dir = QFile::decodeName(cut >= 0 ? imagePath.left(cut) : imagePath);
    }
    QDir::setCurrent(dir); // a folder that cannot be entered leaves the current one

    const auto runScript = [&](const char *name, const QByteArray &content) {
        writeWholeFile(QString::fromLatin1(name), content);
        const int result = platform.shell
                               ? platform.shell->open(QDir(dir).filePath(QString::fromLatin1(name)), {}, dir,
                                                      Shell::Show::Minimized)
                               : Shell::NoAssociation;
        return result;
    };
    if (InstallAsService) {
        runScript(StartupTexts::InstallScript, ServiceControl::InstallServiceScript(hostPath));
        m_core.sleep(3000);
        QFile::remove(QString::fromLatin1(StartupTexts::InstallScript));
    } else {
        if (runScript(StartupTexts::UninstallScript, ServiceControl::UninstallServiceScript()) <= 32)
            m_core.notify(Text8::cp(StartupTexts::UninstallError));
        m_core.sleep(3000);
        QFile::remove(QString::fromLatin1(StartupTexts::UninstallScript));
    }
    if (InstallAsService)
        StartServiceAfterConfig = m_core.notify(Text8::cp(StartupTexts::StartServiceQuestion),
                                                NoticeButtons::YesNo) != NoticeAnswer::No;
}

void Installation::configurationLoop()
{
    StationState &st = m_core.state;
    const StationPlatform &platform = m_core.platform();
    for (;;) {
        if (platform.showConfigDialog)
            platform.showConfigDialog();
        else
            m_window.showConfigDialog();
        QFile cfg(QStringLiteral("r2arodire.cfg"));
        if (cfg.open(QIODevice::ReadOnly)) {
            cfg.readLine();
            if (cfg.error() == QFileDevice::NoError)
                break;
        }
        m_core.notify(Text8::cp(StartupTexts::MustConfigureMessage));
    }

    if (InstallAsService && StartServiceAfterConfig) {
        const QString batch = QString::fromLatin1(StartupTexts::ServiceStartBatch);
        const bool written = writeWholeFile(batch, ServiceControl::ServiceStartBatch());
        if (platform.shell)
            platform.shell->open(batch, {}, {}, Shell::Show::Minimized);
        m_core.sleep(5000);
        // A file that cannot be deleted is given up after ten more seconds.
        for (int retry = 0; written && !QFile::remove(batch) && retry < 10; ++retry)
            m_core.sleep(1000);
    }

    st.SensorRunning = false;
    st.TerminateRequested = true;
    m_core.beep();
    m_core.processPendingMessages();
    m_core.sleep(111);
    m_core.quit();
}

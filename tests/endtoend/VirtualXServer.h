#pragma once

#include <QElapsedTimer>
#include <QProcess>
#include <QStandardPaths>
#include <QString>

// A private X server (Xvfb) for end-to-end tests that need a real window
// system: it picks a free display number itself and reports it.
class VirtualXServer
{
public:
    ~VirtualXServer()
    {
        if (m_process.state() != QProcess::NotRunning) {
            m_process.terminate();
            if (!m_process.waitForFinished(3000)) {
                m_process.kill();
                m_process.waitForFinished(3000);
            }
        }
    }

    // Starts the server; on failure why says what went wrong.
    bool start(QString &why)
    {
        const QString exe = QStandardPaths::findExecutable(QStringLiteral("Xvfb"));
        if (exe.isEmpty()) {
            why = QStringLiteral("Xvfb is not installed (scripts/install-deps.sh installs it)");
            return false;
        }
        // -displayfd 1: the server writes the display number it took to its
        // standard output once it accepts connections.
        m_process.setProcessChannelMode(QProcess::SeparateChannels);
        m_process.start(exe, {QStringLiteral("-displayfd"), QStringLiteral("1"), QStringLiteral("-screen"),
                              QStringLiteral("0"), QStringLiteral("1280x1024x24"),
                              QStringLiteral("-nolisten"), QStringLiteral("tcp")});
        if (!m_process.waitForStarted(5000)) {
            why = QStringLiteral("Xvfb did not start: ") + m_process.errorString();
            return false;
        }
        QByteArray out;
        QElapsedTimer t;
        t.start();
        while (!out.contains('\n') && t.elapsed() < 10000 && m_process.state() == QProcess::Running) {
            m_process.waitForReadyRead(200);
            out += m_process.readAllStandardOutput();
        }
        bool ok = false;
        const int number = out.trimmed().toInt(&ok);
        if (!out.contains('\n') || !ok || number < 0) {
            why = QStringLiteral("Xvfb gave no display number: ") +
                  QString::fromLocal8Bit(m_process.readAllStandardError().right(500));
            return false;
        }
        m_display = QStringLiteral(":") + QString::number(number);
        return true;
    }

    QString display() const { return m_display; }
    bool running() const { return m_process.state() == QProcess::Running; }

private:
    QProcess m_process;
    QString m_display;
};

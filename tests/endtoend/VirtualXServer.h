#pragma once

#include <QCoreApplication>
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

    // Runs the test `name` of this test program in a child copy on this
    // server's display, with `childVariable` set so that the child's part
    // runs (a widget application cannot change its platform once started).
    // Empty when the child ended normally with exit code 0 and its test
    // passed; otherwise what went wrong, with the child's output.
    QString runChildTest(const char *childVariable, const QString &name) const
    {
        QProcess child;
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert(QString::fromLatin1(childVariable), QStringLiteral("1"));
        env.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("xcb"));
        env.insert(QStringLiteral("DISPLAY"), m_display);
        child.setProcessEnvironment(env);
        child.setProcessChannelMode(QProcess::MergedChannels);
        child.start(QCoreApplication::applicationFilePath(), {QStringLiteral("--gtest_filter=") + name});
        if (!child.waitForStarted(10000))
            return QStringLiteral("the child did not start: ") + child.errorString();
        const bool finished = child.waitForFinished(60000);
        if (!finished) {
            child.kill();
            child.waitForFinished(5000);
        }
        const QString out = QString::fromLocal8Bit(child.readAll());
        if (!finished)
            return QStringLiteral("the child did not end within 60 s:\n") + out;
        if (child.exitStatus() != QProcess::NormalExit || child.exitCode() != 0)
            return QStringLiteral("the child ended with %1:\n").arg(child.exitCode()) + out;
        if (!out.contains(QStringLiteral("[  PASSED  ] 1 test")))
            return QStringLiteral("the child's test did not pass:\n") + out;
        return QString();
    }

private:
    QProcess m_process;
    QString m_display;
};

#pragma once

#include <QByteArray>
#include <QDir>
#include <QFile>
#include <QProcess>
#include <QStandardPaths>
#include <QTcpServer>
#include <QTcpSocket>
#include <QTemporaryDir>
#include <QThread>

#include <csignal>
#include <sys/types.h>
#include <unistd.h>

// A dante SOCKS 5 server on 127.0.0.1 for one test: user name and password
// checked against a system account that it creates, a free port, its
// configuration and log in a temporary folder. Everything it made is removed
// when it goes, also after a failed test. start() says why it cannot run.
class DanteProxy
{
public:
    DanteProxy()
        : m_user(QStringLiteral("kwsocks%1").arg(::getpid()).toLatin1())
    {}
    ~DanteProxy() { stop(); }
    DanteProxy(const DanteProxy &) = delete;
    DanteProxy &operator=(const DanteProxy &) = delete;

    // Empty when the proxy listens; otherwise why it does not.
    QString start(const QByteArray &password)
    {
        if (::geteuid() != 0)
            return QStringLiteral("needs root (a system account for the proxy's password check)");
        const QString danted =
            QStandardPaths::findExecutable(QStringLiteral("danted"), {"/usr/sbin", "/usr/bin"});
        if (danted.isEmpty())
            return QStringLiteral("danted is missing (scripts/install-deps.sh installs dante-server)");
        if (!m_dir.isValid())
            return QStringLiteral("no temporary folder");

        run("userdel", {QString::fromLatin1(m_user)}); // left by an earlier run of this pid
        // useradd and chpasswd lock the account files; parallel runs retry.
        for (int i = 0; i < 20 && !m_accountMade; ++i) {
            m_accountMade = run("useradd", {"-M", "-s", "/usr/sbin/nologin", QString::fromLatin1(m_user)});
            if (!m_accountMade)
                QThread::msleep(100);
        }
        if (!m_accountMade)
            return QStringLiteral("useradd failed");
        bool passwordSet = false;
        for (int i = 0; i < 20 && !passwordSet; ++i) {
            passwordSet = run("chpasswd", {}, m_user + ':' + password + '\n');
            if (!passwordSet)
                QThread::msleep(100);
        }
        if (!passwordSet)
            return QStringLiteral("chpasswd failed");

        {
            QTcpServer probe;
            if (!probe.listen(QHostAddress::LocalHost, 0))
                return QStringLiteral("no free port");
            m_port = probe.serverPort();
        }
        const QString dir = m_dir.path();
        QFile conf(dir + QStringLiteral("/danted.conf"));
        if (!conf.open(QIODevice::WriteOnly))
            return QStringLiteral("cannot write danted.conf");
        conf.write("logoutput: " + dir.toLocal8Bit() +
                   "/danted.log\n"
                   "internal: 127.0.0.1 port = " +
                   QByteArray::number(m_port) +
                   "\n"
                   "external: 127.0.0.1\n"
                   "clientmethod: none\n"
                   "socksmethod: username\n"
                   "user.privileged: root\n"
                   "user.unprivileged: nobody\n"
                   "client pass {\n  from: 127.0.0.0/8 to: 0.0.0.0/0\n}\n"
                   "socks pass {\n  from: 127.0.0.0/8 to: 127.0.0.0/8\n  command: connect\n"
                   "  log: error connect disconnect\n}\n");
        conf.close();

        m_process.setProcessChannelMode(QProcess::MergedChannels);
        m_process.start(danted, {QStringLiteral("-f"), conf.fileName(), QStringLiteral("-p"),
                                 dir + QStringLiteral("/danted.pid")});
        if (!m_process.waitForStarted(5000))
            return QStringLiteral("danted does not start");
        for (int i = 0; i < 100; ++i) {
            QTcpSocket probe;
            probe.connectToHost(QHostAddress::LocalHost, m_port);
            if (probe.waitForConnected(100))
                return {};
            if (m_process.state() == QProcess::NotRunning)
                return QStringLiteral("danted ended: ") + QString::fromLocal8Bit(m_process.readAll());
            QThread::msleep(50);
        }
        return QStringLiteral("danted does not listen on port %1").arg(m_port);
    }

    void stop()
    {
        if (m_process.state() != QProcess::NotRunning) {
            // danted works with child processes that end after their mother;
            // wait for them too, so that nothing of the proxy outlives the test.
            const QList<pid_t> children = childrenOf(static_cast<pid_t>(m_process.processId()));
            m_process.terminate();
            if (!m_process.waitForFinished(5000)) {
                m_process.kill();
                m_process.waitForFinished(5000);
            }
            for (pid_t child : children) {
                for (int i = 0; i < 100 && ::kill(child, 0) == 0; ++i)
                    QThread::msleep(50);
                if (::kill(child, 0) == 0)
                    ::kill(child, SIGKILL);
            }
        }
        if (m_accountMade) {
            for (int i = 0; i < 20 && !run("userdel", {QString::fromLatin1(m_user)}); ++i)
                QThread::msleep(100);
            m_accountMade = false;
        }
    }

    quint16 port() const { return m_port; }
    QByteArray user() const { return m_user; }
    QByteArray log() const
    {
        QFile f(m_dir.path() + QStringLiteral("/danted.log"));
        return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
    }

private:
    static QList<pid_t> childrenOf(pid_t parent)
    {
        QList<pid_t> children;
        const QStringList entries = QDir(QStringLiteral("/proc")).entryList(QDir::Dirs);
        for (const QString &entry : entries) {
            bool isPid = false;
            const pid_t pid = entry.toInt(&isPid);
            if (!isPid)
                continue;
            QFile stat(QStringLiteral("/proc/%1/stat").arg(pid));
            if (!stat.open(QIODevice::ReadOnly))
                continue;
            // pid (comm) state ppid ...: comm may hold blanks, so read after the last ')'.
            const QByteArray line = stat.readAll();
            const QList<QByteArray> fields = line.mid(line.lastIndexOf(')') + 2).split(' ');
            if (fields.size() > 1 && fields[1].toInt() == parent)
                children.append(pid);
        }
        return children;
    }

    static bool run(const char *program, const QStringList &args, const QByteArray &input = {})
    {
        QProcess p;
        p.start(QString::fromLatin1(program), args);
        if (!p.waitForStarted(5000))
            return false;
        if (!input.isEmpty())
            p.write(input);
        p.closeWriteChannel();
        return p.waitForFinished(10000) && p.exitStatus() == QProcess::NormalExit && p.exitCode() == 0;
    }

    QTemporaryDir m_dir;
    QByteArray m_user;
    quint16 m_port = 0;
    bool m_accountMade = false;
    QProcess m_process;
};

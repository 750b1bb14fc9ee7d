#pragma once

#include <QByteArray>
#include <QCryptographicHash>
#include <QFile>
#include <QProcess>
#include <QStandardPaths>
#include <QTcpServer>
#include <QTcpSocket>
#include <QTemporaryDir>
#include <QThread>

#include <sys/stat.h>
#include <unistd.h>

#include <grp.h>
#include <pwd.h>

// HTTP proxies with CONNECT on 127.0.0.1 for one test, each on a free port
// with its configuration, password file and logs in a temporary folder that
// goes with it: squid with Basic or Digest authentication, tinyproxy with
// Basic. start() returns why the proxy cannot run, empty when it listens.
namespace HttpProxyPeers {

inline quint16 freePort()
{
    QTcpServer probe;
    return probe.listen(QHostAddress::LocalHost, 0) ? probe.serverPort() : 0;
}

inline bool writeFile(const QString &path, const QByteArray &bytes, mode_t mode = 0644)
{
    QFile f(path);
    if (!f.open(QIODevice::WriteOnly) || f.write(bytes) != bytes.size())
        return false;
    f.close();
    return ::chmod(path.toLocal8Bit().constData(), mode) == 0;
}

inline bool chownTo(const QString &path, const char *user, const char *groupName)
{
    const passwd *pw = ::getpwnam(user);
    const struct group *gr = ::getgrnam(groupName);
    return pw && gr && ::chown(path.toLocal8Bit().constData(), pw->pw_uid, gr->gr_gid) == 0;
}

// Starts the program and waits until the port accepts connections.
inline QString startAndWait(QProcess &process, const QString &program, const QStringList &args, quint16 port)
{
    process.setProcessChannelMode(QProcess::MergedChannels);
    process.start(program, args);
    if (!process.waitForStarted(5000))
        return program + QStringLiteral(" does not start");
    for (int i = 0; i < 200; ++i) {
        QTcpSocket probe;
        probe.connectToHost(QHostAddress::LocalHost, port);
        if (probe.waitForConnected(100))
            return {};
        // Waiting for the end also notices it (the state follows events).
        if (process.waitForFinished(25) || process.state() == QProcess::NotRunning)
            return program + QStringLiteral(" ended: ") + QString::fromLocal8Bit(process.readAll());
    }
    return program + QStringLiteral(" does not listen on port %1").arg(port);
}

inline void stopProcess(QProcess &process)
{
    if (process.state() == QProcess::NotRunning)
        return;
    process.terminate();
    if (!process.waitForFinished(10000)) {
        process.kill();
        process.waitForFinished(5000);
    }
}

class Squid
{
public:
    enum class Auth { Basic, Digest };

    explicit Squid(Auth auth)
        : m_auth(auth)
    {}
    ~Squid() { stopProcess(m_process); }
    Squid(const Squid &) = delete;
    Squid &operator=(const Squid &) = delete;

    QString start(const QByteArray &user, const QByteArray &password)
    {
        if (::geteuid() != 0)
            return QStringLiteral("needs root (squid changes to the proxy account)");
        const QString squid = QStandardPaths::findExecutable(QStringLiteral("squid"), {"/usr/sbin", "/usr/bin"});
        if (squid.isEmpty())
            return QStringLiteral("squid is missing (scripts/install-deps.sh installs squid)");
        const QString helper = m_auth == Auth::Basic ? QStringLiteral("/usr/lib/squid/basic_ncsa_auth")
                                                     : QStringLiteral("/usr/lib/squid/digest_file_auth");
        if (!QFile::exists(helper))
            return helper + QStringLiteral(" is missing");
        if (!m_dir.isValid())
            return QStringLiteral("no temporary folder");
        const QString dir = m_dir.path();
        // squid works as the proxy account: it must reach the folder, read
        // the password file and write its logs.
        ::chmod(dir.toLocal8Bit().constData(), 0755);
        const QString logs = dir + QStringLiteral("/squid");
        if (::mkdir(logs.toLocal8Bit().constData(), 0755) != 0 || !chownTo(logs, "proxy", "proxy"))
            return QStringLiteral("cannot make squid's log folder");

        const QByteArray realm = m_auth == Auth::Basic ? "station-basic" : "station-digest";
        const QString passwd = dir + QStringLiteral("/passwd");
        QByteArray line;
        if (m_auth == Auth::Basic) {
            const QString htpasswd = QStandardPaths::findExecutable(QStringLiteral("htpasswd"));
            if (htpasswd.isEmpty())
                return QStringLiteral("htpasswd is missing (scripts/install-deps.sh installs apache2-utils)");
            QProcess p;
            p.start(htpasswd, {QStringLiteral("-n"), QStringLiteral("-b"), QString::fromLatin1(user),
                               QString::fromLatin1(password)});
            if (!p.waitForFinished(10000) || p.exitCode() != 0)
                return QStringLiteral("htpasswd failed");
            line = p.readAllStandardOutput().trimmed() + '\n';
        } else {
            // htdigest's line: user, realm and the MD5 of user:realm:password.
            line = user + ':' + realm + ':' +
                   QCryptographicHash::hash(user + ':' + realm + ':' + password, QCryptographicHash::Md5).toHex() +
                   '\n';
        }
        if (!writeFile(passwd, line))
            return QStringLiteral("cannot write the password file");

        m_port = freePort();
        if (!m_port)
            return QStringLiteral("no free port");
        m_name = QStringLiteral("kwsquid%1x%2").arg(::getpid()).arg(m_port);
        const QByteArray d = dir.toLocal8Bit();
        QByteArray conf = "http_port 127.0.0.1:" + QByteArray::number(m_port) + "\n" + "pid_filename " + d +
                          "/squid/squid.pid\n" + "access_log stdio:" + d + "/squid/access.log\n" + "cache_log " +
                          d + "/squid/cache.log\n" +
                          "cache_store_log none\n"
                          "coredump_dir " +
                          d +
                          "/squid\n"
                          "cache deny all\n"
                          "cache_effective_user proxy\n"
                          "shutdown_lifetime 1 seconds\n";
        if (m_auth == Auth::Basic)
            conf += "auth_param basic program /usr/lib/squid/basic_ncsa_auth " + passwd.toLocal8Bit() +
                    "\nauth_param basic children 2\nauth_param basic realm " + realm + "\n";
        else
            conf += "auth_param digest program /usr/lib/squid/digest_file_auth -c " + passwd.toLocal8Bit() +
                    "\nauth_param digest children 2\nauth_param digest realm " + realm + "\n";
        conf += "acl authed proxy_auth REQUIRED\n"
                "http_access allow localhost authed\n"
                "http_access deny all\n";
        const QString confPath = dir + QStringLiteral("/squid.conf");
        if (!writeFile(confPath, conf))
            return QStringLiteral("cannot write squid.conf");
        const QString why = startAndWait(m_process, squid,
                                         {QStringLiteral("-N"), QStringLiteral("-f"), confPath,
                                          QStringLiteral("-n"), m_name},
                                         m_port);
        if (why.isEmpty())
            return {};
        QFile log(logs + QStringLiteral("/cache.log"));
        return why + QStringLiteral("; ") + QString::fromLocal8Bit(m_process.readAll()) +
               (log.open(QIODevice::ReadOnly) ? QString::fromLocal8Bit(log.readAll().right(1500)) : QString());
    }

    quint16 port() const { return m_port; }
    QByteArray accessLog() const
    {
        QFile f(m_dir.path() + QStringLiteral("/squid/access.log"));
        return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
    }

private:
    Auth m_auth;
    QTemporaryDir m_dir;
    QString m_name;
    quint16 m_port = 0;
    QProcess m_process;
};

class TinyProxy
{
public:
    TinyProxy() = default;
    ~TinyProxy() { stopProcess(m_process); }
    TinyProxy(const TinyProxy &) = delete;
    TinyProxy &operator=(const TinyProxy &) = delete;

    QString start(const QByteArray &user, const QByteArray &password)
    {
        if (::geteuid() != 0)
            return QStringLiteral("needs root (tinyproxy changes to the nobody account)");
        const QString tinyproxy =
            QStandardPaths::findExecutable(QStringLiteral("tinyproxy"), {"/usr/bin", "/usr/sbin"});
        if (tinyproxy.isEmpty())
            return QStringLiteral("tinyproxy is missing (scripts/install-deps.sh installs tinyproxy)");
        if (!m_dir.isValid())
            return QStringLiteral("no temporary folder");
        const QString dir = m_dir.path();
        ::chmod(dir.toLocal8Bit().constData(), 0755);
        const QString logs = dir + QStringLiteral("/tiny");
        if (::mkdir(logs.toLocal8Bit().constData(), 0755) != 0 || !chownTo(logs, "nobody", "nogroup"))
            return QStringLiteral("cannot make tinyproxy's log folder");
        m_port = freePort();
        if (!m_port)
            return QStringLiteral("no free port");
        const QByteArray d = dir.toLocal8Bit();
        const QByteArray conf = "User nobody\nGroup nogroup\nPort " + QByteArray::number(m_port) +
                                "\nListen 127.0.0.1\nTimeout 60\nLogFile \"" + d + "/tiny/tinyproxy.log\"\n" +
                                "PidFile \"" + d + "/tiny/tinyproxy.pid\"\nMaxClients 20\nAllow 127.0.0.1\n" +
                                "BasicAuth " + user + ' ' + password + "\n";
        const QString confPath = dir + QStringLiteral("/tinyproxy.conf");
        if (!writeFile(confPath, conf))
            return QStringLiteral("cannot write tinyproxy.conf");
        return startAndWait(m_process, tinyproxy, {QStringLiteral("-d"), QStringLiteral("-c"), confPath}, m_port);
    }

    quint16 port() const { return m_port; }

private:
    QTemporaryDir m_dir;
    quint16 m_port = 0;
    QProcess m_process;
};

} // namespace HttpProxyPeers

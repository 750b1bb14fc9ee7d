#pragma once

#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QProcess>
#include <QTcpServer>
#include <QThread>

#include <list>
#include <memory>

#include <fcntl.h>
#include <semaphore.h>
#include <sys/file.h>
#include <sys/mman.h>
#include <unistd.h>

// libfaketime keeps the faster clock of a process and of the processes it
// starts in a semaphore and a shared memory object that the first of them
// creates and removes again when it ends. A station that schedules its own
// restart and ends would take them away from everything that comes after it
// (the restart helper, the commands the helper runs, the new program): each
// of those then tries to create them anew, which fails now and then under
// load and ends the process at once (a failed mv, a lost restart). A keeper
// process creates the pair instead and holds it for the station and all its
// followers; the test removes it when the station is done.
class FasterClockKeeper
{
public:
    // The keeper for a process environment that loads libfaketime; `shared`
    // stays empty when no keeper could be made (the process then creates
    // its own pair, as without a keeper).
    explicit FasterClockKeeper(const QProcessEnvironment &env)
    {
        QProcessEnvironment keeperEnv = env;
        keeperEnv.remove(QStringLiteral("FAKETIME_SHARED"));
        // A stale pair of an earlier process with the same id makes the
        // creation fail: a new keeper gets a new id.
        for (int attempt = 0; attempt < 5 && shared.isEmpty(); ++attempt) {
            m_keeper.setProcessEnvironment(keeperEnv);
            m_keeper.setProcessChannelMode(QProcess::SeparateChannels);
            m_keeper.setStandardErrorFile(QProcess::nullDevice());
            // The shell prints the names the library made at its start and
            // becomes cat, which waits for the end of its input; an exec
            // runs no exit handler, so nothing removes the pair meanwhile.
            m_keeper.start(
                QStringLiteral("/bin/sh"),
                {QStringLiteral("-c"), QStringLiteral("printf '%s\\n' \"$FAKETIME_SHARED\"; exec cat")});
            if (!m_keeper.waitForStarted(5000))
                return;
            QByteArray line;
            while (!line.endsWith('\n') && m_keeper.waitForReadyRead(5000))
                line += m_keeper.readAll();
            const QList<QByteArray> names = line.trimmed().split(' ');
            if (names.size() == 2 && names[0].startsWith('/') && names[1].startsWith('/')) {
                m_sem = names[0];
                m_shm = names[1];
                shared = QString::fromLatin1(line.trimmed());
            } else {
                end();
            }
        }
    }
    ~FasterClockKeeper()
    {
        end();
        if (!m_sem.isEmpty())
            ::sem_unlink(m_sem.constData());
        if (!m_shm.isEmpty())
            ::shm_unlink(m_shm.constData());
    }
    FasterClockKeeper(const FasterClockKeeper &) = delete;
    FasterClockKeeper &operator=(const FasterClockKeeper &) = delete;

    // The value of FAKETIME_SHARED for the kept pair.
    QString shared;

private:
    void end()
    {
        if (m_keeper.state() == QProcess::NotRunning)
            return;
        m_keeper.closeWriteChannel();
        if (!m_keeper.waitForFinished(2000)) {
            m_keeper.kill();
            m_keeper.waitForFinished(2000);
        }
    }

    QProcess m_keeper;
    QByteArray m_sem;
    QByteArray m_shm;
};

// The real station program in a process of its own, for end-to-end tests.
// Its clock runs ten times faster (libfaketime), so the start-up countdown
// and the supervision ticks that close unanswered boxes take a tenth of
// their real time.
class StationProcess
{
public:
    StationProcess(QString exe, QString workDir, QString serviceDir)
        : m_exe(std::move(exe))
        , m_workDir(std::move(workDir))
        , m_serviceDir(std::move(serviceDir))
    {
        QDir().mkpath(m_workDir);
        QDir().mkpath(m_serviceDir);
    }
    ~StationProcess()
    {
        if (m_process.state() != QProcess::NotRunning) {
            m_process.kill();
            m_process.waitForFinished(5000);
        }
    }

    // The first of four consecutive free ports, reserved for this test
    // process: the stations of a test search their viewer port there. The
    // ports lie below the range the system hands out for outgoing
    // connections and for listening on port 0, and above 2002 and the
    // ports next to it that other stations on this machine use. Test
    // processes that run side by side (also those of other build trees) each
    // hold a lock file for their block until they end, so no two of them
    // pick the same ports.
    static quint16 freeViewerPorts()
    {
        static const int first = 20000 + static_cast<int>(QCoreApplication::applicationPid() % 2000) * 4;
        static const QString locks = QDir(QDir::tempPath()).filePath(QStringLiteral("klimawarte-test-ports"));
        QDir().mkpath(locks);
        for (int i = 0; i < 2000; ++i) {
            const int base = 20000 + (first - 20000 + i * 4) % 8000;
            const QByteArray lockPath = QDir(locks).filePath(QString::number(base)).toLocal8Bit();
            const int fd = ::open(lockPath.constData(), O_RDWR | O_CREAT | O_CLOEXEC, 0666);
            if (fd < 0)
                continue;
            if (::flock(fd, LOCK_EX | LOCK_NB) != 0) {
                ::close(fd);
                continue;
            }
            QTcpServer probes[4];
            bool free = true;
            for (int p = 0; p < 4 && free; ++p)
                free = probes[p].listen(QHostAddress::Any, static_cast<quint16>(base + p));
            if (free)
                return static_cast<quint16>(base); // fd stays open: the lock lasts until the process ends
            ::close(fd);
        }
        return 0;
    }

    // A copy of the program in dir, for one test: the start-up hunt for an
    // older copy of the same executable then never ends a station of a test
    // that runs at the same time, nor one started by hand from the build.
    // Empty when the copy failed.
    static QString programCopy(const QString &dir)
    {
        QDir().mkpath(dir);
        const QString exe = QDir(dir).filePath(QStringLiteral("klimawarte"));
        if (!QFile::exists(exe) && !QFile::copy(QStringLiteral(KLIMAWARTE_EXE), exe))
            return {};
        return exe;
    }

    // A station in the test folder root: its own copy of the program in
    // root/bin, working in work (root/work unless given), its service store
    // in root/service, viewer ports of this test process, and the simulated
    // sensor reading root/sensor-sim.txt (written with a plain measurement).
    // Null when the copy, the ports or the simulation file failed.
    static std::unique_ptr<StationProcess> simulated(const QString &root, QString work = {})
    {
        const QString exe = programCopy(QDir(root).filePath(QStringLiteral("bin")));
        const quint16 viewerPort = freeViewerPorts();
        const QString sim = QDir(root).filePath(QStringLiteral("sensor-sim.txt"));
        QFile f(sim);
        const QByteArray plain("raw_temp=6000\nraw_humidity=1500\n");
        if (exe.isEmpty() || viewerPort == 0 || !f.open(QIODevice::WriteOnly | QIODevice::Truncate) ||
            f.write(plain) != plain.size())
            return nullptr;
        if (work.isEmpty())
            work = QDir(root).filePath(QStringLiteral("work"));
        auto p = std::make_unique<StationProcess>(exe, work, QDir(root).filePath(QStringLiteral("service")));
        p->setEnv(QStringLiteral("KLIMAWARTE_VIEWER_PORT"), QString::number(viewerPort));
        p->setEnv(QStringLiteral("KLIMAWARTE_SENSOR_SIM"), sim);
        p->m_viewerPort = viewerPort;
        return p;
    }

    // The first viewer port of a station made by simulated().
    quint16 viewerPort() const { return m_viewerPort; }

    static QString fasterClockLibrary()
    {
        return QStringLiteral("/usr/lib/x86_64-linux-gnu/faketime/libfaketime.so.1");
    }
    // Real milliseconds for a span of the station's own clock.
    static int realMs(int stationMs)
    {
        return QFile::exists(fasterClockLibrary()) ? stationMs / 10 : stationMs;
    }

    // The 17 values of an r2arodire.cfg with a port (the simulated stick's
    // COM3:), so that start-up asks nothing; limits 0 to 7 are empty.
    static QList<QByteArray> configValues()
    {
        return {"",      "",      "",      "",      "",      "",        "",
                "",      "FALSE", "FALSE", "FALSE", "FALSE", "ABC1234", "127.0.0.1:1",
                "COM3:", "4",     "5"};
    }
    static QByteArray configFile(const QList<QByteArray> &values = configValues())
    {
        QByteArray out;
        for (const QByteArray &v : values)
            out += "key\r\n" + v + "\r\n";
        return out;
    }

    void setEnv(const QString &name, const QString &value) { m_env.insert(name, value); }

    void start(const QStringList &args = {})
    {
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("offscreen"));
        env.insert(QStringLiteral("KLIMAWARTE_SERVICE_DIR"), m_serviceDir);
        if (QFile::exists(fasterClockLibrary())) {
            env.insert(QStringLiteral("LD_PRELOAD"), fasterClockLibrary());
            env.insert(QStringLiteral("FAKETIME"), QStringLiteral("+0 x10"));
        }
        for (const QString &key : m_env.keys())
            env.insert(key, m_env.value(key));
        // Each start has a clock of its own, from its own start, as
        // without a keeper; the keepers stay until the station is done.
        if (env.value(QStringLiteral("LD_PRELOAD")).contains(QStringLiteral("libfaketime")) &&
            !env.contains(QStringLiteral("FAKETIME_SHARED"))) {
            m_clocks.push_back(std::make_unique<FasterClockKeeper>(env));
            if (!m_clocks.back()->shared.isEmpty())
                env.insert(QStringLiteral("FAKETIME_SHARED"), m_clocks.back()->shared);
        }
        m_process.setProcessEnvironment(env);
        m_process.setWorkingDirectory(m_workDir);
        m_process.setProcessChannelMode(QProcess::MergedChannels);
        m_process.start(m_exe, args);
        m_process.waitForStarted(5000);
    }

    bool running() const { return m_process.state() == QProcess::Running; }
    qint64 pid() const { return m_process.processId(); }
    QProcess &process() { return m_process; }

    QByteArray file(const QString &name) const
    {
        QFile f(QDir(m_workDir).filePath(name));
        return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
    }
    QByteArray control() const
    {
        QFile f(QDir(m_serviceDir).filePath(QStringLiteral("CONTROL")));
        return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
    }
    void writeControl(const QByteArray &bytes) const
    {
        QFile f(QDir(m_serviceDir).filePath(QStringLiteral("CONTROL")));
        if (f.open(QIODevice::WriteOnly | QIODevice::Truncate))
            f.write(bytes);
    }
    void writeFile(const QString &name, const QByteArray &bytes) const
    {
        QFile f(QDir(m_workDir).filePath(name));
        if (f.open(QIODevice::WriteOnly | QIODevice::Truncate))
            f.write(bytes);
    }

    // Polls until pred holds or the time is up (real milliseconds).
    template <typename Pred> static bool waitUntil(Pred pred, int timeoutMs)
    {
        QElapsedTimer t;
        t.start();
        while (!pred()) {
            if (t.elapsed() > timeoutMs)
                return false;
            QCoreApplication::processEvents(QEventLoop::AllEvents, 20);
            QThread::msleep(20);
        }
        return true;
    }

    bool waitForFileContaining(const QString &name, const QByteArray &part, int timeoutMs) const
    {
        return waitUntil([&] { return file(name).contains(part); }, timeoutMs);
    }

    bool waitForExit(int timeoutMs) { return m_process.waitForFinished(timeoutMs); }

    // The instance number in the flag file ("ZAV-Sensor<n>" CR LF), 0 while
    // there is none. Other programs on this machine may hold viewer ports
    // from 2002 up, so the number is whatever port was free.
    int instanceNumber() const
    {
        const QByteArray flag = file(QStringLiteral("r2arodire.flag"));
        static const QByteArray prefix("ZAV-Sensor");
        if (!flag.startsWith(prefix) || !flag.endsWith("\r\n"))
            return 0;
        bool ok = false;
        const int n = flag.mid(prefix.size(), flag.size() - prefix.size() - 2).toInt(&ok);
        return ok ? n : 0;
    }
    int waitForInstanceNumber(int timeoutMs) const
    {
        waitUntil([&] { return instanceNumber() > 0; }, timeoutMs);
        return instanceNumber();
    }

    // Asks the station to end through the service host's control value.
    bool shutdown(int timeoutMs = 20000)
    {
        writeControl(QByteArray("SHUTDOWN\0", 9));
        return waitForExit(timeoutMs);
    }

    // Everything the program wrote to standard output and error so far.
    QByteArray output()
    {
        m_output += m_process.readAll();
        return m_output;
    }
    bool waitForOutputContaining(const QByteArray &part, int timeoutMs)
    {
        return waitUntil([&] { return output().contains(part); }, timeoutMs);
    }

private:
    QString m_exe;
    QString m_workDir;
    QString m_serviceDir;
    QProcessEnvironment m_env;
    QProcess m_process;
    QByteArray m_output;
    quint16 m_viewerPort = 0;
    // The destructor ends the station before they go.
    std::list<std::unique_ptr<FasterClockKeeper>> m_clocks;
};

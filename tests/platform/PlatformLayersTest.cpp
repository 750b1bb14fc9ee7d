#include "platform/FileAppend.h"
#include "platform/InstanceLock.h"
#include "platform/ProcessTable.h"
#include "platform/ServiceStore.h"
#include "platform/Shell.h"
#include "support/FailingFileCalls.h"
#include "support/TempDir.h"

#include <gtest/gtest.h>

#include <QCoreApplication>
#include <QDeadlineTimer>
#include <QFileInfo>
#include <QProcess>

#include <cerrno>

#include <csignal>
#include <unistd.h>

TEST(LinuxProcessTable, FindsItselfWithItsExecutable)
{
    LinuxProcessTable table;
    const QByteArray self = table.currentExePath();
    EXPECT_EQ(self, QCoreApplication::applicationFilePath().toLocal8Bit());
    bool found = false;
    for (const ProcessEntry &p : table.processes())
        if (p.pid == table.currentPid())
            found = p.exePath == self;
    EXPECT_TRUE(found);
}

TEST(LinuxProcessTable, ReplacedExecutableKeepsItsPath)
{
    // A new version copied over a running program: the older copy still
    // counts as running from that path, so the new one can end it.
    ScopedWorkDir dir;
    QDir().mkpath(dir.file("zav sensor"));
    const QString exe = dir.file("zav sensor/klimawarte");
    ASSERT_TRUE(QFile::copy(QStringLiteral("/bin/sleep"), exe));
    QProcess child;
    child.start(exe, {QStringLiteral("30")});
    ASSERT_TRUE(child.waitForStarted());
    ASSERT_TRUE(QFile::remove(exe));
    ASSERT_TRUE(QFile::copy(QStringLiteral("/bin/sleep"), exe));

    LinuxProcessTable table;
    QByteArray seen;
    for (const ProcessEntry &p : table.processes())
        if (p.pid == child.processId())
            seen = p.exePath;
    EXPECT_EQ(seen, QFile::encodeName(exe));
    child.kill();
    child.waitForFinished();
}

TEST(LinuxProcessTable, AChildOfTheSameExecutableIsAHelperNotACopy)
{
    // A program whose child runs the same executable (the go-between of a
    // detached start, a sanitizer's tracer): only the program counts as a
    // copy of it; the child is listed without a path.
    ScopedWorkDir dir;
    const QString exe = dir.file("sh");
    ASSERT_TRUE(QFile::copy(QStringLiteral("/bin/sh"), exe));
    QProcess parent;
    parent.start(exe, {QStringLiteral("-c"), QStringLiteral("%1 -c 'sleep 30' & echo $!; wait").arg(exe)});
    ASSERT_TRUE(parent.waitForStarted());
    ASSERT_TRUE(parent.waitForReadyRead(5000));
    const qint64 child = parent.readLine().trimmed().toLongLong();
    ASSERT_GT(child, 0);

    LinuxProcessTable table;
    QByteArray parentPath = "?";
    QByteArray childPath = "?";
    for (const ProcessEntry &p : table.processes()) {
        if (p.pid == parent.processId())
            parentPath = p.exePath;
        if (p.pid == child)
            childPath = p.exePath;
    }
    EXPECT_EQ(parentPath, QFile::encodeName(exe));
    EXPECT_EQ(childPath, QByteArray());
    ::kill(static_cast<pid_t>(child), SIGKILL);
    parent.kill();
    parent.waitForFinished();
}

TEST(LinuxProcessTable, TerminatesAChild)
{
    QProcess child;
    child.start(QStringLiteral("sleep"), {QStringLiteral("30")});
    ASSERT_TRUE(child.waitForStarted());
    LinuxProcessTable table;
    EXPECT_TRUE(table.terminate(child.processId()));
    EXPECT_TRUE(child.waitForFinished(5000));
}

TEST(DirectoryServiceStore, RawBytesAndCaseInsensitiveNames)
{
    ScopedWorkDir dir;
    DirectoryServiceStore store(dir.path());
    ASSERT_TRUE(store.writeValue("CONTROL", "RUNNING"));
    EXPECT_EQ(dir.read("CONTROL"), QByteArray("RUNNING"));
    EXPECT_EQ(store.readValue("control"), QByteArray("RUNNING"));
    dir.write("ImagePath", QByteArray("C:\\x\\Wachdienst.Exe\0", 21));
    EXPECT_EQ(store.readValue("IMAGEPATH")->size(), 21);
    ASSERT_TRUE(store.writeValue("imagepath", "y"));
    EXPECT_EQ(dir.read("ImagePath"), QByteArray("y")); // same value, not a second file
    EXPECT_FALSE(store.readValue("MISSING").has_value());

    DirectoryServiceStore missing(dir.file("nokey"));
    EXPECT_FALSE(missing.writeValue("CONTROL", "IDLE"));
    EXPECT_FALSE(missing.readValue("CONTROL").has_value());
    EXPECT_FALSE(QFileInfo::exists(dir.file("nokey")));
}

TEST(InstanceLock, SecondHolderFailsAndReleaseFreesIt)
{
    ScopedWorkDir dir;
    const QString path = dir.file("r2arodire.flag");
    InstanceLock first;
    ASSERT_TRUE(first.acquire(path, "ZAV-Sensor1\r\n").acquired());
    EXPECT_EQ(dir.read("r2arodire.flag"), QByteArray("ZAV-Sensor1\r\n"));

    // flock locks belong to the open file: a second open fails to take it,
    // as another process would.
    InstanceLock second;
    EXPECT_EQ(second.acquire(path, "ZAV-Sensor2\r\n").status, InstanceLock::Status::HeldByOther);
    EXPECT_EQ(dir.read("r2arodire.flag"), QByteArray("ZAV-Sensor1\r\n"));

    first.release();
    EXPECT_TRUE(second.acquire(path, "ZAV-Sensor2\r\n").acquired());
    EXPECT_EQ(dir.read("r2arodire.flag"), QByteArray("ZAV-Sensor2\r\n"));
}

TEST(InstanceLock, LockOfAnEndedProcessIsGone)
{
    ScopedWorkDir dir;
    const QString path = dir.file("r2arodire.flag");
    // A child takes the lock, says so, and is killed: nothing stale remains.
    // No probe runs before the child holds the lock, so the child's own
    // attempt never meets ours.
    QProcess child;
    child.start(QStringLiteral("bash"),
                {QStringLiteral("-c"),
                 QStringLiteral("exec 9<>\"$0\"; flock -n 9 || exit 1; echo locked; exec sleep 30"), path});
    ASSERT_TRUE(child.waitForStarted());
    QByteArray said;
    const QDeadlineTimer started(30000);
    while (!said.contains("locked\n") && child.state() == QProcess::Running && !started.hasExpired())
        if (child.waitForReadyRead(static_cast<int>(started.remainingTime())))
            said += child.readAllStandardOutput();
    ASSERT_TRUE(said.contains("locked\n")) << "the child did not take the lock";

    InstanceLock lock;
    EXPECT_EQ(lock.acquire(path, "x\r\n").status, InstanceLock::Status::HeldByOther);
    child.kill();
    ASSERT_TRUE(child.waitForFinished(30000));
    // The lock goes with the process; a loaded machine may take a moment.
    bool acquired = false;
    for (const QDeadlineTimer gone(10000);
         !(acquired = lock.acquire(path, "ZAV-Sensor1\r\n").acquired()) && !gone.hasExpired();)
        usleep(10000);
    EXPECT_TRUE(acquired);
}

TEST(DesktopShell, ResultsLikeTheDesktopShell)
{
    ScopedWorkDir dir;
    DesktopShell shell;
    dir.write("InstallService.vbs", "x");
    dir.write("ServiceStart.bat", "x");
    EXPECT_EQ(shell.open(dir.file("InstallService.vbs"), {}, dir.path(), Shell::Show::Minimized),
              Shell::NoAssociation);
    EXPECT_EQ(shell.open(QStringLiteral("ServiceStart.bat"), {}, dir.path(), Shell::Show::Minimized),
              Shell::NoAssociation);
    EXPECT_EQ(shell.open(dir.file("missing.exe"), {}, {}, Shell::Show::Normal), Shell::FileNotFound);
    EXPECT_GT(shell.open(QStringLiteral("/bin/true"), {}, dir.path(), Shell::Show::Normal), 32);
}

// ------------------------------------------------ writing whole or not at all

namespace {

struct FailureCase
{
    const char *name;
    int openError;
    qint64 spaceLeft;
    int syncError;
    FileAppend::Sync sync;
    int expected; // errno, 0: written
};

} // namespace

TEST(FileAppend, ABlockIsAppendedWholeOrTheFileStaysAsItWas)
{
    const QByteArray before = "$4D6CAE88011.g19.40;x\r\n";
    const QByteArray block = "$4D6CAF00011.g19.50;x\r\n$4D6CAF00012.g52.00;%\r\n";
    const FailureCase cases[] = {
        {"fits", 0, -1, 0, FileAppend::Sync::Data, 0},
        {"disk full in the first line", 0, 20, 0, FileAppend::Sync::Data, ENOSPC},
        {"disk full in the second line", 0, 30, 0, FileAppend::Sync::None, ENOSPC},
        {"disk full", 0, 0, 0, FileAppend::Sync::Data, ENOSPC},
        {"read-only folder", EROFS, -1, 0, FileAppend::Sync::Data, EROFS},
        {"no permission", EACCES, -1, 0, FileAppend::Sync::None, EACCES},
        {"sync fails", 0, -1, EIO, FileAppend::Sync::Data, EIO},
        {"no sync asked", 0, -1, EIO, FileAppend::Sync::None, 0},
    };
    for (const FailureCase &c : cases) {
        for (const bool exists : {true, false}) {
            SCOPED_TRACE(std::string(c.name) + (exists ? ", file exists" : ", new file"));
            ScopedWorkDir dir;
            if (exists)
                dir.write("ABC12342.8MS", before);
            ScopedFailingFiles failing;
            failing.calls.openError = c.openError;
            failing.calls.spaceLeft = c.spaceLeft;
            failing.calls.syncError = c.syncError;
            EXPECT_EQ(FileAppend::appendWhole(dir.file("ABC12342.8MS"), block, c.sync), c.expected);
            const QByteArray old = exists ? before : QByteArray();
            EXPECT_EQ(dir.read("ABC12342.8MS"), c.expected == 0 ? old + block : old);
            // A failed first write leaves no empty file behind.
            EXPECT_EQ(QFileInfo::exists(dir.file("ABC12342.8MS")), exists || c.expected == 0);
        }
    }
}

namespace {

struct FlagCase
{
    const char *name;
    const char *before; // nullptr: no flag file yet
    int openError;
    qint64 spaceLeft;
    InstanceLock::Status status;
    InstanceLock::Step step;
    int error;
    const char *after; // nullptr: no flag file
};

} // namespace

TEST(InstanceLock, AFailedWriteIsNoSecondInstanceAndKeepsTheOldContent)
{
    using S = InstanceLock::Status;
    using P = InstanceLock::Step;
    const FlagCase cases[] = {
        {"new file", nullptr, 0, -1, S::Acquired, P::None, 0, "ZAV-Sensor10\r\n"},
        {"longer old content is cut", "ZAV-Sensor123\r\n", 0, 0, S::Acquired, P::None, 0, "ZAV-Sensor10\r\n"},
        {"same content on a full disk", "ZAV-Sensor10\r\n", 0, 0, S::Acquired, P::None, 0,
         "ZAV-Sensor10\r\n"},
        {"new file on a full disk", nullptr, 0, 0, S::Failed, P::Write, ENOSPC, nullptr},
        {"new file, disk full in the line", nullptr, 0, 5, S::Failed, P::Write, ENOSPC, nullptr},
        {"shorter old content, disk full", "ZAV-Sensor2\r\n", 0, 0, S::Failed, P::Write, ENOSPC,
         "ZAV-Sensor2\r\n"},
        {"empty old file, disk full", "", 0, 0, S::Failed, P::Write, ENOSPC, ""},
        {"read-only folder", nullptr, EROFS, -1, S::Failed, P::Open, EROFS, nullptr},
        {"read-only folder with a flag file", "ZAV-Sensor2\r\n", EROFS, -1, S::Failed, P::Open, EROFS,
         "ZAV-Sensor2\r\n"},
    };
    for (const FlagCase &c : cases) {
        SCOPED_TRACE(c.name);
        ScopedWorkDir dir;
        if (c.before)
            dir.write("r2arodire.flag", c.before);
        ScopedFailingFiles failing;
        failing.calls.openError = c.openError;
        failing.calls.spaceLeft = c.spaceLeft;
        InstanceLock lock;
        const InstanceLock::Result r = lock.acquire(dir.file("r2arodire.flag"), "ZAV-Sensor10\r\n");
        EXPECT_EQ(r.status, c.status);
        EXPECT_EQ(r.step, c.step);
        EXPECT_EQ(r.error, c.error);
        EXPECT_EQ(lock.held(), c.status == S::Acquired);
        EXPECT_EQ(QFileInfo::exists(dir.file("r2arodire.flag")), c.after != nullptr);
        if (c.after) {
            EXPECT_EQ(dir.read("r2arodire.flag"), QByteArray(c.after));
        }
    }
}

TEST(InstanceLock, AFlagFileThisUserMayNotWriteStillTellsARunningCopy)
{
    // Another user's copy runs here: its flag file cannot be opened for
    // writing, but its lock is still seen.
    ScopedWorkDir dir;
    InstanceLock other;
    ASSERT_TRUE(other.acquire(dir.file("r2arodire.flag"), "ZAV-Sensor1\r\n").acquired());
    ScopedFailingFiles failing;
    failing.calls.openError = EACCES;
    InstanceLock lock;
    EXPECT_EQ(lock.acquire(dir.file("r2arodire.flag"), "ZAV-Sensor2\r\n").status,
              InstanceLock::Status::HeldByOther);
    other.release();
    const InstanceLock::Result r = lock.acquire(dir.file("r2arodire.flag"), "ZAV-Sensor2\r\n");
    EXPECT_EQ(r.status, InstanceLock::Status::Failed);
    EXPECT_EQ(r.error, EACCES);
    EXPECT_EQ(dir.read("r2arodire.flag"), "ZAV-Sensor1\r\n");
}

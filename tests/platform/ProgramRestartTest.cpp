#include "platform/ProgramRestart.h"
#include "support/TempDir.h"

#include <gtest/gtest.h>

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QFileInfo>
#include <QProcess>
#include <QThread>

namespace {

bool waitForFile(const QString &path, int ms)
{
    QElapsedTimer t;
    t.start();
    while (!QFileInfo::exists(path)) {
        if (t.elapsed() > ms)
            return false;
        QCoreApplication::processEvents();
        QThread::msleep(10);
    }
    return true;
}

const QByteArray kOldProgram = "#!/bin/sh\necho old > ran\n";
const QByteArray kNewProgram = "#!/bin/sh\necho new > ran\n";

} // namespace

// The detached helper waits for the program to end, then replaces it with a
// complete update in one rename and starts it in the working directory; an
// empty or missing update never replaces the program, the old one starts
// again.
TEST(DetachedProgramRestart, ReplacesTheProgramOnlyWithACompleteUpdateOnceItEnded)
{
    const struct
    {
        const char *what;
        bool updatePresent;
        QByteArray update;
        QByteArray ran;
    } cases[] = {
        {"complete update", true, kNewProgram, "new\n"},
        {"empty update", true, "", "old\n"},
        {"no update", false, "", "old\n"},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.what);
        ScopedWorkDir dir;
        const QString exe = dir.file(QStringLiteral("bin-program"));
        dir.write(QStringLiteral("bin-program"), kOldProgram);
        QFile::setPermissions(exe, QFileDevice::ReadOwner | QFileDevice::WriteOwner | QFileDevice::ExeOwner);
        if (c.updatePresent)
            dir.write(QStringLiteral("Klimawarte.upd"), c.update); // not executable as received

        // The program that has to end first.
        QProcess program;
        program.start(QStringLiteral("sleep"), {QStringLiteral("30")});
        ASSERT_TRUE(program.waitForStarted());

        DetachedProgramRestart restart;
        ProgramRestart::Plan plan{dir.path(), QStringLiteral("Klimawarte.upd"), exe, program.processId(), 0};
        ASSERT_TRUE(restart.schedule(plan));
        EXPECT_FALSE(waitForFile(dir.file(QStringLiteral("ran")), 300)); // still running: nothing happens
        EXPECT_EQ(dir.read(QStringLiteral("bin-program")), kOldProgram);

        program.kill();
        program.waitForFinished();
        ASSERT_TRUE(waitForFile(dir.file(QStringLiteral("ran")), 10000));
        QThread::msleep(50); // the echo's write
        EXPECT_EQ(dir.read(QStringLiteral("ran")), c.ran);
        const bool replaced = !c.update.isEmpty();
        EXPECT_EQ(dir.read(QStringLiteral("bin-program")), replaced ? kNewProgram : kOldProgram);
        EXPECT_TRUE(QFileInfo(exe).isExecutable());
        EXPECT_EQ(QFileInfo::exists(dir.file(QStringLiteral("Klimawarte.upd"))), c.updatePresent && !replaced);
    }
}

TEST(DetachedProgramRestart, DelayComesFromTheEnvironment)
{
    qunsetenv("KLIMAWARTE_RESTART_DELAY_MS");
    EXPECT_EQ(DetachedProgramRestart::delayMs(), 216000);
    qputenv("KLIMAWARTE_RESTART_DELAY_MS", "1500");
    EXPECT_EQ(DetachedProgramRestart::delayMs(), 1500);
    qputenv("KLIMAWARTE_RESTART_DELAY_MS", "soon");
    EXPECT_EQ(DetachedProgramRestart::delayMs(), 216000);
    qunsetenv("KLIMAWARTE_RESTART_DELAY_MS");
}

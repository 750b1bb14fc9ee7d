#include "platform/ProgramRestart.h"
#include "support/ScopedTmpfs.h"
#include "support/TempDir.h"

#include <gtest/gtest.h>

#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFileInfo>
#include <QProcess>
#include <QTemporaryDir>
#include <QThread>

#include <cerrno>
#include <csignal>

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

template <typename Pred> bool waitUntil(Pred pred, int ms)
{
    QElapsedTimer t;
    t.start();
    while (!pred()) {
        if (t.elapsed() > ms)
            return false;
        QThread::msleep(10);
    }
    return true;
}

const QByteArray kOldProgram = "#!/bin/sh\necho old > ran\n";
const QByteArray kNewProgram = "#!/bin/sh\necho new > ran\n";

} // namespace

// The detached helper waits for the program to end, then replaces it with a
// complete update in one rename and starts it in the working directory; an
// empty or missing update never replaces the program, nor does one whose
// copy cannot be written to the disk (sync fails): the old one starts
// again.
TEST(DetachedProgramRestart, ReplacesTheProgramOnlyWithACompleteUpdateOnceItEnded)
{
    const struct
    {
        const char *what;
        bool updatePresent;
        QByteArray update;
        QByteArray ran;
        bool syncFails = false;
    } cases[] = {
        {"complete update", true, kNewProgram, "new\n"},
        {"empty update", true, "", "old\n"},
        {"no update", false, "", "old\n"},
        {"copies cannot be synced", true, kNewProgram, "old\n", true},
    };
    const QByteArray path = qgetenv("PATH");
    for (const auto &c : cases) {
        SCOPED_TRACE(c.what);
        ScopedWorkDir dir;
        // The helper finds a sync that fails (as on an I/O error) first.
        QDir().mkpath(dir.file(QStringLiteral("failing")));
        dir.write(QStringLiteral("failing/sync"), "#!/bin/sh\nexit 1\n");
        QFile::setPermissions(dir.file(QStringLiteral("failing/sync")),
                              QFileDevice::ReadOwner | QFileDevice::ExeOwner);
        qputenv("PATH", c.syncFails ? dir.file(QStringLiteral("failing")).toLocal8Bit() + ":" + path : path);
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
        ProgramRestart::Plan plan{
            dir.path(), QStringLiteral("Klimawarte.upd"), exe, program.processId(), 0, 60000, {}};
        ASSERT_TRUE(restart.schedule(plan));
        qputenv("PATH", path);
        EXPECT_FALSE(waitForFile(dir.file(QStringLiteral("ran")), 300)); // still running: nothing happens
        EXPECT_EQ(dir.read(QStringLiteral("bin-program")), kOldProgram);

        program.kill();
        program.waitForFinished();
        ASSERT_TRUE(waitForFile(dir.file(QStringLiteral("ran")), 10000));
        QThread::msleep(50); // the echo's write
        EXPECT_EQ(dir.read(QStringLiteral("ran")), c.ran);
        const bool replaced = !c.update.isEmpty() && !c.syncFails;
        EXPECT_EQ(dir.read(QStringLiteral("bin-program")), replaced ? kNewProgram : kOldProgram);
        // The previous program stays beside the new one.
        EXPECT_EQ(dir.read(QStringLiteral("bin-program.old")), replaced ? kOldProgram : QByteArray());
        EXPECT_TRUE(QFileInfo(exe).isExecutable());
        EXPECT_EQ(QFileInfo::exists(dir.file(QStringLiteral("Klimawarte.upd"))), c.updatePresent && !replaced);
        EXPECT_TRUE(QDir(dir.path()).entryList({QStringLiteral("*.new*")}, QDir::Files).isEmpty());
    }
}

namespace {

// A fake program: it appends its name and process id to "ran" in the working
// directory, then does what `body` says.
QByteArray fakeProgram(const char *name, const QByteArray &body)
{
    return QByteArray("#!/bin/sh\necho \"") + name + " $$\" >> ran\n" + body + "\n";
}

// Whether the restart helper of `dir` still runs (it runs under the name
// klimawarte-restart with the directory among its parameters).
bool helperRunning(const QString &dir)
{
    const QStringList entries = QDir(QStringLiteral("/proc")).entryList(QDir::Dirs);
    for (const QString &e : entries) {
        QFile f(QStringLiteral("/proc/%1/cmdline").arg(e));
        if (!f.open(QIODevice::ReadOnly))
            continue;
        const QByteArray cmdline = f.readAll();
        if (cmdline.contains("klimawarte-restart") && cmdline.contains(dir.toLocal8Bit()))
            return true;
    }
    return false;
}

// The names in "ran", in order, and the process ids behind them.
struct Ran
{
    QByteArrayList names;
    QList<qint64> pids;
};
Ran ranIn(const ScopedWorkDir &dir)
{
    Ran out;
    for (const QByteArray &line : dir.read(QStringLiteral("ran")).split('\n')) {
        const QByteArrayList f = line.split(' ');
        if (f.size() != 2)
            continue;
        out.names.append(f[0]);
        out.pids.append(f[1].toLongLong());
    }
    return out;
}

} // namespace

namespace {

// Whether process `pid` runs (exists and is no zombie).
bool running(qint64 pid)
{
    QFile f(QStringLiteral("/proc/%1/stat").arg(pid));
    if (!f.open(QIODevice::ReadOnly))
        return false;
    const QByteArray stat = f.readAll();
    return stat.mid(stat.lastIndexOf(')') + 2, 1) != "Z";
}

} // namespace

// A new program that fails at once (a status other than 0, or a signal
// other than those of an outside end) gives the previous one back: it is
// put in the program's place and started once with a note for it; a new
// program that ends itself with 0 or is ended by someone else is no
// failure, and one that outlived the window stays whatever happens to it
// later. The previous program is watched by the same rule: when it fails
// too, the note goes, and so does the record of this update that it may
// have made of the note; an older record of another update stays.
TEST(DetachedProgramRestart, PutsThePreviousProgramBackWhenTheNewOneFailsAtOnce)
{
    const QByteArray digest = QByteArray(32, '\x5a').toHex();
    const QByteArray olderRecord = "program=/p\nstatus=2\nupdate=" + QByteArray(64, 'e') + "\n";
    // What the previous program does as the station does at the end of its
    // start: it takes the note as the record of the failed update.
    const QByteArray takesNote = "mv Klimawarte.zurueck Klimawarte.defekt; ";
    // Klimawarte.defekt once the helper is done.
    enum class Record { Older, Note, None };
    const struct
    {
        const char *what;
        const char *newBody;
        QByteArray oldBody;
        int windowMs;
        QByteArrayList ran;    // who ran, in order
        QByteArray reason;     // the note's reason line; empty: no failure, the new program stays
        bool noteStays = true; // the note is left for the put-back program
        Record record = Record::Older;
        bool runsOn = false;     // the program started last still runs once the helper has ended
        bool crashLater = false; // the sound new program faults after the window
    } cases[] = {
        // The previous program ends itself with 0 here: no failure, the
        // helper is done.
        {"failure status", "exit 3", "exit 0", 10000, {"new", "old"}, "status=3"},
        {"segmentation fault", "kill -SEGV $$", "exit 0", 10000, {"new", "old"}, "signal=11"},
        {"abort", "kill -ABRT $$", "exit 0", 10000, {"new", "old"}, "signal=6"},
        // main returning -1: a status above 128 that is no signal's.
        {"status 255", "exit 255", "exit 0", 10000, {"new", "old"}, "status=255"},
        {"a signal of no outside end", "kill -USR1 $$", "exit 0", 10000, {"new", "old"}, "signal=10"},
        // The previous program is started once: it failing too starts
        // nothing, and the update is not held against.
        {"previous fails too", "exit 3", "exit 1", 10000, {"new", "old"}, "status=3", false},
        {"previous fails after taking the note",
         "exit 3",
         takesNote + "exit 1",
         10000,
         {"new", "old"},
         "status=3",
         false,
         Record::None},
        {"previous took the note, then was ended from outside",
         "exit 3",
         takesNote + "kill -TERM $$",
         10000,
         {"new", "old"},
         "status=3",
         false,
         Record::Note},
        {"previous runs past the window",
         "kill -SEGV $$",
         takesNote + "sed -n 's/^SigIgn:[[:space:]]*//p' /proc/$$/status > sigign; exec sleep 30",
         2000,
         {"new", "old"},
         "signal=11",
         false,
         Record::Note,
         true},
        // A second instance or an orderly end within the window.
        {"ends itself with 0", "exit 0", "exec sleep 30", 10000, {"new"}, ""},
        // Someone ended it: no fault of the program.
        {"ended by SIGTERM", "kill -TERM $$", "exec sleep 30", 10000, {"new"}, ""},
        {"sound, faults after the window",
         "sed -n 's/^SigIgn:[[:space:]]*//p' /proc/$$/status > sigign; exec sleep 30",
         "exec sleep 30",
         300,
         {"new"},
         "",
         true,
         Record::Older,
         true,
         true},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.what);
        ScopedWorkDir dir;
        const QString exe = dir.file(QStringLiteral("bin-program"));
        const QByteArray oldProgram = fakeProgram("old", c.oldBody);
        const QByteArray newProgram = fakeProgram("new", c.newBody);
        dir.write(QStringLiteral("bin-program"), oldProgram);
        QFile::setPermissions(exe, QFileDevice::ReadOwner | QFileDevice::WriteOwner | QFileDevice::ExeOwner);
        dir.write(QStringLiteral("Klimawarte.upd"), newProgram);
        dir.write(QStringLiteral("Klimawarte.defekt"), olderRecord);

        // The program that has to end first has ended already.
        QProcess ended;
        ended.start(QStringLiteral("true"));
        ASSERT_TRUE(ended.waitForStarted());
        const qint64 endedPid = ended.processId();
        ended.waitForFinished();

        DetachedProgramRestart restart;
        ProgramRestart::Plan plan{dir.path(), QStringLiteral("Klimawarte.upd"), exe, endedPid, 0, c.windowMs,
                                  digest};
        ASSERT_TRUE(restart.schedule(plan));
        auto ranNames = [&] { return ranIn(dir).names; };
        ASSERT_TRUE(waitUntil([&] { return ranNames().size() >= c.ran.size(); }, 10000))
            << ranNames().join(' ').constData();
        ASSERT_TRUE(waitUntil([&] { return !helperRunning(dir.path()); }, 10000));
        EXPECT_EQ(running(ranIn(dir).pids.value(c.ran.size() - 1)), c.runsOn);
        if (c.crashLater) {
            // Past the window the helper is gone; a fault now is no failure of
            // the update.
            ::kill(pid_t(ranIn(dir).pids.value(0)), SIGSEGV);
        }
        QThread::msleep(300); // time for anything that would come after
        const Ran ran = ranIn(dir);
        EXPECT_EQ(ran.names, c.ran);

        const bool putBack = !c.reason.isEmpty();
        EXPECT_EQ(dir.read(QStringLiteral("bin-program")), putBack ? oldProgram : newProgram);
        EXPECT_TRUE(QFileInfo(exe).isExecutable());
        EXPECT_EQ(dir.read(QStringLiteral("bin-program.old")), putBack ? QByteArray() : oldProgram);
        EXPECT_FALSE(QFileInfo::exists(dir.file(QStringLiteral("Klimawarte.upd"))));
        const QByteArray note =
            "program=" + exe.toLocal8Bit() + "\n" + c.reason + "\nupdate=" + digest + "\n";
        EXPECT_EQ(dir.read(QStringLiteral("Klimawarte.zurueck")),
                  putBack && c.noteStays ? note : QByteArray());
        EXPECT_EQ(QFileInfo::exists(dir.file(QStringLiteral("Klimawarte.defekt"))), c.record != Record::None);
        EXPECT_EQ(dir.read(QStringLiteral("Klimawarte.defekt")), c.record == Record::Older  ? olderRecord
                                                                 : c.record == Record::Note ? note
                                                                                            : QByteArray());
        EXPECT_TRUE(QDir(dir.path()).entryList({QStringLiteral("*.new*")}, QDir::Files).isEmpty());
        if (c.runsOn) {
            // Like a program the script replaces itself by, the program that
            // runs on does not ignore INT and QUIT.
            bool ok = false;
            const qulonglong ignored = dir.read(QStringLiteral("sigign")).trimmed().toULongLong(&ok, 16);
            EXPECT_TRUE(ok);
            EXPECT_EQ(ignored & ((1u << (SIGINT - 1)) | (1u << (SIGQUIT - 1))), 0u);
        }
        for (qint64 pid : ran.pids)
            ::kill(pid_t(pid), SIGKILL);
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

// What a replace that was cut off left beside the program (the temporary
// names of the update's copy and of the kept program, with the helper's
// process id) goes at the next start; the names of a helper that still runs
// and every other file stay.
TEST(DetachedProgramRestart, RemovesWhatACutOffReplaceLeft)
{
    ScopedWorkDir dir;
    QProcess ended;
    ended.start(QStringLiteral("true"));
    ASSERT_TRUE(ended.waitForStarted());
    const QString gone = QString::number(ended.processId());
    ended.waitForFinished();
    const QString alive = QString::number(QCoreApplication::applicationPid());
    const struct
    {
        QString name;
        bool removed;
    } cases[] = {
        {"klimawarte.new" + gone, true},
        {"klimawarte.old.new" + gone, true},
        {"klimawarte.new" + alive, false},
        {"klimawarte.old.new" + alive, false},
        {QStringLiteral("klimawarte"), false},
        {QStringLiteral("klimawarte.old"), false},
        {QStringLiteral("klimawarte.new"), false},
        {QStringLiteral("klimawarte.newer"), false},
        {QStringLiteral("klimawarte.new12ab"), false},
        {"klimawarte.new+" + gone, false},
        {"fernblick.new" + gone, false},
        {"klimawarte.upd.new" + gone, false},
    };
    for (const auto &c : cases)
        dir.write(c.name, c.name.toLatin1());
    QDir().mkpath(dir.file("klimawarte.new" + gone + "0")); // a folder is no copy of a replace

    DetachedProgramRestart restart;
    EXPECT_EQ(restart.removeCutOffReplace(dir.file(QStringLiteral("klimawarte"))), QString());
    for (const auto &c : cases)
        EXPECT_EQ(QFileInfo::exists(dir.file(c.name)), !c.removed) << qPrintable(c.name);
    EXPECT_TRUE(QFileInfo(dir.file("klimawarte.new" + gone + "0")).isDir());
}

// A copy that cannot be removed (a read-only folder) stays, and is said.
TEST(DetachedProgramRestart, SaysWhatOfACutOffReplaceItCannotRemove)
{
    QTemporaryDir tmp;
    ASSERT_TRUE(tmp.isValid());
    ScopedTmpfs folder(tmp.filePath(QStringLiteral("bin")), 1 << 20);
    if (!folder.mounted())
        GTEST_SKIP() << qPrintable(folder.whyNot());
    const QString left = tmp.filePath(QStringLiteral("bin/klimawarte.new4194305")); // beyond every pid
    ScopedWorkDir::writeTo(left, "cut off");
    ASSERT_TRUE(folder.remountReadOnly());
    const QString problem =
        DetachedProgramRestart().removeCutOffReplace(tmp.filePath(QStringLiteral("bin/klimawarte")));
    EXPECT_TRUE(problem.contains(left) && problem.contains(qt_error_string(EROFS))) << qPrintable(problem);
    EXPECT_TRUE(QFileInfo::exists(left));
}

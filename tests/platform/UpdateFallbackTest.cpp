#include "platform/UpdateFallback.h"
#include "support/TempDir.h"

#include <gtest/gtest.h>

#include <QDir>
#include <QFileInfo>

namespace {

const QByteArray kDigest = "ba7816bf8f01cfea414140de5dae2223b00361a396177a9cb410ff61f20015ad"; // of "abc"
const QByteArray kOtherDigest = QByteArray(64, 'e');

} // namespace

// The note of a put-back program is taken once: a sound one that names its
// update stays as the record of the failed update, anything else (no whole
// note, garbage, too long, unreadable) is removed and said, and never hurts.
TEST(UpdateFallback, NoteIsTakenOnceAndRecordsTheFailedUpdate)
{
    const QByteArray signalNote = "program=/opt/klima/klimawarte\nsignal=11\nupdate=" + kDigest + "\n";
    const struct
    {
        const char *what;
        QByteArray note;
        bool noteIsFolder = false;
        bool sound = false;
        bool signalled = false;
        int code = 0;
        QByteArray update;     // the digest taken
        bool recorded = false; // kept as the failed update's record
        bool problem = false;  // said on the way
    } cases[] = {
        {"signal", signalNote, false, true, true, 11, kDigest, true},
        {"status, CR LF, a key of a later script",
         "program=/opt/klima/klimawarte\r\nstatus=3\r\nreason=later\r\nupdate=" + kDigest + "\r\n", false,
         true, false, 3, kDigest, true},
        {"no digest", "program=/opt/klima/klimawarte\nstatus=1\nupdate=\n", false, true, false, 1, {}, false},
        {"digest that is none",
         "program=/opt/klima/klimawarte\nstatus=1\nupdate=ABC\n",
         false,
         true,
         false,
         1,
         {},
         false},
        {"status 0",
         "program=/opt/klima/klimawarte\nstatus=0\nupdate=" + kDigest + "\n",
         false,
         false,
         false,
         0,
         {},
         false,
         true},
        {"status beyond 255", "program=/p\nstatus=256\n", false, false, false, 0, {}, false, true},
        {"status and signal", "program=/p\nstatus=1\nsignal=11\n", false, false, false, 0, {}, false, true},
        {"no program", "status=1\n", false, false, false, 0, {}, false, true},
        {"control character in the program",
         "program=/p\x1b[2J\nstatus=1\n",
         false,
         false,
         false,
         0,
         {},
         false,
         true},
        {"a line without key", "program=/p\nstatus=1\ngarbage\n", false, false, false, 0, {}, false, true},
        {"cut", "program=/opt/kli", false, false, false, 0, {}, false, true},
        {"garbage",
         QByteArray::fromHex("7f454c460201010000003dff0a"),
         false,
         false,
         false,
         0,
         {},
         false,
         true},
        {"too long",
         signalNote + QByteArray(UpdateFallback::MaxNoteBytes, '\n'),
         false,
         false,
         false,
         0,
         {},
         false,
         true},
        {"unreadable (a folder)", {}, true, false, false, 0, {}, false, true},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.what);
        ScopedWorkDir dir;
        const QString note = dir.file(QString::fromLatin1(UpdateFallback::NoteFile));
        // An older record, of another update.
        dir.write(QString::fromLatin1(UpdateFallback::FailedUpdateFile),
                  "program=/p\nstatus=2\nupdate=" + kOtherDigest + "\n");
        if (c.noteIsFolder)
            ASSERT_TRUE(QDir().mkpath(note));
        else
            dir.write(QString::fromLatin1(UpdateFallback::NoteFile), c.note);

        const UpdateFallback::Taken taken = UpdateFallback::takeNote();
        ASSERT_EQ(taken.note.has_value(), c.sound);
        if (c.sound) {
            EXPECT_EQ(taken.note->program, "/opt/klima/klimawarte");
            EXPECT_EQ(taken.note->signalled, c.signalled);
            EXPECT_EQ(taken.note->code, c.code);
            EXPECT_EQ(taken.note->update, c.update);
        }
        EXPECT_EQ(!taken.problem.isEmpty(), c.problem) << qPrintable(taken.problem);
        EXPECT_EQ(QFileInfo::exists(note), c.noteIsFolder); // a folder cannot be removed as a note
        if (c.noteIsFolder) {
            EXPECT_TRUE(taken.problem.contains(QStringLiteral("cannot remove"))) << qPrintable(taken.problem);
        }
        EXPECT_EQ(dir.read(QString::fromLatin1(UpdateFallback::FailedUpdateFile)),
                  c.recorded ? c.note : "program=/p\nstatus=2\nupdate=" + kOtherDigest + "\n");
        EXPECT_EQ(UpdateFallback::failedBefore(kDigest), c.recorded);
        EXPECT_EQ(UpdateFallback::failedBefore(kOtherDigest), !c.recorded);

        // Taken once: nothing at the next start.
        if (!c.noteIsFolder) {
            const UpdateFallback::Taken again = UpdateFallback::takeNote();
            EXPECT_FALSE(again.note.has_value());
            EXPECT_TRUE(again.problem.isEmpty());
        }
    }
}

TEST(UpdateFallback, DigestIsTheUpdatesSha256AndARecordOfGarbageMatchesNothing)
{
    ScopedWorkDir dir;
    dir.write(QStringLiteral("Klimawarte.upd"), "abc");
    EXPECT_EQ(UpdateFallback::digestOf(QStringLiteral("Klimawarte.upd")), kDigest);
    EXPECT_TRUE(UpdateFallback::digestOf(QStringLiteral("missing.upd")).isEmpty());

    EXPECT_FALSE(UpdateFallback::failedBefore(kDigest)); // no record
    dir.write(QString::fromLatin1(UpdateFallback::FailedUpdateFile), "\xff\xfe garbage " + kDigest);
    EXPECT_FALSE(UpdateFallback::failedBefore(kDigest));
    dir.write(QString::fromLatin1(UpdateFallback::FailedUpdateFile),
              "program=/p\nsignal=11\nupdate=" + kDigest + "\n");
    EXPECT_TRUE(UpdateFallback::failedBefore(kDigest));
    EXPECT_FALSE(UpdateFallback::failedBefore(QByteArray())); // an update that could not be read
}

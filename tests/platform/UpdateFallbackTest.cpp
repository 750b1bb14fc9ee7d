#include "platform/UpdateFallback.h"
#include "support/FailingFileCalls.h"
#include "support/TempDir.h"

#include <gtest/gtest.h>

#include <QCryptographicHash>
#include <QDir>
#include <QFileInfo>

#include <cerrno>

namespace {

const QByteArray kDigest = "ba7816bf8f01cfea414140de5dae2223b00361a396177a9cb410ff61f20015ad"; // of "abc"
const QByteArray kOtherDigest = QByteArray(64, 'e');

} // namespace

// The note of a put-back program is taken once: a sound one that names its
// update stays as the record of the failed update, anything else (no whole
// note, garbage, too long, unreadable) is removed and said, and never hurts.
TEST(UpdateFallback, NoteIsTakenOnceAndRecordsTheFailedUpdate)
{
    const QByteArray olderRecord = "program=/p\nstatus=2\nupdate=" + kOtherDigest + "\n";
    // Takes the note `bytes` (a folder in its place when null) beside an
    // older record; checks what stays and that a second take finds nothing.
    auto take = [&](const QByteArray &bytes, bool recorded) {
        ScopedWorkDir dir;
        const QString note = dir.file(QString::fromLatin1(UpdateFallback::NoteFile));
        dir.write(QString::fromLatin1(UpdateFallback::FailedUpdateFile), olderRecord);
        const bool folder = bytes.isNull();
        if (folder)
            EXPECT_TRUE(QDir().mkpath(note));
        else
            dir.write(QString::fromLatin1(UpdateFallback::NoteFile), bytes);
        const UpdateFallback::Taken taken = UpdateFallback::takeNote();
        EXPECT_EQ(QFileInfo::exists(note), folder); // a folder cannot be removed as a note
        EXPECT_EQ(dir.read(QString::fromLatin1(UpdateFallback::FailedUpdateFile)),
                  recorded ? bytes : olderRecord);
        EXPECT_EQ(UpdateFallback::failedBefore(kDigest), recorded);
        EXPECT_EQ(UpdateFallback::failedBefore(kOtherDigest), !recorded);
        if (!folder) {
            const UpdateFallback::Taken again = UpdateFallback::takeNote();
            EXPECT_FALSE(again.note.has_value());
            EXPECT_TRUE(again.problem.isEmpty());
        }
        return taken;
    };

    const struct
    {
        const char *what;
        QByteArray note;
        bool signalled;
        int code;
        QByteArray update; // the digest taken; a note without one is not kept
    } sound[] = {
        {"signal", "program=/opt/klima/klimawarte\nsignal=11\nupdate=" + kDigest + "\n", true, 11, kDigest},
        {"status, CR LF, a key of a later script",
         "program=/opt/klima/klimawarte\r\nstatus=3\r\nreason=later\r\nupdate=" + kDigest + "\r\n", false, 3,
         kDigest},
        {"no digest", "program=/opt/klima/klimawarte\nstatus=1\nupdate=\n", false, 1, {}},
        {"digest that is none", "program=/opt/klima/klimawarte\nstatus=1\nupdate=ABC\n", false, 1, {}},
    };
    for (const auto &c : sound) {
        SCOPED_TRACE(c.what);
        const UpdateFallback::Taken taken = take(c.note, !c.update.isEmpty());
        ASSERT_TRUE(taken.note.has_value());
        EXPECT_EQ(taken.note->program, "/opt/klima/klimawarte");
        EXPECT_EQ(taken.note->signalled, c.signalled);
        EXPECT_EQ(taken.note->code, c.code);
        EXPECT_EQ(taken.note->update, c.update);
        EXPECT_TRUE(taken.problem.isEmpty()) << qPrintable(taken.problem);
    }

    const struct
    {
        const char *what;
        QByteArray note; // null: a folder in the note's place
    } refused[] = {
        {"status 0", "program=/opt/klima/klimawarte\nstatus=0\nupdate=" + kDigest + "\n"},
        {"status beyond 255", "program=/p\nstatus=256\n"},
        {"status and signal", "program=/p\nstatus=1\nsignal=11\n"},
        {"no program", "status=1\n"},
        {"control character in the program", "program=/p\x1b[2J\nstatus=1\n"},
        {"a line without key", "program=/p\nstatus=1\ngarbage\n"},
        {"cut", "program=/opt/kli"},
        {"garbage", QByteArray::fromHex("7f454c460201010000003dff0a")},
        {"too long",
         "program=/p\nsignal=11\nupdate=" + kDigest + "\n" + QByteArray(UpdateFallback::MaxNoteBytes, '\n')},
        {"unreadable (a folder)", QByteArray()},
    };
    for (const auto &c : refused) {
        SCOPED_TRACE(c.what);
        const UpdateFallback::Taken taken = take(c.note, false);
        EXPECT_FALSE(taken.note.has_value());
        EXPECT_FALSE(taken.problem.isEmpty());
        if (c.note.isNull()) {
            EXPECT_TRUE(taken.problem.contains(QStringLiteral("cannot remove"))) << qPrintable(taken.problem);
        }
    }
}

TEST(UpdateFallback, DigestIsTheUpdatesSha256AndARecordOfGarbageMatchesNothing)
{
    ScopedWorkDir dir;
    dir.write(QStringLiteral("Klimawarte.upd"), "abc");
    EXPECT_EQ(UpdateFallback::digestOf(QStringLiteral("Klimawarte.upd")), kDigest);
    // A program is read in more than one piece.
    const QByteArray big = QByteArray(300000, 'x') + "end";
    dir.write(QStringLiteral("big.upd"), big);
    EXPECT_EQ(UpdateFallback::digestOf(QStringLiteral("big.upd")),
              QCryptographicHash::hash(big, QCryptographicHash::Sha256).toHex());
    EXPECT_TRUE(UpdateFallback::digestOf(QStringLiteral("missing.upd")).isEmpty());
    // A file that cannot be read whole has none: a read error at once or
    // past its head.
    for (qint64 readable : {0, 100000}) {
        SCOPED_TRACE(readable);
        ScopedFailingFiles failing;
        failing.calls.match = "big.upd";
        failing.calls.readError = EIO;
        failing.calls.readableBytes = readable;
        EXPECT_TRUE(UpdateFallback::digestOf(QStringLiteral("big.upd")).isEmpty());
    }

    EXPECT_FALSE(UpdateFallback::failedBefore(kDigest)); // no record
    dir.write(QString::fromLatin1(UpdateFallback::FailedUpdateFile), "\xff\xfe garbage " + kDigest);
    EXPECT_FALSE(UpdateFallback::failedBefore(kDigest));
    dir.write(QString::fromLatin1(UpdateFallback::FailedUpdateFile),
              "program=/p\nsignal=11\nupdate=" + kDigest + "\n");
    EXPECT_TRUE(UpdateFallback::failedBefore(kDigest));
    EXPECT_FALSE(UpdateFallback::failedBefore(QByteArray())); // an update that could not be read
}

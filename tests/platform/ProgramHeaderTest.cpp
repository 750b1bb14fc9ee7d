#include "platform/ProgramHeader.h"
#include "support/TempDir.h"

#include <gtest/gtest.h>

#include <QFile>
#include <QRandomGenerator>

#include <elf.h>

namespace {

QByteArray ownProgram()
{
    QFile f(QString::fromLatin1(ProgramHeader::OwnProgram));
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
}

// The program's bytes with the byte at `offset` (and the one after it when
// `value` is two bytes) changed.
QByteArray changed(QByteArray bytes, int offset, quint16 value, bool twoBytes = false)
{
    const bool little = bytes[EI_DATA] == ELFDATA2LSB;
    if (!twoBytes) {
        bytes[offset] = char(value);
    } else {
        bytes[offset + (little ? 0 : 1)] = char(value & 0xFF);
        bytes[offset + (little ? 1 : 0)] = char(value >> 8);
    }
    return bytes;
}

} // namespace

// Only a program for this machine may take the running program's place: the
// header of the received file against the header of this very program.
TEST(ProgramHeader, TellsAProgramForThisMachineFromAnythingElse)
{
    const QByteArray own = ownProgram();
    ASSERT_GE(own.size(), qsizetype(sizeof(Elf64_Ehdr)));
    ASSERT_TRUE(own.startsWith(ELFMAG));
    const bool wide = own[EI_CLASS] == ELFCLASS64;
    const quint16 ownMachine = wide ? reinterpret_cast<const Elf64_Ehdr *>(own.constData())->e_machine
                                    : reinterpret_cast<const Elf32_Ehdr *>(own.constData())->e_machine;
    const quint16 otherMachine = ownMachine == EM_AARCH64 ? EM_X86_64 : EM_AARCH64;
    const QByteArray head = own.left(8192); // what the header cases change
    QByteArray random(3000, '\0');
    QRandomGenerator rng(31);
    for (char &b : random)
        b = char(rng.bounded(256));

    const struct
    {
        const char *what;
        QByteArray bytes;
        bool runs;
    } cases[] = {
        {"a copy of a built program", own, true},
        {"its head, which the cases below change", head, true},
        {"3000 random bytes", random, false},
        {"empty file", QByteArray(), false},
        {"shorter than its header", own.left(40), false},
        {"the magic alone", QByteArray(ELFMAG), false},
        {"a shell script", "#!/bin/sh\necho new > ran\n", false},
        {"other class", changed(head, EI_CLASS, wide ? ELFCLASS32 : ELFCLASS64), false},
        {"unknown class", changed(head, EI_CLASS, 7), false},
        {"other byte order",
         changed(head, EI_DATA, head[EI_DATA] == ELFDATA2LSB ? ELFDATA2MSB : ELFDATA2LSB), false},
        {"other machine", changed(head, 18, otherMachine, true), false},
        {"object file, no program", changed(head, 16, ET_REL, true), false},
        {"core dump, no program", changed(head, 16, ET_CORE, true), false},
        {"wrong magic", changed(head, 1, 'e'), false},
    };
    ScopedWorkDir dir;
    for (const auto &c : cases) {
        SCOPED_TRACE(c.what);
        dir.write(QStringLiteral("Klimawarte.upd"), c.bytes);
        EXPECT_EQ(ProgramHeader::runsHere(dir.file(QStringLiteral("Klimawarte.upd"))), c.runs);
    }
    EXPECT_FALSE(ProgramHeader::runsHere(dir.file(QStringLiteral("missing.upd"))));
    // Without a readable header of its own the program cannot tell: it keeps
    // itself.
    dir.write(QStringLiteral("Klimawarte.upd"), own);
    EXPECT_FALSE(ProgramHeader::runsHere(dir.file(QStringLiteral("Klimawarte.upd")), dir.file(QStringLiteral("gone"))));
}

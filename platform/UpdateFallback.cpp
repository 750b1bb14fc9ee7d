#include "platform/UpdateFallback.h"

#include "platform/FileCalls.h"

#include <QCryptographicHash>
#include <QFile>
#include <QFileInfo>

#include <cerrno>
#include <cstdio>

#include <fcntl.h>

namespace UpdateFallback {

namespace {

constexpr int kDigestHexDigits = 64;
constexpr int kDigestBlockBytes = 65536;

// 1 to 255 in decimal digits only; 0 otherwise.
int code(const QByteArray &text)
{
    if (text.isEmpty() || text.size() > 3)
        return 0;
    for (char c : text)
        if (c < '0' || c > '9')
            return 0;
    const int n = text.toInt();
    return n >= 1 && n <= 255 ? n : 0;
}

bool printable(const QByteArray &text)
{
    for (char c : text) {
        const auto b = static_cast<unsigned char>(c);
        if (b < 0x20 || b == 0x7F)
            return false;
    }
    return true;
}

bool digest(const QByteArray &text)
{
    if (text.size() != kDigestHexDigits)
        return false;
    for (char c : text)
        if (!((c >= '0' && c <= '9') || (c >= 'a' && c <= 'f')))
            return false;
    return true;
}

// The whole file when it is no longer than a note may be; nothing when it
// cannot be read or is longer.
std::optional<QByteArray> readSmall(const QString &name)
{
    QFile f(name);
    if (!f.open(QIODevice::ReadOnly))
        return std::nullopt;
    const QByteArray bytes = f.read(MaxNoteBytes + 1);
    if (f.error() != QFileDevice::NoError || bytes.size() > MaxNoteBytes)
        return std::nullopt;
    return bytes;
}

QString fileName(const char *name)
{
    return QString::fromLatin1(name);
}

// A file of the working directory as a message names it.
QString shown(const char *name)
{
    return QFileInfo(fileName(name)).absoluteFilePath();
}

QString systemReason(int error)
{
    return qt_error_string(error);
}

} // namespace

std::optional<Note> parse(const QByteArray &bytes)
{
    Note note;
    int seenProgram = 0;
    int seenCodes = 0;
    int seenUpdate = 0;
    for (QByteArray line : bytes.split('\n')) {
        if (line.endsWith('\r'))
            line.chop(1);
        if (line.isEmpty())
            continue;
        const qsizetype eq = line.indexOf('=');
        if (eq <= 0)
            return std::nullopt;
        const QByteArray key = line.left(eq);
        const QByteArray value = line.mid(eq + 1);
        if (key == ProgramKey) {
            ++seenProgram;
            note.program = value;
        } else if (key == StatusKey || key == SignalKey) {
            ++seenCodes;
            note.signalled = key == SignalKey;
            note.code = code(value);
        } else if (key == UpdateKey) {
            ++seenUpdate;
            note.update = digest(value) ? value : QByteArray();
        }
        // Other keys are left to later versions of the script.
    }
    if (seenProgram != 1 || seenCodes != 1 || seenUpdate > 1 || note.program.isEmpty() ||
        !printable(note.program) || note.code == 0)
        return std::nullopt;
    return note;
}

Taken takeNote()
{
    const QString noteName = fileName(NoteFile);
    const QFileInfo info(noteName);
    if (!info.exists() && !info.isSymLink())
        return {};
    Taken taken;
    const std::optional<QByteArray> bytes = readSmall(noteName);
    if (bytes)
        taken.note = parse(*bytes);
    if (!taken.note)
        taken.problem = QStringLiteral("%1 is unreadable or no note of a put-back program; it is removed")
                            .arg(shown(NoteFile));

    if (taken.note && !taken.note->update.isEmpty()) {
        // The note becomes the record of the failed update, in one rename
        // over an older record.
        if (std::rename(QFile::encodeName(noteName).constData(),
                        QFile::encodeName(fileName(FailedUpdateFile)).constData()) == 0)
            return taken;
        const int error = errno;
        taken.problem = QStringLiteral("cannot keep %1 as %2: %3; the same update may be installed again")
                            .arg(shown(NoteFile), shown(FailedUpdateFile), systemReason(error));
    }
    if (!QFile::remove(noteName)) {
        const QString why =
            QStringLiteral("cannot remove %1; it is read again at the next start").arg(shown(NoteFile));
        taken.problem = taken.problem.isEmpty() ? why : taken.problem + QStringLiteral("; ") + why;
    }
    return taken;
}

QByteArray digestOf(const QString &file)
{
    FileCalls &calls = FileCalls::instance();
    const int fd = calls.open(QFile::encodeName(file).constData(), O_RDONLY | O_CLOEXEC);
    if (fd < 0)
        return {};
    QCryptographicHash hash(QCryptographicHash::Sha256);
    QByteArray block(kDigestBlockBytes, Qt::Uninitialized);
    ssize_t n = 0;
    while ((n = calls.read(fd, block.data(), size_t(block.size()))) != 0) {
        if (n < 0 && errno == EINTR)
            continue;
        if (n < 0) {
            calls.close(fd);
            return {};
        }
        hash.addData(QByteArrayView(block.constData(), n));
    }
    calls.close(fd);
    return hash.result().toHex();
}

bool failedBefore(const QByteArray &digest)
{
    if (digest.isEmpty())
        return false;
    const std::optional<QByteArray> bytes = readSmall(fileName(FailedUpdateFile));
    const std::optional<Note> record = bytes ? parse(*bytes) : std::nullopt;
    return record && record->update == digest;
}

} // namespace UpdateFallback

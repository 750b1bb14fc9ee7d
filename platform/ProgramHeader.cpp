#include "platform/ProgramHeader.h"

#include <QByteArray>
#include <QFile>

#include <elf.h>

namespace ProgramHeader {

namespace {

// Offsets of the two fields read past the identification bytes (the same in
// both classes).
constexpr int kTypeOffset = 16;    // e_type
constexpr int kMachineOffset = 18; // e_machine
constexpr qint64 kLargestHeader = sizeof(Elf64_Ehdr);

QByteArray headerOf(const QString &path)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return {};
    return file.read(kLargestHeader);
}

// Whether `h` begins with a whole ELF header of a known class, byte order
// and version.
bool wholeElfHeader(const QByteArray &h)
{
    if (h.size() < EI_NIDENT || !h.startsWith(QByteArray(ELFMAG, SELFMAG)))
        return false;
    const char elfClass = h[EI_CLASS];
    const qsizetype size = elfClass == ELFCLASS64   ? qsizetype(sizeof(Elf64_Ehdr))
                           : elfClass == ELFCLASS32 ? qsizetype(sizeof(Elf32_Ehdr))
                                                    : 0;
    const char order = h[EI_DATA];
    return size > 0 && h.size() >= size && (order == ELFDATA2LSB || order == ELFDATA2MSB) &&
           h[EI_VERSION] == EV_CURRENT;
}

quint16 half(const QByteArray &h, int offset)
{
    const auto lo = static_cast<quint8>(h[offset]);
    const auto hi = static_cast<quint8>(h[offset + 1]);
    return h[EI_DATA] == ELFDATA2LSB ? quint16(lo | hi << 8) : quint16(hi | lo << 8);
}

} // namespace

bool runsHere(const QString &file, const QString &reference)
{
    const QByteArray own = headerOf(reference);
    const QByteArray update = headerOf(file);
    if (!wholeElfHeader(own) || !wholeElfHeader(update))
        return false;
    const quint16 type = half(update, kTypeOffset);
    return (type == ET_EXEC || type == ET_DYN) && update[EI_CLASS] == own[EI_CLASS] &&
           update[EI_DATA] == own[EI_DATA] && half(update, kMachineOffset) == half(own, kMachineOffset);
}

} // namespace ProgramHeader

#pragma once

#include <QString>

// Whether a program file can run on this machine, told by its ELF header:
// the magic bytes, an executable or position-independent program, and the
// class (32 or 64 bits), byte order and machine of the program that runs
// now. The update restart asks it before a received update takes the
// program's place.
namespace ProgramHeader {

// The running program's own file.
inline constexpr char OwnProgram[] = "/proc/self/exe";

// True when `file` starts with a whole ELF header of a program with the
// class, byte order and machine of `reference`. A file that cannot be read,
// is shorter than its header or holds anything else gives false; so does a
// reference that cannot be read.
bool runsHere(const QString &file, const QString &reference = QString::fromLatin1(OwnProgram));

} // namespace ProgramHeader

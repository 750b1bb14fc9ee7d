#pragma once

#include <QByteArray>
#include <QString>
#include <QStringList>

#include <cstddef>
#include <cstdint>

class Clock;

// What the fuzz targets share: a working directory of their own, the manual
// clock (no fuzz input ever waits real time), seeds and findings.
namespace Fuzz {

// Called from LLVMFuzzerInitialize: a QCoreApplication and
// a fresh folder <TMPDIR>/klima-fuzz-XXXXXX/work as the working directory.
// Corpus folders and -artifact_prefix must therefore be absolute paths.
void setUp(int *argc, char ***argv);

// The manual clock that the targets hand to the station's core.
Clock &clock();

QByteArray bytes(const uint8_t *data, size_t size);

// Replaces a file of the working directory; a failure is a finding.
void writeWorkFile(const char *name, const QByteArray &bytes);

// The names in the working directory (anything else than plain files is a
// finding), and the same folder emptied again.
QStringList workFiles();
void clearWork();

// A finding when the folder around the working directory holds anything
// but the working directory.
void expectNothingBesideWork();

// When KLIMA_FUZZ_SEEDS names a folder (taken before the working directory
// changes), a start input is written there.
void writeSeed(const char *name, const QByteArray &bytes);

// Reports a finding and ends the process (libFuzzer keeps the input).
[[noreturn]] void fail(const QString &what);

} // namespace Fuzz

#pragma once

#include <QByteArray>
#include <QString>

// Appending to the files that only grow (measurement records, the log):
// a block of lines is written whole or not at all.
namespace FileAppend {

enum class Sync {
    None, // the data is handed to the system
    Data, // and written through to the device before the call returns
};

// Appends `bytes` to the file at `path`, creating it (with createMode, before
// the umask) when it does not exist. When opening, a write or the sync fails, the file is cut back to
// its length before the call, and a file that this call created is removed
// again, so that neither a partial line nor an empty file remains.
// Returns 0 on success, else the errno of the step that failed.
int appendWhole(const QString &path, const QByteArray &bytes, Sync sync, int createMode = 0644);

} // namespace FileAppend

#pragma once

#include <QByteArray>
#include <QtGlobal>

// Checksum byte of a server frame: the two's complement of the 8-bit sum of
// the bytes, (256 - sum mod 256) mod 256. A sender computes it over the frame
// with the checksum byte at 0 and stores it there; a frame as received sums
// to 0, so its checksum is 0.
quint8 FrameChecksum(const QByteArray &bytes);

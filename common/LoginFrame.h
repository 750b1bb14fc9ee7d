#pragma once

#include <QByteArray>
#include <QtGlobal>

// The login that opens every connection to the HERON server: a frame of
// type 50 carrying a fixed 20-byte literal (four marker bytes, the operating
// company's 15 ASCII characters, a NUL).
namespace LoginFrame {

inline constexpr quint8 Type = 50;
inline constexpr int LiteralSize = 20;
inline constexpr int FrameSize = LiteralSize + 3;

// The 20 payload bytes.
QByteArray literal();

// The whole 23-byte frame: length 0x17, checksum, type 0x32, literal.
QByteArray frame();

} // namespace LoginFrame

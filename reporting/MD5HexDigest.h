#pragma once

#include <QByteArray>

// The MD5 digest (RFC 1321) of a text's bytes as lower-case hexadecimal.
// digestLength is the size of the digest buffer, 16 for MD5; a buffer too
// small for the digest gives the empty text, as does any failure.
QByteArray MD5HexDigest(const QByteArray &text, int digestLength);

// MD5HexDigest with a 16-byte buffer: 32 lower-case hexadecimal characters.
QByteArray MD5Hex(const QByteArray &text);

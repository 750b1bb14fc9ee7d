#include "reporting/MD5HexDigest.h"

#include <QCryptographicHash>

QByteArray MD5HexDigest(const QByteArray &text, int digestLength)
{
    const int size = QCryptographicHash::hashLength(QCryptographicHash::Md5);
    if (digestLength < size)
        return {};
    const QByteArray digest = QCryptographicHash::hash(text, QCryptographicHash::Md5);
    if (digest.size() != size)
        return {};
    return digest.toHex();
}

QByteArray MD5Hex(const QByteArray &text)
{
    return MD5HexDigest(text, 16);
}

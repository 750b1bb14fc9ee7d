#include "common/Text8.h"

namespace {

// windows-1252 bytes 0x80..0x9F. The five bytes without a character of
// their own (0x81, 0x8D, 0x8F, 0x90, 0x9D) map to the control characters of
// the same value, as the system's code page conversion does, so that every
// byte comes back unchanged.
constexpr char16_t kHigh[32] = {
    0x20AC, 0x0081, 0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021,
    0x02C6, 0x2030, 0x0160, 0x2039, 0x0152, 0x008D, 0x017D, 0x008F,
    0x0090, 0x2018, 0x2019, 0x201C, 0x201D, 0x2022, 0x2013, 0x2014,
    0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, 0x009D, 0x017E, 0x0178};

char encodeChar(char16_t c)
{
    if (c < 0x80 || (c >= 0xA0 && c <= 0xFF))
        return static_cast<char>(c);
    for (int i = 0; i < 32; ++i)
        if (kHigh[i] == c)
            return static_cast<char>(0x80 + i);
    return '?';
}

} // namespace

namespace Text8 {

QByteArray cp(const char *utf8)
{
    return fromQString(QString::fromUtf8(utf8));
}

QByteArray fromQString(const QString &text)
{
    QByteArray out;
    out.reserve(text.size());
    for (QChar ch : text)
        out.append(encodeChar(ch.unicode()));
    return out;
}

QString toQString(const QByteArray &bytes)
{
    QString out;
    out.reserve(bytes.size());
    for (char b : bytes) {
        const auto u = static_cast<unsigned char>(b);
        if (u >= 0x80 && u <= 0x9F)
            out.append(QChar(kHigh[u - 0x80]));
        else
            out.append(QChar(u));
    }
    return out;
}

QByteArray upper(const QByteArray &bytes)
{
    QByteArray out = bytes;
    for (char &b : out) {
        const auto u = static_cast<unsigned char>(b);
        if (u >= 'a' && u <= 'z')
            b = static_cast<char>(u - 32);
        else if ((u >= 0xE0 && u <= 0xFE && u != 0xF7))
            b = static_cast<char>(u - 32);
    }
    return out;
}

QByteArray trimmed(const QByteArray &bytes)
{
    qsizetype begin = 0;
    qsizetype end = bytes.size();
    while (begin < end && static_cast<unsigned char>(bytes[begin]) <= 0x20)
        ++begin;
    while (end > begin && static_cast<unsigned char>(bytes[end - 1]) <= 0x20)
        --end;
    return bytes.mid(begin, end - begin);
}

} // namespace Text8

#include "common/LoginFrame.h"

#include "common/FrameChecksum.h"

namespace LoginFrame {

QByteArray literal()
{
    static const char bytes[LiteralSize] = {'\x5A', '\x6B', '\x7C', '\x8D', 'R', '&', 'E', '-', 'R', 'o',
                                            'r',    'o',    'r',    'a',    'z', 'e', 'v', 'o', 'v', '\0'};
    return QByteArray(bytes, LiteralSize);
}

QByteArray frame()
{
    QByteArray f;
    f.append(char(FrameSize));
    f.append('\0');
    f.append(char(Type));
    f.append(literal());
    f[1] = char(FrameChecksum(f));
    return f;
}

} // namespace LoginFrame

#include "common/FrameChecksum.h"

quint8 FrameChecksum(const QByteArray &bytes)
{
    quint8 sum = 0;
    for (char c : bytes)
        sum = static_cast<quint8>(sum + static_cast<quint8>(c));
    return static_cast<quint8>(0x100 - sum);
}

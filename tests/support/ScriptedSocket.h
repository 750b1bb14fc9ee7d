#pragma once

#include "common/FrameChecksum.h"
#include "reporting/FrameSocket.h"

#include <QByteArray>
#include <QList>

#include <functional>

// A FrameSocket without a network: reads take bytes from `input`, writes are
// recorded. A read that finds too few bytes fails at once (no time passes);
// before it fails, onStarve may add bytes, standing in for a peer that sends
// while the reader waits.
class ScriptedSocket : public FrameSocket
{
public:
    bool isConnected() const override { return connected || !input.isEmpty(); }
    void setReadTimeout(int ms) override
    {
        timeout = ms;
        timeouts.append(ms);
    }
    int readTimeout() const override { return timeout; }
    bool read(int n, QByteArray &out) override
    {
        ++reads;
        if (input.size() < n && onStarve)
            onStarve(*this);
        if (input.size() < n) {
            ++failedReads;
            return false;
        }
        out = input.left(n);
        input.remove(0, n);
        return true;
    }
    bool write(const QByteArray &bytes) override
    {
        if (failWrites || !connected)
            return false;
        writes.append(bytes);
        return true;
    }

    // The next chunk arrives when a reader waits for a frame header on an
    // empty input (the peer's resend after the reader stayed silent).
    void deliverOnHeaderWait(QList<QByteArray> chunks)
    {
        pending = std::move(chunks);
        onStarve = [](ScriptedSocket &s) {
            if (s.timeout == 4000 && s.input.isEmpty() && !s.pending.isEmpty())
                s.input.append(s.pending.takeFirst());
        };
    }

    QByteArray written() const { return writes.join(); }

    QByteArray input;
    QList<QByteArray> pending;
    QList<QByteArray> writes;
    QList<int> timeouts;
    int timeout = -1;
    int reads = 0;
    int failedReads = 0;
    bool connected = true;
    bool failWrites = false;
    std::function<void(ScriptedSocket &)> onStarve;
};

// A server frame from its three header bytes' length and type and a payload;
// the checksum is filled in.
inline QByteArray serverFrame(quint8 length, quint8 type, const QByteArray &payload)
{
    QByteArray f;
    f.append(char(length));
    f.append('\0');
    f.append(char(type));
    f.append(payload);
    f[1] = char(FrameChecksum(f));
    return f;
}

inline QByteArray serverFrame(quint8 type, const QByteArray &payload)
{
    return serverFrame(quint8(payload.size() + 3), type, payload);
}

inline QByteArray answerBytes(char letter)
{
    return QByteArray("\x01\x01\x01\x01", 4) + letter;
}

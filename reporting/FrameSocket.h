#pragma once

#include <QByteArray>

class QAbstractSocket;
class QTcpSocket;

// What the frame routines need of the connection to the server: a read
// time-out that they set before their reads, reads of an exact number of
// bytes, writes of a whole buffer in one call, and whether the link is still
// up. Used by one thread at a time, the thread the connection belongs to.
class FrameSocket
{
public:
    virtual ~FrameSocket() = default;

    // Connected, or bytes are still waiting in the input.
    virtual bool isConnected() const = 0;

    // Time-out of the following reads in milliseconds; -1 waits without limit.
    virtual void setReadTimeout(int ms) = 0;
    virtual int readTimeout() const = 0;

    // Reads exactly n bytes into out. false when they did not all arrive
    // within the read time-out or the connection failed; the input then keeps
    // whatever part did arrive, and out is left as it was.
    virtual bool read(int n, QByteArray &out) = 0;

    // Writes all bytes in one call; false on a socket error.
    virtual bool write(const QByteArray &bytes) = 0;
};

// A FrameSocket over a blocking QTcpSocket used from its own thread (no event
// loop needed). Nagle's delay is switched off: every frame waits for its
// answer, so a small segment held back would cost a delayed-ack period per
// frame.
class TcpFrameSocket : public FrameSocket
{
public:
    // Works on socket, which stays owned by the caller.
    explicit TcpFrameSocket(QTcpSocket *socket);

    bool isConnected() const override;
    void setReadTimeout(int ms) override { m_readTimeout = ms; }
    int readTimeout() const override { return m_readTimeout; }
    bool read(int n, QByteArray &out) override;
    bool write(const QByteArray &bytes) override;

    // Upper bound for every read wait, whatever time-out was set; -1 (the
    // default) means none. Tests use it so that a silent peer costs no real
    // time.
    void setReadTimeoutLimit(int ms) { m_limit = ms; }

    // A write that cannot hand its bytes to the system within this many
    // milliseconds fails.
    void setWriteTimeout(int ms) { m_writeTimeout = ms; }

    QTcpSocket *socket() const { return m_socket; }

    // TCP_NODELAY on a connected socket.
    static void setLowDelay(QAbstractSocket &socket);

private:
    int effectiveTimeout() const;
    void ensureLowDelay();

    QTcpSocket *m_socket;
    int m_readTimeout = -1;
    int m_limit = -1;
    int m_writeTimeout = 30000;
    bool m_lowDelaySet = false;
};

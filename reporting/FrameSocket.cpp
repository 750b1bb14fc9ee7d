#include "reporting/FrameSocket.h"

#include <QElapsedTimer>
#include <QTcpSocket>

#include <algorithm>

TcpFrameSocket::TcpFrameSocket(QTcpSocket *socket) : m_socket(socket)
{
    ensureLowDelay();
}

void TcpFrameSocket::setLowDelay(QAbstractSocket &socket)
{
    socket.setSocketOption(QAbstractSocket::LowDelayOption, 1);
}

void TcpFrameSocket::ensureLowDelay()
{
    if (!m_lowDelaySet && m_socket && m_socket->state() == QAbstractSocket::ConnectedState) {
        setLowDelay(*m_socket);
        m_lowDelaySet = true;
    }
}

bool TcpFrameSocket::isConnected() const
{
    if (!m_socket)
        return false;
    return m_socket->state() == QAbstractSocket::ConnectedState || m_socket->bytesAvailable() > 0;
}

int TcpFrameSocket::effectiveTimeout() const
{
    if (m_limit < 0)
        return m_readTimeout;
    if (m_readTimeout < 0)
        return m_limit;
    return std::min(m_readTimeout, m_limit);
}

bool TcpFrameSocket::read(int n, QByteArray &out)
{
    if (!m_socket || n < 0)
        return false;
    const int timeout = effectiveTimeout();
    QElapsedTimer timer;
    timer.start();
    bool waited = false;
    while (m_socket->bytesAvailable() < n) {
        if (m_socket->state() != QAbstractSocket::ConnectedState)
            return false;
        int wait = -1;
        if (timeout >= 0) {
            qint64 left = timeout - timer.elapsed();
            if (left <= 0) {
                if (waited)
                    return false;
                left = 0; // look once at what the system holds
            }
            wait = static_cast<int>(left);
        }
        waited = true;
        m_socket->waitForReadyRead(wait);
    }
    out = m_socket->read(n);
    return out.size() == n;
}

bool TcpFrameSocket::write(const QByteArray &bytes)
{
    if (!m_socket || m_socket->state() != QAbstractSocket::ConnectedState)
        return false;
    ensureLowDelay();
    if (m_socket->write(bytes) != bytes.size())
        return false;
    m_socket->flush();
    QElapsedTimer timer;
    timer.start();
    while (m_socket->bytesToWrite() > 0) {
        const qint64 left = m_writeTimeout - timer.elapsed();
        if (left <= 0 || !m_socket->waitForBytesWritten(static_cast<int>(left)))
            return m_socket->bytesToWrite() == 0;
    }
    return true;
}

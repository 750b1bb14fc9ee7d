#pragma once

#include <QByteArrayList>
#include <QTcpServer>
#include <QTcpSocket>

#include <atomic>
#include <mutex>
#include <thread>

// Sits between a viewer and a station on loopback: accepts one viewer,
// connects it to the station's port and passes every read on unchanged in
// both directions, recording what each side sent (one read = one text).
class RecordingRelay
{
public:
    explicit RecordingRelay(quint16 stationPort)
    {
        m_thread = std::thread([this, stationPort] {
            QTcpServer server;
            if (!server.listen(QHostAddress::LocalHost, 0)) {
                m_port = 1;
                m_done = true;
                return;
            }
            m_port = server.serverPort();
            if (server.waitForNewConnection(30000)) {
                QTcpSocket *viewer = server.nextPendingConnection();
                QTcpSocket station;
                station.connectToHost(QHostAddress::LocalHost, stationPort);
                if (station.waitForConnected(5000))
                    pass(*viewer, station);
                viewer->abort();
                delete viewer;
            }
            m_done = true;
        });
        while (m_port == 0)
            std::this_thread::yield();
    }
    ~RecordingRelay()
    {
        m_stop = true;
        if (m_thread.joinable())
            m_thread.join();
    }
    RecordingRelay(const RecordingRelay &) = delete;
    RecordingRelay &operator=(const RecordingRelay &) = delete;

    quint16 port() const { return m_port; }
    // True once either side has closed and the relay has ended.
    bool done() const { return m_done; }
    QByteArrayList fromViewer() const
    {
        std::lock_guard lock(m_mutex);
        return m_fromViewer;
    }
    QByteArrayList fromStation() const
    {
        std::lock_guard lock(m_mutex);
        return m_fromStation;
    }

private:
    void pass(QTcpSocket &viewer, QTcpSocket &station)
    {
        const auto forward = [this](QTcpSocket &from, QTcpSocket &to, QByteArrayList &log) {
            if (from.bytesAvailable() == 0)
                return;
            const QByteArray text = from.readAll();
            {
                std::lock_guard lock(m_mutex);
                log.append(text);
            }
            to.write(text);
            to.waitForBytesWritten(1000);
        };
        while (!m_stop && viewer.state() == QAbstractSocket::ConnectedState &&
               station.state() == QAbstractSocket::ConnectedState) {
            viewer.waitForReadyRead(1);
            forward(viewer, station, m_fromViewer);
            station.waitForReadyRead(1);
            forward(station, viewer, m_fromStation);
        }
        forward(viewer, station, m_fromViewer);
        forward(station, viewer, m_fromStation);
    }

    std::thread m_thread;
    mutable std::mutex m_mutex;
    QByteArrayList m_fromViewer;
    QByteArrayList m_fromStation;
    std::atomic<quint16> m_port{0};
    std::atomic<bool> m_done{false};
    std::atomic<bool> m_stop{false};
};

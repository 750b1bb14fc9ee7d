#pragma once

#include "platform/WakeSignal.h"
#include "station/ViewerService.h"

#include <QByteArray>
#include <QThread>

#include <memory>

class QTcpSocket;
class StationCore;

// The station's side of one viewer connection: pushes a measurement message
// whenever the measurement time changes, takes the viewer's remote
// configuration and applies it through the GUI thread, and sends "<BREAK>"
// when the station stops. It owns its socket (created on the thread from the
// accepted descriptor) and touches no widget: the window's boxes come from
// the core's WindowMirror, every status line and every setter is handed to
// the GUI thread.
//
// Reading: the viewer writes each text with one send and then waits for the
// station's answer, so a read takes every byte that has arrived once the
// first byte is there as one text. Texts that arrive together are one text
// (and, being no "OK", end a measurement message); a text split on the way is
// two texts. A text longer than MaxTextBytes is no viewer's and ends the
// connection, as does a write the viewer does not take off the line.
class MyClientConnectThread : public QThread
{
public:
    static constexpr qint64 MaxTextBytes = 4096;
    static constexpr qint64 MaxUnsentBytes = 64 * 1024;

    MyClientConnectThread(StationCore &core, ViewerService &service, qintptr descriptor);
    ~MyClientConnectThread() override;

    int connectionNumber() const { return m_connectionNumber; }

    // Asks the thread to end and wakes it from its idle wait.
    void requestStop();

protected:
    // The connection loop (Execute). ActiveThreadCount was raised for this
    // thread by the accept; every way out of here lowers it.
    void run() override;

private:
    QByteArray SendMeasurement(const QByteArray &time);
    QByteArray ReceiveAnswer();
    bool ReceiveConfiguration(const QByteArray &text);

    bool up() const;
    // What has arrived, after waiting up to waitMs for the first byte.
    QByteArray readText(int waitMs);
    bool send(const QByteArray &text);
    // Hands a status line to the GUI thread under SharedDataSemaphore.
    bool statusLine(const QByteArray &text);
    // The text of measurement index `index`, read under the semaphore.
    QByteArray measurementText(int index);
    // Ends the connection and marks the thread to end.
    void drop();
    bool stopRequested() const;

    StationCore &m_core;
    ViewerService &m_service;
    const ViewerWaits m_waits;
    const qintptr m_descriptor;
    std::unique_ptr<QTcpSocket> m_socket;
    int m_connectionNumber = 0;
    bool m_end = false;
    WakeSignal m_wake;
};

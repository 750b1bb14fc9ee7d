#pragma once

#include "reporting/ServerTransport.h"
#include "reporting/TCPUtils.h"

#include <QtGlobal>

class FrameSocket;

// The open report connection as the report session and the configuration
// exchange use it: the transport's frame client and the sequence state of
// the frame routines, shared by both.
struct ReportConnection
{
    explicit ReportConnection(ServerTransport &t)
        : transport(t)
    {}

    // The frame client of the current attempt (see ServerTransport).
    FrameSocket *client() const { return transport.Cl2Socket(); }

    // Two cancel answers: the server learns that the file under way is
    // given up.
    void cancelTwice()
    {
        TCPUtils::SendCancel(client(), SequenceMode, Sequence);
        TCPUtils::SendCancel(client(), SequenceMode, Sequence);
    }

    ServerTransport &transport;
    // Sequence state of the frame routines on the report connection.
    qint32 Sequence = 0;
    quint8 SequenceMode = 0;
};

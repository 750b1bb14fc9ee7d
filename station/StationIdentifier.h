#pragma once

#include "platform/PortDirectory.h"

#include <QByteArray>
#include <QList>

// The 7-character identifier of the FTDI adapter behind `port` ("COMn:",
// upper case): the 7 characters before the last one of the device instance
// name whose description is that of a USB serial port and whose friendly
// name names the port. Empty when no adapter matches. GUI thread.
QByteArray GetFtdiSerialForPort(const QByteArray &port, const PortDirectory &directory);

// The port names ("COMn:") of every COM device that belongs to an FTDI
// adapter, in ascending port number. Names whose rest is not a positive
// number are ignored.
QList<QByteArray> FtdiComPortNames(const PortDirectory &directory);

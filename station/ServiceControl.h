#pragma once

#include <QByteArray>

class ServiceStore;

// The service host's values as the station reads and writes them.
namespace ServiceControl {

// The named value without its last byte (the host stores a terminating
// zero); empty when the key or the value cannot be read, or the value is
// longer than 1024 bytes.
QByteArray ReadServiceValue(ServiceStore &store, const QByteArray &name);

// Writes CONTROL as exactly the text's bytes, without a terminating zero.
// Failures are ignored.
void WriteServiceControl(ServiceStore &store, const QByteArray &text);

// What a supervision tick does about the control value.
enum class Reaction { None, AnsweredIdle, Shutdown };

// Reads CONTROL; "IDLE" is answered with "RUNNING", "SHUTDOWN" with "IDLE"
// (the caller then ends the program).
Reaction SuperviseControlValue(ServiceStore &store);

// The generated installation files, byte for byte (CR LF line ends).
QByteArray InstallServiceScript(const QByteArray &hostPath);
QByteArray UninstallServiceScript();
QByteArray ServiceStartBatch();

} // namespace ServiceControl

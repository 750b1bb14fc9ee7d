#pragma once

#include <QDialog>

class RemoteConfigHost;

// Dialog for a new configuration of the connected station ("Sensor-Konfiguration").
// The main window shows it modally, again while it returns with InputRejected set.
class TFRemoteConfig : public QDialog
{
    Q_OBJECT
public:
    explicit TFRemoteConfig(RemoteConfigHost &host, QWidget *parent = nullptr);

    bool InputRejected() const { return m_inputRejected; }
    void clearInputRejected() { m_inputRejected = false; }

private:
    RemoteConfigHost &m_host;
    bool m_inputRejected = false;
};

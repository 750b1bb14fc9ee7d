#include "viewer/TFRemoteConfig.h"

#include "viewer/RemoteStationState.h"

TFRemoteConfig::TFRemoteConfig(RemoteConfigHost &host, QWidget *parent) : QDialog(parent), m_host(host)
{
    setObjectName(QStringLiteral("FRemoteConfig"));
    setWindowTitle(QStringLiteral("Sensor-Konfiguration"));
}

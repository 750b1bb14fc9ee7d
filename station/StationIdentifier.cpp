#include "station/StationIdentifier.h"

#include "common/StationConfigFormat.h"
#include "common/Text8.h"
#include "station/ConfigTexts.h"

#include <set>

QByteArray GetFtdiSerialForPort(const QByteArray &port, const PortDirectory &directory)
{
    const QByteArray p = port.left(port.size() - 1);
    const QByteArray wanted = ConfigTexts::FtdiFriendlyPrefix + p + ')';
    for (const FtdiDeviceEntry &device : directory.ftdiDevices()) {
        const QByteArray &name = device.instanceName;
        if (name.isEmpty())
            continue;
        if (!Text8::upper(device.description).contains(ConfigTexts::FtdiDescription))
            continue;
        if (Text8::upper(device.friendlyName) != wanted)
            continue;
        const qsizetype end = name.size() - 1; // the last character is the interface letter
        const qsizetype begin = std::max<qsizetype>(0, end - 7);
        return name.mid(begin, end - begin);
    }
    return QByteArray();
}

QList<QByteArray> FtdiComPortNames(const PortDirectory &directory)
{
    std::set<qint32> numbers;
    for (const QByteArray &name : directory.dosDeviceNames()) {
        if (!name.startsWith("COM"))
            continue;
        const qint32 n = ConfigFormat::toInteger(name.mid(3)).value_or(0);
        if (n >= 1)
            numbers.insert(n);
    }
    QList<QByteArray> out;
    for (const qint32 n : numbers) {
        const QByteArray portName = "COM" + QByteArray::number(n) + ':';
        if (!GetFtdiSerialForPort(portName, directory).isEmpty())
            out.append(portName);
    }
    return out;
}

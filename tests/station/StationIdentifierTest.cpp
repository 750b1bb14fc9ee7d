#include "station/StationIdentifier.h"
#include "common/Text8.h"

#include "support/FakePortDirectory.h"

#include <gtest/gtest.h>

TEST(StationIdentifier, SerialForPortFromTheFtdiInstances)
{
    FakePortDirectory dir;
    dir.addFtdiPort("ABC1234A", "COM4");
    dir.devices.append({"", "USB Serial Port", "USB Serial Port (COM6)"}); // empty name: skipped
    dir.devices.append({"VID_0403+PID_6001+FTX0815A", "usb serial port", "usb serial port (com6)"});
    dir.devices.append({"OTHER99A", "USB <-> Serial Converter", "USB Serial Port (COM7)"});
    dir.devices.append({"XY", "USB Serial Port", "USB Serial Port (COM8)"});
    dir.devices.append({"DEF5678A", "Dual USB Serial Port B", "USB Serial Port (COM10)"});

    const struct
    {
        QByteArray port;
        QByteArray serial;
    } cases[] = {
        {"COM4:", "ABC1234"},
        {"COM3:", ""},
        {"COM6:", "FTX0815"}, // 7 characters before the last of the instance name; texts compared upper-cased
        {"COM7:", ""},        // another FTDI product: its description is no serial port
        {"COM8:", "X"},
        {"COM1:", ""}, // "(COM10)" is not "(COM1)"
        {"COM10:", "DEF5678"},
        {"com4:", ""}, // callers pass the port in upper case
        {"", ""},
    };
    for (const auto &c : cases)
        EXPECT_EQ(GetFtdiSerialForPort(c.port, dir), c.serial) << c.port.constData();
}

TEST(StationIdentifier, PortListHoldsFtdiPortsInAscendingOrder)
{
    FakePortDirectory dir;
    dir.dosNames = {"COM10", "LPT1", "COM1", "COMX", "COM0", "COM-4", "COM4"};
    dir.devices = {{"AAA1111A", "USB Serial Port", "USB Serial Port (COM10)"},
                   {"BBB2222A", "USB Serial Port", "USB Serial Port (COM4)"},
                   {"CCC3333A", "USB Serial Port", "USB Serial Port (COM5)"}}; // COM5 has no device name
    EXPECT_EQ(FtdiComPortNames(dir), (QList<QByteArray>{"COM4:", "COM10:"}));

    dir.dosNames = {"COM1"};
    EXPECT_TRUE(FtdiComPortNames(dir).isEmpty());
}

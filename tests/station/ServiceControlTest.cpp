#include "platform/ServiceStore.h"
#include "station/InstanceHunt.h"
#include "station/ServiceControl.h"
#include "support/FakeProcessTable.h"
#include "support/TempDir.h"

#include <gtest/gtest.h>

using namespace ServiceControl;

TEST(ServiceControl, ControlValueCases)
{
    ScopedWorkDir dir;
    DirectoryServiceStore store(dir.path());
    struct Case
    {
        QByteArray stored;
        Reaction reaction;
        QByteArray after;
    } cases[] = {
        {QByteArray("IDLE\0", 5), Reaction::AnsweredIdle, "RUNNING"},
        {QByteArray("SHUTDOWN\0", 9), Reaction::Shutdown, "IDLE"},
        {"RUNNING", Reaction::None, "RUNNING"}, // our own write reads "RUNNIN"
        {"IDLE", Reaction::None, "IDLE"},       // reads "IDL"
        {"IDLE ", Reaction::AnsweredIdle, "RUNNING"},
        {"", Reaction::None, ""},
    };
    for (const Case &c : cases) {
        dir.write("CONTROL", c.stored);
        EXPECT_EQ(SuperviseControlValue(store), c.reaction) << c.stored.constData();
        EXPECT_EQ(dir.read("CONTROL"), c.after) << c.stored.constData();
    }
    dir.write("CONTROL", "RUNNING");
    EXPECT_EQ(ReadServiceValue(store, "CONTROL"), QByteArray("RUNNIN"));
    WriteServiceControl(store, "IDLE");
    EXPECT_EQ(ReadServiceValue(store, "control"), QByteArray("IDL"));
    dir.write("CONTROL", QByteArray(1025, 'x'));
    EXPECT_EQ(ReadServiceValue(store, "CONTROL"), QByteArray());
}

TEST(ServiceControl, ScriptsByteForByte)
{
    EXPECT_EQ(InstallServiceScript("/opt/zav/Wachdienst.Exe"),
              QByteArray("Dim oPath\r\n"
                         "Dim oWMI\r\n"
                         "Dim oService\r\n"
                         "Dim StrComputer\r\n"
                         "Dim Err\r\n"
                         "Dim typ\r\n"
                         "Const StartMode = \"Automatic\"\r\n"
                         "Const OWN_PROCESS = 16\r\n"
                         "Const DESCTOPINTERFACE = True\r\n"
                         "strComputer = \".\"\r\n"
                         "oPath = \"/opt/zav/Wachdienst.Exe\"\r\n"
                         R"(Set oWMI = GetObject("winmgmts:" & "{impersonationLevel= impersonate}!\\" & strComputer & "\root\cimv2"))"
                         "\r\n"
                         "Set oService = oWMI.Get(\"Win32_BaseService\")\r\n"
                         R"(Err = oService.Create("zav_sensor", "zav_sensor", oPath, OWN_PROCESS,  0, StartMode, DESCTOPINTERFACE, ".\LocalSystem", ""))"
                         "\r\n"
                         "Set oWMI = Nothing\r\n"
                         "Set oService = Nothing\r\n"));
    EXPECT_EQ(UninstallServiceScript(),
              QByteArray("Dim oPath\r\n"
                         "Dim oWMI\r\n"
                         "Dim colService\r\n"
                         "Dim Service\r\n"
                         "Dim StrComputer\r\n"
                         "strComputer = \".\"\r\n"
                         R"(Set oWMI = GetObject("winmgmts:" & "{impersonationLevel=impersonate}!\\" & strComputer & "\root\cimv2"))"
                         "\r\n"
                         "Set colService = oWMI.ExecQuery(\"SELECT * FROM Win32_Service WHERE NAME = 'zav_sensor'\")\r\n"
                         "For Each Service in colService\r\n"
                         "\tService.StopService()\r\n"
                         " \tService.Delete()\r\n"
                         "Next\r\n"
                         "Set oWMI = Nothing\r\n"));
    EXPECT_EQ(ServiceStartBatch(), QByteArray("net start zav_sensor\r\n"));
}

TEST(InstanceHunt, TargetsAndPathComparison)
{
    FakeProcessTable table;
    table.ownPath = "/opt/ZAV Sensor/klimawarte";
    table.list = {
        {1, "/usr/bin/bash"},
        {100, "/opt/ZAV Sensor/klimawarte"},   // ourselves
        {200, "/OPT/zav sensor/KLIMAWARTE"},   // same path, other case
        {300, "/opt/ZAV Sensor/klimawarte2"},  // longer path: another program
        {400, "/opt/ZAV Sensor/klimawarte"},
        {500, "/opt/ZAV Sensor/klimawarte"},
        {0, "/opt/ZAV Sensor/klimawarte"},
        {600, ""},
    };
    int beeps = 0;
    int waited = 0;
    const auto beep = [&] { ++beeps; };
    const auto pause = [&](int ms) { waited += ms; };

    const OtherInstances found = FindOtherInstances(table, beep, pause);
    EXPECT_EQ(found.first, 200);
    EXPECT_EQ(found.second, 500);
    EXPECT_EQ(beeps, 3);
    EXPECT_EQ(waited, 1500);

    // Only one copy is ended: the later one.
    beeps = waited = 0;
    EXPECT_EQ(HuntOtherInstance(table, beep, pause), 500);
    EXPECT_EQ(table.terminated, QList<qint64>{500});
    EXPECT_EQ(waited, 3 * 500 + 5000);

    FakeProcessTable alone;
    alone.ownPath = "/opt/klimawarte";
    alone.list = {{100, "/opt/klimawarte"}, {7, "/other/klimawarte"}};
    waited = 0;
    EXPECT_EQ(HuntOtherInstance(alone, beep, pause), 0);
    EXPECT_EQ(waited, 0);
    EXPECT_TRUE(alone.terminated.isEmpty());
}

#include "station/ServiceControl.h"

#include "platform/ServiceStore.h"
#include "station/StartupTexts.h"

namespace ServiceControl {

QByteArray ReadServiceValue(ServiceStore &store, const QByteArray &name)
{
    const std::optional<QByteArray> data = store.readValue(name);
    if (!data || data->size() > 1024 || data->isEmpty())
        return {};
    return data->left(data->size() - 1);
}

void WriteServiceControl(ServiceStore &store, const QByteArray &text)
{
    store.writeValue(StartupTexts::ControlValue, text);
}

Reaction SuperviseControlValue(ServiceStore &store)
{
    const QByteArray value = ReadServiceValue(store, StartupTexts::ControlValue);
    if (value == StartupTexts::Idle) {
        WriteServiceControl(store, StartupTexts::Running);
        return Reaction::AnsweredIdle;
    }
    if (value == StartupTexts::Shutdown) {
        WriteServiceControl(store, StartupTexts::Idle);
        return Reaction::Shutdown;
    }
    return Reaction::None;
}

namespace {
QByteArray joinLines(std::initializer_list<QByteArray> lines)
{
    QByteArray out;
    for (const QByteArray &l : lines)
        out += l + "\r\n";
    return out;
}
} // namespace

QByteArray InstallServiceScript(const QByteArray &hostPath)
{
    return joinLines({
        "Dim oPath",
        "Dim oWMI",
        "Dim oService",
        "Dim StrComputer",
        "Dim Err",
        "Dim typ",
        "Const StartMode = \"Automatic\"",
        "Const OWN_PROCESS = 16",
        "Const DESCTOPINTERFACE = True",
        "strComputer = \".\"",
        "oPath = \"" + hostPath + "\"",
        "Set oWMI = GetObject(\"winmgmts:\" & \"{impersonationLevel= impersonate}!\\\\\" & strComputer & "
        "\"\\root\\cimv2\")",
        "Set oService = oWMI.Get(\"Win32_BaseService\")",
        "Err = oService.Create(\"zav_sensor\", \"zav_sensor\", oPath, OWN_PROCESS,  0, StartMode, "
        "DESCTOPINTERFACE, \".\\LocalSystem\", \"\")",
        "Set oWMI = Nothing",
        "Set oService = Nothing",
    });
}

QByteArray UninstallServiceScript()
{
    return joinLines({
        "Dim oPath",
        "Dim oWMI",
        "Dim colService",
        "Dim Service",
        "Dim StrComputer",
        "strComputer = \".\"",
        "Set oWMI = GetObject(\"winmgmts:\" & \"{impersonationLevel=impersonate}!\\\\\" & strComputer & "
        "\"\\root\\cimv2\")",
        "Set colService = oWMI.ExecQuery(\"SELECT * FROM Win32_Service WHERE NAME = 'zav_sensor'\")",
        "For Each Service in colService",
        "\tService.StopService()",
        " \tService.Delete()",
        "Next",
        "Set oWMI = Nothing",
    });
}

QByteArray ServiceStartBatch()
{
    return joinLines({"net start zav_sensor"});
}

} // namespace ServiceControl

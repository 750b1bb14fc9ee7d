#pragma once

#include "station/RemoteConfigTarget.h"
#include "station/StationCore.h"

#include <QByteArray>
#include <QList>

// A RemoteConfigTarget that records each call with the value it was given,
// and the GUI thread it ran on.
class RecordingRemoteTarget : public RemoteConfigTarget
{
public:
    explicit RecordingRemoteTarget(StationCore &core)
        : m_core(core)
    {}

    struct Call
    {
        QByteArray what; // "set", "apply", "server", "button"
        int item = 0;
        QByteArray text; // the value, or the host for "server"
        bool semaphoreHeld = false;
        bool onGuiThread = false;
    };

    void remoteSet(int item, const QByteArray &value) override { record("set", item, value); }
    void remoteApply() override { record("apply", 0, {}); }
    void showServerHost(const QByteArray &host) override { record("server", 0, host); }
    void clickStartButton() override
    {
        record("button", 0, {});
        m_core.mirror.StartButtonStop = !m_core.mirror.StartButtonStop.load();
    }

    QList<Call> calls;

private:
    void record(const char *what, int item, const QByteArray &text)
    {
        calls.append({what, item, text, m_core.semaphore.available() == 0, m_core.handover.isGuiThread()});
    }
    StationCore &m_core;
};

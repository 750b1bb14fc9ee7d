#include "gui/TFConfig.h"
#include "gui/TFConfigProxyZugang.h"
#include "gui/TFR2U_Radadu.h"
#include "gui/TIllegalComport.h"
#include "gui/TImpressum.h"
#include "reporting/MyHERONThread.h"
#include "reporting/TIdConnectThroughHttpProxy.h"
#include "station/ApplicationTitle.h"
#include "station/StationTexts.h"

#include <QApplication>
#include <QTimer>

#include <csignal>
#include <cstdio>
#include <unistd.h>

int main(int argc, char *argv[])
{
#ifdef SIGPIPE
    // Before anything is written: the output may be a pipe whose reader is
    // gone, above all for the copy that the watchdog's restart starts (its
    // output is its predecessor's, and a detached start hands it the default
    // action, which ends the process at its first message).
    std::signal(SIGPIPE, SIG_IGN);
#endif
    QApplication app(argc, argv);
    QApplication::setApplicationName(QString::fromLatin1(StationTexts::ApplicationTitle));
    // The station ends only where its start-up, supervision and shut-down
    // ask the message loop to end: not when its window hides and the last
    // box on screen closes, nor when some helper object lets go of the loop.
    QApplication::setQuitOnLastWindowClosed(false);
    QCoreApplication::setQuitLockEnabled(false);
    ApplicationTitle::set(StationTexts::ApplicationTitle);

    // The windows in their order; creating the main window runs its
    // creation handler before any other window exists.
    TFR2U_Radadu FR2U_Radadu;
    StationPlatform platform = FR2U_Radadu.platform();
    platform.reportThread = [](StationCore &core) {
        // The HTTP branch of the report transport: the station's own connector.
        // Its beeps are sounded by the GUI thread; the reporting thread does not wait for them.
        auto httpProxy = std::make_shared<TIdConnectThroughHttpProxy>(
            [&core] { QMetaObject::invokeMethod(qApp, [&core] { core.beep(); }, Qt::QueuedConnection); },
            core.clock());
        return std::make_unique<MyHERONThread>(core, std::move(httpProxy));
    };
    FR2U_Radadu.setPlatform(platform);
    FR2U_Radadu.FormCreate(QApplication::arguments().mid(1));
    TFConfig FConfig(FR2U_Radadu);
    TImpressum Impressum(&FR2U_Radadu);
    TIllegalComport IllegalComport;
    TFConfigProxyZugang FConfigProxyZugang(FR2U_Radadu.core().config);
    FConfigProxyZugang.MainTimer1 = FR2U_Radadu.Timer1;
    FConfigProxyZugang.setBeep([] { QApplication::beep(); });
    FConfig.FConfigProxyZugang = &FConfigProxyZugang;
    FR2U_Radadu.FConfigProxyZugang = &FConfigProxyZugang;

    // The first activation, also where the window system activates nothing
    // (offscreen, a service session).
    QTimer::singleShot(0, &FR2U_Radadu, [&] { FR2U_Radadu.FormActivate(); });
    FR2U_Radadu.show();

    // An end asked for during the creation (SHUTDOWN while a box of it was
    // open) is not lost: the loop would never hear of it.
    const int rc = FR2U_Radadu.core().quitRequested() ? 0 : app.exec();
    FR2U_Radadu.FormDestroy();
    if (FR2U_Radadu.core().state.ActiveThreadCount.load() > 0) {
        // Workers that did not end in time end with the process.
        std::fflush(nullptr);
        ::_exit(rc);
    }
    return rc;
}

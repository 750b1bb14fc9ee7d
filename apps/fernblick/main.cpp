#include "viewer/TFI2C_RevuzaDareza.h"
#include "viewer/TFRemoteConfig.h"
#include "viewer/TForm1.h"

#include <QApplication>

int main(int argc, char *argv[])
{
    QApplication app(argc, argv);
    // The forms in their order: the main window, the remote configuration
    // dialog, the connection-test form.
    TFI2C_RevuzaDareza window;
    auto *remoteConfig = new TFRemoteConfig(window, &window);
    auto *form1 = new TForm1(&window);
    window.setForms(remoteConfig, form1);
    window.show();
    return app.exec();
}

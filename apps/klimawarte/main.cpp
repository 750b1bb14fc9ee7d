#include "station/StationTexts.h"
#include "station/TFR2U_Radadu.h"

#include <QApplication>

int main(int argc, char *argv[])
{
    QApplication app(argc, argv);
    QApplication::setApplicationName(QString::fromLatin1(StationTexts::ApplicationTitle));
    TFR2U_Radadu window;
    window.show();
    return app.exec();
}

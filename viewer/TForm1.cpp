#include "viewer/TForm1.h"

TForm1::TForm1(QWidget *parent) : QDialog(parent)
{
    setObjectName(QStringLiteral("Form1"));
    setWindowTitle(QStringLiteral("Proxy konfigurieren und testen"));
}

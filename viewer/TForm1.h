#pragma once

#include <QDialog>

// The connection-test form ("Proxy konfigurieren und testen"): proxy settings
// of the viewer and the tests through the chosen proxy.
class TForm1 : public QDialog
{
    Q_OBJECT
public:
    explicit TForm1(QWidget *parent = nullptr);
};

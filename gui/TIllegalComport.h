#pragma once

#include <QDialog>

class QPlainTextEdit;
class QPushButton;

// The COM-port notice: how to give the sensor stick a port below COM10.
class TIllegalComport : public QDialog
{
    Q_OBJECT
public:
    explicit TIllegalComport(QWidget *parent = nullptr);

    // "OK": closes the notice with OK.
    void Button1Click() { done(QDialog::Accepted); }

    // The memo's text (UTF-8).
    static const char *memoText();

    QPlainTextEdit *Memo1 = nullptr;
    QPushButton *Button1 = nullptr;
};

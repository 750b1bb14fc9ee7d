#pragma once

#include <QDialog>

// The form of this window; its controls come with the work that needs them.
class TFConfigProxyZugang : public QDialog
{
    Q_OBJECT
public:
    explicit TFConfigProxyZugang(QWidget *parent = nullptr) : QDialog(parent)
    {
        setObjectName(QStringLiteral("FConfigProxyZugang"));
    }
};

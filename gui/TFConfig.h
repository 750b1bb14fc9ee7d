#pragma once

#include <QDialog>

// The form of this window; its controls come with the work that needs them.
class TFConfig : public QDialog
{
    Q_OBJECT
public:
    explicit TFConfig(QWidget *parent = nullptr) : QDialog(parent)
    {
        setObjectName(QStringLiteral("FConfig"));
    }
};

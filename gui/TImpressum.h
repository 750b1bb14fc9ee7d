#pragma once

#include <QDialog>

// The form of this window; its controls come with the work that needs them.
class TImpressum : public QDialog
{
    Q_OBJECT
public:
    explicit TImpressum(QWidget *parent = nullptr) : QDialog(parent)
    {
        setObjectName(QStringLiteral("Impressum"));
    }
};

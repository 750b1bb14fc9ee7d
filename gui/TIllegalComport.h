#pragma once

#include <QDialog>

// The form of this window; its controls come with the work that needs them.
class TIllegalComport : public QDialog
{
    Q_OBJECT
public:
    explicit TIllegalComport(QWidget *parent = nullptr) : QDialog(parent)
    {
        setObjectName(QStringLiteral("IllegalComport"));
    }
};

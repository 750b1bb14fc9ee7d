#include "gui/TFR2U_Radadu.h"

#include "common/Text8.h"

#include <QAction>
#include <QBoxLayout>
#include <QLineEdit>
#include <QPushButton>
#include <QTimer>

// The controls that the reporting thread changes (through StationView, on the
// GUI thread).

QLineEdit *TFR2U_Radadu::intervallLeftBox()
{
    if (!IntervallLeft) {
        QWidget *central = centralWidget() ? centralWidget() : this;
        IntervallLeft = new QLineEdit(central);
        IntervallLeft->setObjectName(QStringLiteral("IntervallLeft"));
        IntervallLeft->setReadOnly(true);
        IntervallLeft->setVisible(false); // shown with the activity list
        if (auto *box = qobject_cast<QBoxLayout *>(central->layout()))
            box->addWidget(IntervallLeft);
    }
    return IntervallLeft;
}

void TFR2U_Radadu::setIntervallLeft(const QByteArray &text)
{
    intervallLeftBox()->setText(Text8::toQString(text));
}

void TFR2U_Radadu::setReportCommandsEnabled(bool enabled)
{
    Button3->setEnabled(enabled);
    Konfiguration1->setEnabled(enabled);
    Proxy1->setEnabled(enabled);
}

void TFR2U_Radadu::restoreWindowAfterReport()
{
    const bool wasShowing = isVisible();
    Timer5->stop();
    setWindowColour(Colours::ActiveBorder);
    Timer2->stop();
    Timer2->start();
    hide();
    show();
    if (!wasShowing)
        hide();
}

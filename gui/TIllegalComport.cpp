#include "gui/TIllegalComport.h"

#include "station/StationTypes.h"

#include <QFontMetrics>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QVBoxLayout>

const char *TIllegalComport::memoText()
{
    return "ACHTUNG!\n"
           "Dem Sensor-Stick wurde möglicherweise ein COM-Port über COM9 zugewiesen. "
           "Das Programm kann nur die Ports COM1 bis COM9 benutzen. So beheben Sie das:\n"
           "\n"
           "1. Öffnen Sie den Geräte-Manager über das Menü \"Extras\" dieses Programms.\n"
           "2. Lassen Sie sich die ausgeblendeten Geräte anzeigen.\n"
           "3. Öffnen Sie die Gruppe \"Anschlüsse (COM und LPT)\".\n"
           "4. Ziehen Sie den Sensor-Stick ab: der Port, der dabei inaktiv wird, ist der des Sticks.\n"
           "5. Liegt dieser Port unter COM10, wählen Sie ihn in der Konfiguration dieses Programms aus; "
           "Sie sind fertig.\n"
           "6. Sonst deinstallieren Sie einen inaktiven Port unter COM10 und den inaktiven Port des Sticks.\n"
           "7. Stecken Sie den Sensor-Stick wieder an: er erhält die freigewordene niedrigere Nummer. "
           "Gelingt das nicht, starten Sie den PC neu oder ändern Sie den Port von Hand in den "
           "Eigenschaften des Anschlusses.\n"
           "8. Wählen Sie diesen Port in der Konfiguration dieses Programms aus.";
}

TIllegalComport::TIllegalComport(QWidget *parent)
    : QDialog(parent)
{
    setObjectName(QStringLiteral("IllegalComport"));
    setWindowTitle(QStringLiteral("IllegalComport"));
    setAutoFillBackground(true);
    QPalette p = palette();
    p.setColor(QPalette::Window, Colours::ActiveBorder);
    setPalette(p);

    auto *layout = new QVBoxLayout(this);
    layout->setSizeConstraint(QLayout::SetFixedSize);
    Memo1 = new QPlainTextEdit(this);
    Memo1->setObjectName(QStringLiteral("Memo1"));
    Memo1->setReadOnly(true);
    Memo1->setPlainText(QString::fromUtf8(memoText()));
    QPalette mp = Memo1->palette();
    mp.setColor(QPalette::Base, QColor(255, 255, 255));
    Memo1->setPalette(mp);
    const QFontMetrics fm = Memo1->fontMetrics();
    Memo1->setFixedSize(fm.averageCharWidth() * 72, fm.lineSpacing() * 26);
    layout->addWidget(Memo1);

    Button1 = new QPushButton(QStringLiteral("OK"), this);
    Button1->setObjectName(QStringLiteral("Button1"));
    Button1->setDefault(true);
    layout->addWidget(Button1, 0, Qt::AlignHCenter);
    connect(Button1, &QPushButton::clicked, this, &TIllegalComport::Button1Click);
}

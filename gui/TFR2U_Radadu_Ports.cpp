#include "gui/TFR2U_Radadu.h"

#include "common/Text8.h"
#include "station/StationIdentifier.h"

#include <QComboBox>
#include <QSignalBlocker>

namespace {

// Replaces the entries of a port list; the text in the box stays as it was
// and no change is signalled.
void fillPortList(QComboBox *box, const QList<QByteArray> &ports)
{
    const QSignalBlocker blocker(box);
    const QString text = box->currentText();
    box->clear();
    for (const QByteArray &port : ports)
        box->addItem(Text8::toQString(port));
    box->setCurrentText(text);
}

} // namespace

void TFR2U_Radadu::EnumCOMPorts()
{
    const QList<QByteArray> ports = FtdiComPortNames();
    fillPortList(Edit1, ports);
    if (DialogPortList)
        fillPortList(DialogPortList, ports);
}

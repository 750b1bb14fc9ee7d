#include "gui/StationMessageBox.h"

#include "common/Text8.h"
#include "station/ApplicationTitle.h"

#include <QApplication>
#include <QList>
#include <QMessageBox>
#include <QPointer>

namespace {

// The boxes showBox has open, innermost last. GUI thread only.
QList<QPointer<QMessageBox>> &openBoxes()
{
    static QList<QPointer<QMessageBox>> boxes;
    return boxes;
}

} // namespace

NoticeAnswer StationMessageBox::show(const QByteArray &text, NoticeButtons buttons)
{
    if (m_beforeShow)
        m_beforeShow();
    if (m_presenter)
        return m_presenter->show(text, buttons);
    return showBox(text, buttons);
}

NoticeAnswer StationMessageBox::showBox(const QByteArray &text, NoticeButtons buttons)
{
    const QMessageBox::StandardButtons qtButtons = buttons == NoticeButtons::Ok
                                                       ? QMessageBox::StandardButtons(QMessageBox::Ok)
                                                       : QMessageBox::Yes | QMessageBox::No;
    QMessageBox box(QMessageBox::NoIcon, Text8::toQString(ApplicationTitle::get()), Text8::toQString(text),
                    qtButtons, QApplication::activeWindow());
    box.setWindowModality(Qt::ApplicationModal);
    if (buttons == NoticeButtons::YesNoDefaultNo)
        box.setDefaultButton(QMessageBox::No);
    openBoxes().append(&box);
    const int answer = box.exec();
    openBoxes().removeAll(&box);
    switch (answer) {
    case QMessageBox::Ok:
        return NoticeAnswer::Ok;
    case QMessageBox::Yes:
        return NoticeAnswer::Yes;
    case QMessageBox::No:
        return NoticeAnswer::No;
    default:
        return NoticeAnswer::Closed;
    }
}

void StationMessageBox::closeOpenBoxes()
{
    const QList<QPointer<QMessageBox>> boxes = openBoxes();
    for (const QPointer<QMessageBox> &box : boxes)
        if (box)
            box->reject();
}

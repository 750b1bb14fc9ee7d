#include "gui/StationMessageBox.h"

#include "common/Text8.h"
#include "station/ApplicationTitle.h"

#include <QApplication>
#include <QMessageBox>

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
    switch (box.exec()) {
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

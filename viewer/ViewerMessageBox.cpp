#include "viewer/ViewerMessageBox.h"

#include <QMessageBox>

void ViewerMessageBox::show(QWidget *parent, const QString &text) const
{
    if (m_beforeShow)
        m_beforeShow();
    if (m_presenter) {
        m_presenter(text);
        return;
    }
    QMessageBox::information(parent, QString::fromLatin1(Title), text, QMessageBox::Ok);
}

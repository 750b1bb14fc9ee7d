#include "gui/OwnWindowSearch.h"

#include <QApplication>
#include <QDialog>
#include <QWidget>

QWidget *FindOwnDialogWindow(const QByteArray &title, QWidget *mainWindow, const QList<QWidget *> &leaveAlone)
{
    const QString wanted = QString::fromLatin1(title).toUpper();
    if (wanted.isEmpty())
        return nullptr;
    const QWidgetList windows = QApplication::topLevelWidgets();
    for (QWidget *w : windows) {
        if (w == mainWindow || !w->isVisible() || !qobject_cast<QDialog *>(w))
            continue;
        QString caption = w->windowTitle().left(255);
        const qsizetype blank = caption.indexOf(QLatin1Char(' '));
        if (blank >= 0)
            caption.truncate(blank);
        caption = caption.toUpper();
        if (caption.isEmpty() || caption != wanted)
            continue;
        return leaveAlone.contains(w) ? nullptr : w;
    }
    return nullptr;
}

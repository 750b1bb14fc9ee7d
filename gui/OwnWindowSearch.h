#pragma once

#include <QByteArray>
#include <QList>

class QWidget;

// Finds an open message box or dialog of this program by its caption: the
// first visible top-level dialog whose caption, cut before its first blank and
// upper-cased, equals the upper-cased title, that is not the main window and
// not one of the windows to leave alone.
QWidget *FindOwnDialogWindow(const QByteArray &title, QWidget *mainWindow,
                             const QList<QWidget *> &leaveAlone = {});

#pragma once

#include <QByteArray>
#include <QMessageBox>

#include <functional>

// The station's modal message boxes: captioned with the application title,
// shown on the GUI thread. Tests install a handler that records the text and
// answers at once; the supervision timer closes boxes nobody answers.
namespace StationMessageBox {

using Handler = std::function<QMessageBox::StandardButton(const QByteArray &text,
                                                          QMessageBox::StandardButtons buttons)>;

// GUI thread only. Runs the before-show hook (the window restarts its
// supervision timer there), then shows the box and returns the button.
// Without a default button the box picks its own (Ok, Yes).
QMessageBox::StandardButton show(const QByteArray &text,
                                 QMessageBox::StandardButtons buttons = QMessageBox::Ok,
                                 QMessageBox::StandardButton defaultButton = QMessageBox::NoButton);

// nullptr restores the real message box.
void setHandler(Handler handler);
void setBeforeShowHook(std::function<void()> hook);

} // namespace StationMessageBox

// Installs a message-box handler for the lifetime of the guard (tests).
class ScopedMessageBoxHandler
{
public:
    explicit ScopedMessageBoxHandler(StationMessageBox::Handler h) { StationMessageBox::setHandler(std::move(h)); }
    ~ScopedMessageBoxHandler() { StationMessageBox::setHandler(nullptr); }
    ScopedMessageBoxHandler(const ScopedMessageBoxHandler &) = delete;
    ScopedMessageBoxHandler &operator=(const ScopedMessageBoxHandler &) = delete;
};

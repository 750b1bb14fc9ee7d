#include "station/StationMessageBox.h"

#include "common/Text8.h"
#include "station/ApplicationTitle.h"

#include <QApplication>

#include <mutex>

namespace {
std::mutex g_mutex;
StationMessageBox::Handler g_handler;
std::function<void()> g_beforeShow;
} // namespace

namespace StationMessageBox {

QMessageBox::StandardButton show(const QByteArray &text, QMessageBox::StandardButtons buttons,
                                 QMessageBox::StandardButton defaultButton)
{
    Handler handler;
    std::function<void()> before;
    {
        std::lock_guard lock(g_mutex);
        handler = g_handler;
        before = g_beforeShow;
    }
    if (before)
        before();
    if (handler)
        return handler(text, buttons);

    QMessageBox box(QMessageBox::NoIcon, Text8::toQString(ApplicationTitle::get()),
                    Text8::toQString(text), buttons, QApplication::activeWindow());
    box.setWindowModality(Qt::ApplicationModal);
    if (defaultButton != QMessageBox::NoButton)
        box.setDefaultButton(defaultButton);
    return static_cast<QMessageBox::StandardButton>(box.exec());
}

void setHandler(Handler handler)
{
    std::lock_guard lock(g_mutex);
    g_handler = std::move(handler);
}

void setBeforeShowHook(std::function<void()> hook)
{
    std::lock_guard lock(g_mutex);
    g_beforeShow = std::move(hook);
}

} // namespace StationMessageBox

#pragma once

#include "station/Notices.h"

#include <QByteArray>

#include <functional>

// The station's modal message boxes: captioned with the application title,
// shown on the GUI thread. The before-show hook runs first (the main window
// restarts its supervision timer there); the supervision timer closes boxes
// nobody answers. A presenter of the test's own takes the place of the real
// box; the hook still runs.
class StationMessageBox : public NoticeSink
{
public:
    NoticeAnswer show(const QByteArray &text, NoticeButtons buttons = NoticeButtons::Ok) override;

    void setBeforeShowHook(std::function<void()> hook) { m_beforeShow = std::move(hook); }
    // nullptr restores the real message box.
    void setPresenter(NoticeSink *presenter) { m_presenter = presenter; }

    // The real box, without the hook.
    static NoticeAnswer showBox(const QByteArray &text, NoticeButtons buttons);
    // Closes every real box that is open, unanswered (its showBox gives
    // Closed). GUI thread.
    static void closeOpenBoxes();

private:
    std::function<void()> m_beforeShow;
    NoticeSink *m_presenter = nullptr;
};

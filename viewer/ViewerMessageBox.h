#pragma once

#include <QString>

#include <functional>

class QWidget;

// The viewer's plain message windows: an information box with an OK button,
// captioned with the program's title (the main window's Timer1 closes such
// boxes by that title). The before-show hook runs first (the main window
// restarts its Timer1 there, so a box stays a full interval). A presenter of
// the test's own takes the place of the real box; the hook still runs.
class ViewerMessageBox
{
public:
    using Presenter = std::function<void(const QString &text)>;

    static constexpr char Title[] = "Fernblick";

    void show(QWidget *parent, const QString &text) const;

    void setBeforeShowHook(std::function<void()> hook) { m_beforeShow = std::move(hook); }
    // An empty presenter restores the real box.
    void setPresenter(Presenter presenter) { m_presenter = std::move(presenter); }

private:
    std::function<void()> m_beforeShow;
    Presenter m_presenter;
};

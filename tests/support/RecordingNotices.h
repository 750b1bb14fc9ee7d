#pragma once

#include "station/Notices.h"
#include "station/StationPlatform.h"

#include <QByteArrayList>
#include <QList>

#include <functional>

// Records the station's notices and answers at once: with the next of
// `answers`, else Yes for a question and Ok for a message.
class RecordingNotices : public NoticeSink
{
public:
    NoticeAnswer show(const QByteArray &text, NoticeButtons buttons) override
    {
        shown.append(text);
        buttonsShown.append(buttons);
        if (onShow)
            onShow(text, buttons);
        if (!answers.isEmpty())
            return answers.takeFirst();
        return buttons == NoticeButtons::Ok ? NoticeAnswer::Ok : NoticeAnswer::Yes;
    }

    // A platform whose notices come here.
    StationPlatform platform()
    {
        StationPlatform p;
        p.notices = this;
        return p;
    }

    QByteArrayList shown;
    QList<NoticeButtons> buttonsShown;
    QList<NoticeAnswer> answers;
    // Sees each notice before it is answered.
    std::function<void(const QByteArray &text, NoticeButtons buttons)> onShow;
};

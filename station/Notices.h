#pragma once

#include <QByteArray>

// The buttons of a notice and what the person at the station answered.
// Closed: the box went without an answer (the supervision tick closed it).
// YesNoDefaultNo: Yes and No with No as the default button (Enter answers
// No); the other sets leave the default to the box (Ok, Yes).
enum class NoticeButtons { Ok, YesNo, YesNoDefaultNo };
enum class NoticeAnswer { Ok, Yes, No, Closed };

// Where the station's logic shows its modal notices (texts are code-page
// bytes). Called on the GUI thread only; the windows implement it with a
// message box captioned with the application title, tests record the texts.
class NoticeSink
{
public:
    virtual ~NoticeSink() = default;
    virtual NoticeAnswer show(const QByteArray &text, NoticeButtons buttons = NoticeButtons::Ok) = 0;
};

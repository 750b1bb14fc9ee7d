#pragma once

#include <QByteArray>
#include <QString>

// Files, the server link and the viewer link carry single-byte text in the
// Windows ANSI code page (windows-1252). Text stays as bytes from end to end;
// QString appears only at the widget boundary.
namespace Text8 {

// Source literals are UTF-8; this turns one into code-page bytes ("ü" -> 0xFC).
QByteArray cp(const char *utf8);
QByteArray fromQString(const QString &text);
QString toQString(const QByteArray &bytes);

// Upper case as the station does it for identifiers and port names:
// ASCII letters and the Latin-1 letters of the code page.
QByteArray upper(const QByteArray &bytes);
// Blanks and control characters (<= 0x20) removed at both ends.
QByteArray trimmed(const QByteArray &bytes);

} // namespace Text8

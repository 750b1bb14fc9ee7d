#pragma once

#include <QByteArray>

// The checks every setting passes before it is taken, whichever way it
// comes (the configuration dialog, a viewer, the server's configuration
// download). They decide only whether a text may be taken; each route turns
// a refusal into its own reaction.
namespace ConfigValueChecks {

// False for a text holding a CR, an LF or a NUL: the settings live in
// line-based files read by position, so such a text would shift every line
// after it (the rule of ConfigFormat::fitsOneLine, which the viewer shares).
bool fitsOneLine(const QByteArray &text);

// True when the identifier, as it stands (blanks around it aside), can be
// the start of a plain file name in the working folder: it must fit one line
// and hold no "/", "\", ":", "..", control character or DEL. The empty
// identifier passes (its copy is ".cfg").
bool isPlainStationId(const QByteArray &id);

// Why the value line of pair `pair` (0 to 16, file order) of a configuration
// received from the server cannot be taken (a text of ConfigTexts); nullptr
// when it can. Only the line and file-name rules are checked here: the
// download takes the other values as they come.
const char *receivedValueRefusal(int pair, const QByteArray &value);

} // namespace ConfigValueChecks

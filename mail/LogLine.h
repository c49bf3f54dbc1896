#pragma once
// Text from outside (a server's reply, a member's address) that goes into a line-based
// record: the error log, an error box. It stays one line whatever it holds, so nothing in
// it can pass for a line of its own.
#include <QString>

namespace LogLine {

// Control characters (CR, LF, NUL, the other C0 and C1 codes, DEL) and the Unicode line
// and paragraph separators written as visible escapes ("\r", "\n", "\x00", "\u2028");
// every other character kept as it is.
QString oneLine(const QString &text);

} // namespace LogLine

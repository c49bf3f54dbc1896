#pragma once
// Plain helpers of the mail composer.
#include <QString>

namespace ComposeText {

// The length "%d 文字" shows: bytes of the CP932 form, a line break counting 2 (CR LF).
int ByteCount(const QString &body);
// The ruler: 2 × columns half-width positions, a digit at every tenth, "-" elsewhere.
QString Ruler(int columns);
// The body as stored and sent: line breaks as CR LF.
QString WithCrLf(const QString &plainText);

} // namespace ComposeText

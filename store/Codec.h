#pragma once
// Text on disk (signatures, condition files, CSV, logs, backups) is code page 932.
// This is the one conversion between it and QString.
#include <QByteArray>
#include <QString>

namespace Codec {

// QString to CP932, mapping the characters a Linux keyboard types (〜 ‖ − ¢ £ ¬) to the
// codes a Windows user's text would hold. A character without a CP932 code becomes "?"
// and is counted in *unmappable, so the caller can tell the user instead of losing it.
QByteArray toCp932(const QString &text, int *unmappable = nullptr);

// CP932 to QString; a byte sequence that is not CP932 becomes U+FFFD.
QString fromCp932(const QByteArray &bytes);

// Reads a text file's bytes as CP932, or as UTF-8 when it starts with a UTF-8 byte-order mark.
QString fromFileBytes(const QByteArray &bytes);

} // namespace Codec

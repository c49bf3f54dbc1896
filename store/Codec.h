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

// Reads a text file's bytes as UTF-8 when they start with a UTF-8 byte-order mark or are
// UTF-8 by isUtf8Text, otherwise as CP932.
QString fromFileBytes(const QByteArray &bytes);

// True when the bytes hold at least one non-ASCII character and are valid UTF-8 throughout
// (no overlong form, no surrogate, nothing above U+10FFFF). Japanese text in CP932 almost
// never passes: its lead bytes 0x81-0x9F are UTF-8 continuation bytes. With mayBeCut, a
// sequence left unfinished at the very end is allowed, for the first block of a longer file.
bool isUtf8Text(const QByteArray &bytes, bool mayBeCut = false);

} // namespace Codec

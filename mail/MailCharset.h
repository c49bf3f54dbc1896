#pragma once
// The character set of one mail and the conversions of its text into it.
//
// A mail goes out as ISO-2022-JP (RFC 1468) when every character of its texts comes back
// identical through a strict ISO-2022-JP decoder: ASCII, JIS X 0201 Roman (only ¥ and ‾ are
// taken from it) and JIS X 0208. Anything else - NEC and IBM extensions (① 髙 﨑), ～ (U+FF5E,
// which reads back as 〜), half-width katakana (they would come back widened), emoji - goes
// out as UTF-8. The text is taken from QString as typed, never through code page 932, where
// ¥ and a backslash are one code.
#include <QByteArray>
#include <QStringView>

enum class MailCharset { Iso2022Jp, Utf8 };

// True when text reads back identically through a strict ISO-2022-JP decoder. The check is
// one table look-up per character (the table is built once, on first use).
bool ReadsBackAsIso2022Jp(QStringView text);

// Appends text as ISO-2022-JP: ASCII runs in ASCII, ¥ and ‾ after ESC ( J, the rest after
// ESC $ B, back to ASCII (ESC ( B) before every line break and at the end. With
// normaliseLines, CR LF, a lone CR and a lone LF become CR LF and the text ends with one
// (an empty text stays empty). False, with out as it was, when a character has no code.
bool AppendIso2022Jp(QByteArray &out, QStringView text, bool normaliseLines);

// Appends text as UTF-8, with the same line handling. A lone surrogate, which no character
// set can carry, becomes "?".
void AppendUtf8(QByteArray &out, QStringView text, bool normaliseLines);

// The charset's name as it is written in Content-Type and encoded words.
QByteArray CharsetName(MailCharset charset);

#pragma once
// Japanese mail text on the wire: code page 932 bytes to ISO-2022-JP (RFC 1468),
// Base64 (RFC 2045) and encoded words (RFC 2047).
//
// Everything here takes CP932 bytes (what Codec::toCp932 gives) and returns 7-bit bytes.
// The QString front-ends at the end convert through Codec::toCp932 first.
//
// Bytes that valid CP932 text never holds are not passed on as 8-bit garbage:
//  - a byte that cannot start a character (0x80, 0xA0, 0xFD-0xFF), a lead byte without a
//    valid trail byte (the lead alone becomes "?", the next byte is read on its own, so a
//    line break after it is never eaten), and raw ESC, SO and SI (which would corrupt the
//    decoder's state) become "?";
//  - user-defined characters (lead bytes 0xF0-0xF9) become the geta mark 〓;
//  - IBM extension characters (lead bytes 0xFA-0xFC) are sent as their NEC-selected or
//    NEC row 13 equivalents, which ISO-2022-JP decoders of mail programs know.
#include <QByteArray>
#include <QString>

// The whole text converted to ISO-2022-JP: JIS X 0208 after ESC $ B, back to ASCII with
// ESC ( B before every CR, LF and ASCII byte and at the end (CP932's single bytes are ASCII: a
// backslash stays a backslash, which after ESC ( J a strict reader would show as ¥). Half-width
// katakana are widened (ｶﾞ -> ガ, ﾊﾟ -> パ, ｳﾞ -> ヴ; a mark that cannot merge becomes ゛ or ゜).
// ASCII-only text comes back unchanged. The mail itself is built from its QString texts
// (MailText.h), where ¥ and a backslash are still two characters.
QByteArray SjisToJis(const QByteArray &sjis);

// Plain Base64, standard alphabet, "=" padding, no line breaks.
QByteArray Base64Encode(const QByteArray &bytes);
// Base64 in lines of 76 characters (57 bytes each, RFC 2045 6.8), every line, the last
// included, followed by CR LF; no lines for no bytes.
QByteArray Base64Lines(const QByteArray &bytes);

// A display name (From/To) made 7-bit: every maximal run of Japanese characters becomes one
// encoded word "=?ISO-2022-JP?B?...?=" (never split, never folded), plain runs stay as they
// are, with two exceptions that travel inside the neighbouring word: blanks between two
// Japanese runs (a reader drops blanks between encoded words) and plain text holding one of
// ( ) < > [ ] : ; @ \ , " (outside a word they would split or hide part of the address field).
// CR, LF and other control characters in a plain run become spaces, so a name can never start
// a header line of its own. A text without Japanese comes back unchanged (apart from those).
QByteArray MimeHeaderEncode(const QByteArray &sjis);

// The body of a mail: lines end in CR LF (a final line break is not doubled, an empty body
// has no lines), converted like SjisToJis, then Base64 in lines of 76 characters (57 bytes),
// each line, the last included, followed by CR LF. Goes after the header with
//   Content-Type: text/plain; charset="ISO-2022-JP"
//   Content-Transfer-Encoding: BASE64
QByteArray MimeBodyEncode(const QByteArray &sjis);

// The value of the Subject header (without "Subject: "). Converted like SjisToJis but back to
// ASCII with ESC ( B; the stretch from the first to the last word holding Japanese or control
// characters is written as encoded words of at most 75 characters, each holding whole
// characters and starting and ending in ASCII, joined by CR LF and one space. Words before and
// after that stretch stay plain; a Subject without Japanese text comes back unchanged.
QByteArray MimeSubjectEncode(const QByteArray &sjis);

// The same for text held as QString (converted to CP932 first; a character without a CP932
// code becomes "?" and is counted in *unmappable when given).
QByteArray EncodeHeaderText(const QString &text, int *unmappable = nullptr);
QByteArray EncodeSubjectText(const QString &text, int *unmappable = nullptr);
QByteArray EncodeBodyText(const QString &text, int *unmappable = nullptr);

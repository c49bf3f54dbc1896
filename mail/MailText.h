#pragma once
// The texts of one mail written in its charset: the body in Base64 lines, the Subject field
// and display names as RFC 2047 B encoded words. Header lines are kept within 78 characters
// where a fold can do it; a fold never comes straight after the field name, since readers
// keep the blank it leaves in front of the value.
#include "mail/MailCharset.h"

#include <QByteArray>
#include <QStringView>

struct EncodedBody
{
    QByteArray lines; // Base64 lines of 76 characters, each ending in CR LF
    MailCharset charset = MailCharset::Iso2022Jp;
};

// The body as ISO-2022-JP when that is allowed and the text reads back identically, else as
// UTF-8. Line breaks become CR LF and the last line ends with one; an empty body has no lines.
EncodedBody EncodeMailBody(QStringView text, bool iso2022JpAllowed);

// The whole field "Name: value" (no final CR LF). Words are separated by blanks; the stretch
// from the first word holding a non-ASCII or control character (or "=?") to the last such
// word, its inner blanks included, is written as encoded words of at most 75 characters
// holding whole characters (in ISO-2022-JP each starts and ends in ASCII); the first of them
// on the field's own line, each further one on a continuation line. Plain words before and
// after stay as they are and fold at their blanks. A text without such words stays plain.
// Text that does not read back through ISO-2022-JP is written in UTF-8 whatever is asked
// (the same holds for display names).
QByteArray EncodeSubjectField(QByteArrayView name, QStringView text, MailCharset charset);

// A display name for From or To. Control characters become blanks. A plain ASCII name comes
// back as it is (the caller quotes it); any other name is written whole as one encoded word,
// so no special character of it can act on the address field, and no reader shows a blank
// between two words of it. The word may pass 75 characters (RFC 2047 2 allows readers to
// take it; splitting is worse).
QByteArray EncodeDisplayName(QStringView name, MailCharset charset);

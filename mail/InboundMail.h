#pragma once
// A bounded reader for mail that comes back (RFC 5322 headers, MIME multipart, Base64 and
// quoted-printable, RFC 2047 encoded words): enough to tell an unsubscribe request or a
// delivery report from anything else. It never throws and never reads beyond what it was
// given; nesting, the number of parts and the header size are bounded, so a hostile
// message costs at most its own size in memory.
#include <QByteArray>
#include <QList>
#include <QString>

struct InboundPart {
    // Unfolded header fields in order, names as written.
    QList<std::pair<QByteArray, QByteArray>> headers;
    QByteArray type = "text/plain";  // lower case "type/subtype"
    QByteArray charset;              // lower case; empty when not given
    QByteArray boundary;             // of a multipart
    QByteArray reportType;           // report-type of a multipart/report, lower case
    QByteArray body;                 // the transfer encoding undone (of a leaf part)
    QList<InboundPart> parts;        // of a multipart, and of message/rfc822

    // The first field with this name (case-insensitive), raw and unfolded; empty when none.
    QByteArray field(const QByteArray &name) const;
    // The field with its encoded words decoded.
    QString text(const QByteArray &name) const;
    // The body as text in its charset (UTF-8 when none or unknown).
    QString bodyText() const;
};

namespace InboundMail {

constexpr int kMaxDepth = 8;
constexpr int kMaxParts = 64;
constexpr qsizetype kMaxHeaderBytes = 256 * 1024;

// The message's structure; whatever cannot be read stays a text/plain leaf with the bytes
// as they are.
InboundPart parse(const QByteArray &message);

// RFC 2047: encoded words (B and Q, in UTF-8, ISO-2022-JP, Shift_JIS, EUC-JP, ISO-8859-1,
// US-ASCII and whatever the platform's codecs know) decoded; the space between two adjacent
// encoded words dropped; other bytes read as UTF-8.
QString decodeWords(const QByteArray &field);

// Bytes in the named charset (UTF-8 when empty or unknown).
QString decodeCharset(const QByteArray &bytes, const QByteArray &charset);

// Every leaf part, depth first.
QList<const InboundPart *> leaves(const InboundPart &root);

} // namespace InboundMail

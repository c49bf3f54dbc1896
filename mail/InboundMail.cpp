#include "mail/InboundMail.h"

#include <QRegularExpression>
#include <QStringDecoder>

namespace {

// The header block and the body: split at the first empty line (CR LF or bare LF).
void splitMessage(const QByteArray &message, QByteArray *head, QByteArray *body)
{
    qsizetype at = -1;
    qsizetype skip = 0;
    if (message.startsWith("\r\n") || message.startsWith("\n")) {
        at = 0;
        skip = message.startsWith("\r\n") ? 2 : 1;
    } else {
        const qsizetype crlf = message.indexOf("\r\n\r\n");
        const qsizetype lf = message.indexOf("\n\n");
        if (crlf >= 0 && (lf < 0 || crlf < lf)) {
            at = crlf + 2;
            skip = 2;
        } else if (lf >= 0) {
            at = lf + 1;
            skip = 1;
        }
    }
    if (at < 0) {
        *head = message;
        body->clear();
        return;
    }
    *head = message.left(at);
    *body = message.mid(at + skip);
}

QList<std::pair<QByteArray, QByteArray>> parseHeaders(QByteArray head)
{
    QList<std::pair<QByteArray, QByteArray>> fields;
    if (head.size() > InboundMail::kMaxHeaderBytes)
        head.truncate(InboundMail::kMaxHeaderBytes);
    const QList<QByteArray> lines = head.split('\n');
    for (QByteArray line : lines) {
        if (line.endsWith('\r'))
            line.chop(1);
        if (line.isEmpty())
            continue;
        // RFC 5322 section 2.2.3: a line that starts with white space continues the field.
        if ((line[0] == ' ' || line[0] == '\t')) {
            if (!fields.isEmpty())
                fields.last().second += line;
            continue;
        }
        const qsizetype colon = line.indexOf(':');
        if (colon <= 0)
            continue;
        fields.append({line.left(colon).trimmed(), line.mid(colon + 1).trimmed()});
    }
    return fields;
}

// A Content-Type-like value: the lower-case value before the first ";" and its parameters
// (names lower case, quotes removed).
QByteArray parameter(const QByteArray &field, const QByteArray &name)
{
    qsizetype i = field.indexOf(';');
    while (i >= 0 && i < field.size()) {
        ++i;
        while (i < field.size() && (field[i] == ' ' || field[i] == '\t'))
            ++i;
        const qsizetype eq = field.indexOf('=', i);
        if (eq < 0)
            return {};
        const QByteArray key = field.mid(i, eq - i).trimmed().toLower();
        qsizetype j = eq + 1;
        while (j < field.size() && (field[j] == ' ' || field[j] == '\t'))
            ++j;
        QByteArray value;
        if (j < field.size() && field[j] == '"') {
            ++j;
            while (j < field.size() && field[j] != '"') {
                if (field[j] == '\\' && j + 1 < field.size())
                    ++j;
                value += field[j++];
            }
            i = field.indexOf(';', j);
        } else {
            const qsizetype end = field.indexOf(';', j);
            value = field.mid(j, end < 0 ? -1 : end - j).trimmed();
            i = end;
        }
        if (key == name)
            return value;
    }
    return {};
}

QByteArray decodeQuotedPrintable(const QByteArray &in, bool header)
{
    QByteArray out;
    out.reserve(in.size());
    for (qsizetype i = 0; i < in.size(); ++i) {
        const char c = in[i];
        if (header && c == '_') {
            out += ' ';
        } else if (c == '=') {
            if (i + 2 < in.size() + 0 && in[i + 1] == '\r' && in[i + 2] == '\n') {
                i += 2;  // soft line break
            } else if (i + 1 < in.size() && in[i + 1] == '\n') {
                i += 1;
            } else if (i + 2 < in.size() && isxdigit(uchar(in[i + 1])) && isxdigit(uchar(in[i + 2]))) {
                out += char(QByteArray::fromHex(in.mid(i + 1, 2)).at(0));
                i += 2;
            } else {
                out += c;
            }
        } else {
            out += c;
        }
    }
    return out;
}

QByteArray decodeBody(const QByteArray &body, const QByteArray &transferEncoding)
{
    const QByteArray te = transferEncoding.trimmed().toLower();
    if (te == "base64")
        return QByteArray::fromBase64(body);
    if (te == "quoted-printable")
        return decodeQuotedPrintable(body, false);
    return body;
}

// The parts of a multipart body between its boundary lines (RFC 2046 section 5.1.1).
QList<QByteArray> splitMultipart(const QByteArray &body, const QByteArray &boundary)
{
    QList<QByteArray> parts;
    const QByteArray dash = "--" + boundary;
    qsizetype pos = 0;
    qsizetype partStart = -1;
    while (pos <= body.size()) {
        qsizetype eol = body.indexOf('\n', pos);
        const qsizetype end = eol < 0 ? body.size() : eol;
        QByteArray line = body.mid(pos, end - pos);
        if (line.endsWith('\r'))
            line.chop(1);
        if (line.startsWith(dash)) {
            const QByteArray rest = line.mid(dash.size()).trimmed();
            if (rest.isEmpty() || rest == "--") {
                if (partStart >= 0) {
                    // The line break before the boundary line belongs to the boundary.
                    qsizetype partEnd = pos;
                    if (partEnd > partStart && body[partEnd - 1] == '\n')
                        --partEnd;
                    if (partEnd > partStart && body[partEnd - 1] == '\r')
                        --partEnd;
                    parts += body.mid(partStart, partEnd - partStart);
                    if (parts.size() >= InboundMail::kMaxParts)
                        return parts;
                }
                if (rest == "--")
                    return parts;
                partStart = eol < 0 ? body.size() : eol + 1;
            }
        }
        if (eol < 0)
            break;
        pos = eol + 1;
    }
    // No closing boundary: what follows the last boundary is a part all the same.
    if (partStart >= 0 && partStart < body.size())
        parts += body.mid(partStart);
    return parts;
}

InboundPart parsePart(const QByteArray &bytes, int depth, int *budget)
{
    InboundPart part;
    QByteArray head, body;
    splitMessage(bytes, &head, &body);
    part.headers = parseHeaders(head);
    const QByteArray contentType = part.field("Content-Type");
    if (!contentType.isEmpty()) {
        const qsizetype semi = contentType.indexOf(';');
        const QByteArray type = (semi < 0 ? contentType : contentType.left(semi)).trimmed().toLower();
        if (type.contains('/'))
            part.type = type;
    }
    part.charset = parameter(contentType, "charset").toLower();
    part.boundary = parameter(contentType, "boundary");
    part.reportType = parameter(contentType, "report-type").toLower();

    if (part.type.startsWith("multipart/") && !part.boundary.isEmpty() && depth < InboundMail::kMaxDepth) {
        for (const QByteArray &child : splitMultipart(body, part.boundary)) {
            if (--*budget < 0)
                break;
            part.parts += parsePart(child, depth + 1, budget);
        }
        return part;
    }
    part.body = decodeBody(body, part.field("Content-Transfer-Encoding"));
    if ((part.type == "message/rfc822" || part.type == "message/global") && depth < InboundMail::kMaxDepth
        && --*budget >= 0)
        part.parts += parsePart(part.body, depth + 1, budget);
    return part;
}

void collectLeaves(const InboundPart &part, QList<const InboundPart *> *out)
{
    if (part.parts.isEmpty()) {
        out->append(&part);
        return;
    }
    for (const InboundPart &child : part.parts)
        collectLeaves(child, out);
}

} // namespace

QByteArray InboundPart::field(const QByteArray &name) const
{
    for (const auto &[key, value] : headers)
        if (key.compare(name, Qt::CaseInsensitive) == 0)
            return value;
    return {};
}

QString InboundPart::text(const QByteArray &name) const
{
    return InboundMail::decodeWords(field(name));
}

QString InboundPart::bodyText() const
{
    return InboundMail::decodeCharset(body, charset);
}

namespace InboundMail {

InboundPart parse(const QByteArray &message)
{
    int budget = kMaxParts;
    return parsePart(message, 0, &budget);
}

QString decodeCharset(const QByteArray &bytes, const QByteArray &charset)
{
    const QByteArray name = charset.trimmed().toLower();
    if (!name.isEmpty() && name != "utf-8" && name != "utf8" && name != "us-ascii") {
        QStringDecoder decoder(name.constData());
        if (decoder.isValid())
            return decoder.decode(bytes);
    }
    return QString::fromUtf8(bytes);
}

// RFC 2047 section 2: =?charset?encoding?text?= (charset may carry *language, RFC 2231).
QString decodeWords(const QByteArray &field)
{
    static const QRegularExpression word(QStringLiteral("=\\?([^?*\\s]+)(?:\\*[^?\\s]*)?\\?([bBqQ])\\?([^?\\s]*)\\?="));
    const QString text = QString::fromLatin1(field);
    QString out;
    qsizetype last = 0;
    bool previousWasWord = false;
    auto it = word.globalMatch(text);
    while (it.hasNext()) {
        const QRegularExpressionMatch m = it.next();
        const QString between = text.mid(last, m.capturedStart() - last);
        // Section 6.2: white space between two encoded words is not shown.
        if (!(previousWasWord && between.trimmed().isEmpty()))
            out += QString::fromUtf8(field.mid(last, m.capturedStart() - last));
        const QByteArray charset = m.captured(1).toLatin1();
        const QByteArray payload = m.captured(3).toLatin1();
        const QByteArray bytes = m.captured(2).compare(QLatin1String("b"), Qt::CaseInsensitive) == 0
                                     ? QByteArray::fromBase64(payload)
                                     : decodeQuotedPrintable(payload, true);
        out += decodeCharset(bytes, charset);
        last = m.capturedEnd();
        previousWasWord = true;
    }
    out += QString::fromUtf8(field.mid(last));
    return out;
}

QList<const InboundPart *> leaves(const InboundPart &root)
{
    QList<const InboundPart *> out;
    collectLeaves(root, &out);
    return out;
}

} // namespace InboundMail

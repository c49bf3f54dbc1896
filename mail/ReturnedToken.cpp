#include "mail/ReturnedToken.h"

#include "mail/ReturnPath.h"
#include "mail/TokenField.h"

#include <QRegularExpression>

namespace {

// Tokens looked at in one message: a report quoting thousands of lines of them is bounded.
constexpr int kMaxCandidates = 32;
// Text searched for quoted originals: what follows is never more than a copy of the mail.
constexpr qsizetype kMaxSearchChars = 512 * 1024;

const QRegularExpression &quotedToken()
{
    // Our field as a header line, possibly quoted with "> "; the two List-Unsubscribe links.
    static const QRegularExpression re(
        QStringLiteral("(?:^[>\\s]*X-Tsubame-Token:[ \\t]*([0-9a-f-]{1,64})|unsubscribe%20([0-9a-f-]{1,64})"
                       "|[?&]t=([0-9a-f-]{1,64}))"),
        QRegularExpression::CaseInsensitiveOption | QRegularExpression::MultilineOption);
    return re;
}

void addFromText(const QString &text, QStringList *out)
{
    auto it = quotedToken().globalMatch(text.left(kMaxSearchChars));
    while (it.hasNext() && out->size() < kMaxCandidates) {
        const QRegularExpressionMatch m = it.next();
        for (int i = 1; i <= 3; ++i)
            if (m.capturedLength(i) > 0)
                out->append(m.captured(i));
    }
}

// The header fields of a returned original.
void addFromHeaders(const InboundPart &original, QStringList *out)
{
    const QString own = QString::fromLatin1(original.field(TokenField::kName)).trimmed();
    if (!own.isEmpty())
        out->append(own);
    addFromText(QString::fromLatin1(original.field("List-Unsubscribe")), out);
}

bool isHeaderPart(const QByteArray &type)
{
    return type == "text/rfc822-headers" || type == "message/global-headers";
}

void collect(const InboundPart &part, int depth, QStringList *out)
{
    if (depth > InboundMail::kMaxDepth || out->size() >= kMaxCandidates)
        return;
    if (part.type == "message/rfc822" || part.type == "message/global") {
        for (const InboundPart &original : part.parts)
            addFromHeaders(original, out);
    } else if (isHeaderPart(part.type)) {
        addFromHeaders(InboundMail::parse(part.body), out);
    } else if (part.parts.isEmpty() && part.type.startsWith("text/")) {
        addFromText(part.bodyText(), out);
    }
    for (const InboundPart &child : part.parts)
        collect(child, depth + 1, out);
}

// "local+TOKEN@domain": the address a return path of ours was given.
void addFromPlusAddress(const InboundPart &mail, QStringList *out)
{
    static const QRegularExpression address(QStringLiteral("[^\\s<>,;\"]+@[^\\s<>,;\"]+"));
    for (const char *name : {"Delivered-To", "X-Original-To", "To"}) {
        for (auto it = address.globalMatch(QString::fromLatin1(mail.field(name))); it.hasNext();) {
            const QString token = ReturnPath::tokenIn(it.next().captured(0));
            if (!token.isEmpty())
                out->append(token);
        }
    }
}

} // namespace

ReturnedToken ReturnedToken::find(const InboundPart &mail, const QByteArray &key)
{
    ReturnedToken found;
    if (key.isEmpty())
        return found;
    QStringList candidates;
    addFromPlusAddress(mail, &candidates);
    // The message's own fields are the sender's to write: only what it returns counts.
    collect(mail, 0, &candidates);
    for (const QString &token : std::as_const(candidates)) {
        if (const auto member = UnsubscribeToken::parse(key, token)) {
            found.member = member;
            found.magazine.reset();
            return found;
        }
        if (!found.magazine)
            found.magazine = UnsubscribeToken::parseMagazine(key, token);
    }
    return found;
}

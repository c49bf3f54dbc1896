#include "mail/BounceReport.h"

#include "mail/BouncePhrases.h"
#include "mail/LogLine.h"

#include <QHash>
#include <QRegularExpression>
#include <QSet>

namespace {

// The diagnostic part of a plain-text notice that is searched; what follows is a copy of the mail.
constexpr qsizetype kMaxDiagnosticChars = 64 * 1024;

using Field = std::pair<QByteArray, QByteArray>;

QString oneLineReason(QString text)
{
    text = text.simplified();
    if (text.size() > BounceReport::kMaxReason)
        text = text.left(BounceReport::kMaxReason - 1) + u'…';
    return LogLine::oneLine(text);
}

const QRegularExpression &addressPattern()
{
    static const QRegularExpression re(QStringLiteral("[A-Za-z0-9.!#$%&'*+/=?^_`{|}~-]+@[A-Za-z0-9-]+(\\.[A-Za-z0-9-]+)+"));
    return re;
}

// "rfc822; user@example.jp", "rfc822;<user@example.jp>", "RFC822:user@example.jp" or the bare
// address (RFC 3464 section 2.3.2, and how servers write it): the address, or empty.
QString addressOf(const QByteArray &field)
{
    const QString value = QString::fromUtf8(field);
    const auto m = addressPattern().match(value);
    if (!m.hasMatch())
        return {};
    QString a = m.captured(0);
    while (a.endsWith(u'.'))
        a.chop(1);
    return a;
}

// The fields of a delivery-status body in order, unfolded; an empty line is kept as a break.
QList<Field> statusFields(const QByteArray &body)
{
    QList<Field> fields;
    for (QByteArray line : body.split('\n')) {
        if (line.endsWith('\r'))
            line.chop(1);
        if (line.trimmed().isEmpty()) {
            fields.append({QByteArray(), QByteArray()});
            continue;
        }
        if ((line[0] == ' ' || line[0] == '\t') && !fields.isEmpty() && !fields.last().first.isEmpty()) {
            fields.last().second += ' ' + line.trimmed();
            continue;
        }
        const qsizetype colon = line.indexOf(':');
        if (colon > 0)
            fields.append({line.left(colon).trimmed().toLower(), line.mid(colon + 1).trimmed()});
    }
    return fields;
}

bool isRecipientField(const QByteArray &name)
{
    return name == "original-recipient" || name == "final-recipient" || name == "x-actual-recipient";
}

// The per-recipient groups: a group ends at an empty line, or where a recipient field comes
// again (reports that run their recipients together without the empty line).
QList<QHash<QByteArray, QByteArray>> recipientGroups(const QByteArray &body)
{
    QList<QHash<QByteArray, QByteArray>> groups;
    QHash<QByteArray, QByteArray> current;
    const auto close = [&] {
        bool names = false;
        for (auto it = current.cbegin(); it != current.cend(); ++it)
            names = names || isRecipientField(it.key());
        if (names)
            groups += current;
        current.clear();
    };
    for (const Field &f : statusFields(body)) {
        if (f.first.isEmpty()) {
            close();
            continue;
        }
        if (isRecipientField(f.first) && current.contains(f.first))
            close();
        if (!current.contains(f.first))
            current.insert(f.first, f.second);
    }
    close();
    return groups;
}

const QRegularExpression &enhancedStatus()
{
    static const QRegularExpression re(QStringLiteral("(?<![\\d.])([245])\\.(\\d{1,3})\\.(\\d{1,3})(?![\\d.]*\\d)"));
    return re;
}

const QRegularExpression &replyCode()
{
    static const QRegularExpression re(QStringLiteral("(?:^|[\\s:;(\\[#])([245]\\d\\d)(?=[\\s\\-:;)\\]]|$)"));
    return re;
}

// How bad one recipient's failure is, from the best evidence there is: a specific status
// code, a reply code with its words, the words alone. fallback when none says anything.
BounceSeverity judge(const QString &status, const QString &text, BounceSeverity fallback)
{
    BounceSeverity s = BounceSeverityOf::status(status);
    if (s != BounceSeverity::Unknown)
        return s;
    auto codes = enhancedStatus().globalMatch(text);
    while (codes.hasNext()) {
        s = BounceSeverityOf::status(codes.next().captured(0));
        if (s != BounceSeverity::Unknown)
            return s;
    }
    const auto code = replyCode().match(text);
    if (code.hasMatch())
        return BounceSeverityOf::reply(code.captured(1).toInt(), text);
    s = BouncePhrases::severity(text);
    return s == BounceSeverity::Unknown ? fallback : s;
}

// RFC 3464: the message/delivery-status part of a report.
QList<BouncedRecipient> readDeliveryStatus(const InboundPart &status)
{
    QList<BouncedRecipient> out;
    QSet<QString> seen;
    for (const auto &group : recipientGroups(status.body)) {
        if (out.size() >= BounceReport::kMaxRecipients)
            break;
        // The address we gave in RCPT TO first; the others for reports that leave it out.
        QString address;
        for (const char *name : {"original-recipient", "final-recipient", "x-actual-recipient"}) {
            address = addressOf(group.value(name));
            if (!address.isEmpty())
                break;
        }
        if (address.isEmpty() || seen.contains(address.toLower()))
            continue;
        const QByteArray statusValue = group.value("status").trimmed();
        const QString statusText = QString::fromUtf8(statusValue);
        QByteArray diagnostic = group.value("diagnostic-code");
        const qsizetype semi = diagnostic.indexOf(';');
        if (semi >= 0 && semi < 16)
            diagnostic = diagnostic.mid(semi + 1);
        const QString diagnosticText = QString::fromUtf8(diagnostic.trimmed());

        BouncedRecipient r;
        r.address = address;
        const auto enhanced = enhancedStatus().match(statusText);
        const auto bare = replyCode().match(statusText);
        if (enhanced.hasMatch())
            r.status = enhanced.captured(0);
        else if (bare.hasMatch())
            r.status = bare.captured(1);
        // "failed", "failure", "delayed", "delay" ...; without an Action the status class says it.
        QByteArray action = group.value("action").trimmed().toLower();
        if (action.isEmpty())
            action = r.status.startsWith(u'4') ? "delayed" : r.status.startsWith(u'2') ? "delivered" : "failed";
        const bool delayed = action.startsWith("delay");
        if (!delayed && !action.startsWith("fail"))
            continue;
        seen.insert(address.toLower());
        r.reason = oneLineReason(diagnosticText);
        if (r.reason.isEmpty())
            r.reason = r.status.isEmpty() ? oneLineReason(statusText) : r.status;
        if (delayed) {
            r.hard = false;
        } else {
            // A bare code counts as a reply code; words in Status as diagnostic words.
            const BounceSeverity s = judge(enhanced.hasMatch() ? r.status : QString(),
                                           statusText + u' ' + diagnosticText, BounceSeverity::Hard);
            r.hard = s == BounceSeverity::Hard;
        }
        out += r;
    }
    return out;
}

const InboundPart *findType(const InboundPart &part, const QByteArray &type, int depth = 0)
{
    if (part.type == type)
        return &part;
    if (depth > InboundMail::kMaxDepth || part.type == "message/rfc822" || part.type == "message/global")
        return nullptr;
    for (const InboundPart &child : part.parts)
        if (const InboundPart *found = findType(child, type, depth + 1))
            return found;
    return nullptr;
}

const InboundPart *deliveryStatusPart(const InboundPart &mail)
{
    const InboundPart *status = findType(mail, "message/delivery-status");
    if (!status)
        status = findType(mail, "message/global-delivery-status");
    if (status && (mail.type == "multipart/report" || findType(mail, "multipart/report")))
        return status;
    return nullptr;
}

// Plain-text notices ----------------------------------------------------------------------

// The notice's own text: the first text/plain part outside any returned message, else the
// first text/html one with its tags dropped.
QString noticeText(const InboundPart &part, int depth = 0)
{
    if (depth > InboundMail::kMaxDepth || part.type == "message/rfc822" || part.type == "message/global"
        || part.type == "text/rfc822-headers")
        return {};
    if (part.parts.isEmpty()) {
        if (part.type == "text/plain")
            return part.bodyText();
        return {};
    }
    for (const InboundPart &child : part.parts) {
        const QString t = noticeText(child, depth + 1);
        if (!t.isEmpty())
            return t;
    }
    return {};
}

QString htmlNoticeText(const InboundPart &mail)
{
    for (const InboundPart *leaf : InboundMail::leaves(mail)) {
        if (leaf->type != "text/html")
            continue;
        static const QRegularExpression tags(QStringLiteral("<[^>]*>"));
        static const QRegularExpression breaks(QStringLiteral("<(br|/p|/div|/tr|/li)[^>]*>"),
                                               QRegularExpression::CaseInsensitiveOption);
        QString text = leaf->bodyText().left(kMaxDiagnosticChars);
        text.replace(breaks, QStringLiteral("\n"));
        text.remove(tags);
        text.replace(QStringLiteral("&lt;"), QStringLiteral("<")).replace(QStringLiteral("&gt;"), QStringLiteral(">"))
            .replace(QStringLiteral("&nbsp;"), QStringLiteral(" ")).replace(QStringLiteral("&amp;"), QStringLiteral("&"));
        return text;
    }
    return {};
}

// Where the notice ends and the returned message begins.
qsizetype endOfDiagnostic(const QString &text)
{
    static const QRegularExpression copy(
        QStringLiteral("^\\s*-+\\s*(Below this line is a copy|This is a copy of|Original message|Returned message|"
                       "The original message|Message headers follow|Original message headers|Received:)|"
                       "^-{2,}\\s*$|^Received: |^------ This is a copy|^\\s*-+\\s*Unsent message below|"
                       "^\\s*-+\\s*元のメッセージ|^\\s*-+\\s*以下、送信されたメッセージ"),
        QRegularExpression::CaseInsensitiveOption | QRegularExpression::MultilineOption);
    const auto m = copy.match(text);
    return m.hasMatch() ? m.capturedStart() : text.size();
}

QString diagnosticText(const InboundPart &mail)
{
    QString body = noticeText(mail);
    if (body.trimmed().isEmpty())
        body = htmlNoticeText(mail);
    body.replace(QStringLiteral("\r\n"), QStringLiteral("\n"));
    body.truncate(endOfDiagnostic(body));
    return body.left(kMaxDiagnosticChars);
}

const QRegularExpression &permanentWording()
{
    static const QRegularExpression re(
        QStringLiteral("permanent (error|fatal error|failure)|fatal errors|could not be delivered|I'm afraid I wasn't able|"
                       "undeliverable|delivery has failed|failed permanently|配信できませんでした|配送できませんでした|"
                       "送信できませんでした"),
        QRegularExpression::CaseInsensitiveOption);
    return re;
}

std::optional<QList<BouncedRecipient>> readPlainText(const InboundPart &mail)
{
    const QString body = diagnosticText(mail);
    if (body.isEmpty())
        return std::nullopt;
    const bool warning = BouncePhrases::isWarning(body);
    const BounceSeverity fallback = permanentWording().match(body).hasMatch() ? BounceSeverity::Hard
                                                                              : BounceSeverity::Soft;
    static const QRegularExpression notMember(QStringLiteral("^(postmaster|mailer-daemon|double-bounce|abuse)@"),
                                              QRegularExpression::CaseInsensitiveOption);
    QSet<QString> exclude;
    for (const char *name : {"From", "To", "Return-Path", "Reply-To", "Sender"}) {
        auto it = addressPattern().globalMatch(mail.text(name));
        while (it.hasNext())
            exclude.insert(it.next().captured(0).toLower());
    }

    QList<BouncedRecipient> out;
    QSet<QString> seen;
    static const QRegularExpression paragraphBreak(QStringLiteral("\\n[ \\t]*\\n"));
    const QStringList paragraphs = body.split(paragraphBreak);
    for (qsizetype p = 0; p < paragraphs.size(); ++p) {
        const QString &paragraph = paragraphs[p];
        auto it = addressPattern().globalMatch(paragraph);
        QStringList found;
        qsizetype firstEnd = -1;
        while (it.hasNext()) {
            const auto m = it.next();
            QString a = m.captured(0);
            while (a.endsWith(u'.'))
                a.chop(1);
            if (notMember.match(a).hasMatch() || exclude.contains(a.toLower()) || found.contains(a, Qt::CaseInsensitive))
                continue;
            if (firstEnd < 0)
                firstEnd = m.capturedEnd();
            found += a;
        }
        if (found.isEmpty())
            continue;
        QString reason = paragraph.mid(firstEnd);
        const auto saysWhy = [](const QString &text) {
            return enhancedStatus().match(text).hasMatch() || replyCode().match(text).hasMatch()
                   || BouncePhrases::severity(text) != BounceSeverity::Unknown;
        };
        // The address on a paragraph of its own, the reason in the next one (qmail, SMTP32,
        // web mail services' notices).
        if (!saysWhy(reason) && p + 1 < paragraphs.size() && !addressPattern().match(paragraphs[p + 1]).hasMatch())
            reason += u'\n' + paragraphs[p + 1];
        const bool hasCode = enhancedStatus().match(reason).hasMatch() || replyCode().match(reason).hasMatch();
        const BounceSeverity said = BouncePhrases::severity(reason);
        // An address in a paragraph that says nothing of a failure is not a failed recipient.
        if (!hasCode && said == BounceSeverity::Unknown && fallback != BounceSeverity::Hard && !warning)
            continue;
        for (const QString &a : std::as_const(found)) {
            if (seen.contains(a.toLower()) || out.size() >= BounceReport::kMaxRecipients)
                continue;
            seen.insert(a.toLower());
            BouncedRecipient r;
            r.address = a;
            const auto status = enhancedStatus().match(reason);
            if (status.hasMatch())
                r.status = status.captured(0);
            r.hard = !warning && judge(QString(), reason, fallback) == BounceSeverity::Hard;
            QString why = reason;
            while (!why.isEmpty() && (why[0] == u'>' || why[0] == u':' || why[0].isSpace()))
                why.remove(0, 1);
            r.reason = oneLineReason(why);
            out += r;
        }
    }
    if (out.isEmpty())
        return std::nullopt;
    return out;
}

// The local part of the first address in a From field, "MAILER-DAEMON (Mail Delivery System)"
// and "Mail Delivery System <Mailer-Daemon@host>" alike.
QString fromLocalPart(const InboundPart &mail)
{
    QString from = mail.text("From").trimmed();
    const qsizetype open = from.indexOf(u'<');
    if (open >= 0) {
        const qsizetype close = from.indexOf(u'>', open);
        from = from.mid(open + 1, close < 0 ? -1 : close - open - 1);
    } else {
        static const QRegularExpression comment(QStringLiteral("\\([^)]*\\)"));
        from.remove(comment);
    }
    from = from.trimmed();
    const qsizetype at = from.indexOf(u'@');
    return (at < 0 ? from : from.left(at)).trimmed();
}

} // namespace

namespace BounceReport {

bool fromMailSystem(const InboundPart &mail)
{
    const QByteArray returnPath = mail.field("Return-Path");
    if (!returnPath.isEmpty() && QByteArray(returnPath).replace(' ', "").replace('\t', "") == "<>")
        return true;
    const QString local = fromLocalPart(mail);
    return local.compare(QLatin1String("mailer-daemon"), Qt::CaseInsensitive) == 0
           || local.compare(QLatin1String("postmaster"), Qt::CaseInsensitive) == 0;
}

bool isDeliveryReport(const InboundPart &mail)
{
    return deliveryStatusPart(mail) != nullptr;
}

std::optional<QList<BouncedRecipient>> read(const InboundPart &mail)
{
    if (const InboundPart *status = deliveryStatusPart(mail))
        return readDeliveryStatus(*status);
    if (!fromMailSystem(mail))
        return std::nullopt;
    return readPlainText(mail);
}

std::optional<QList<BouncedRecipient>> readText(const InboundPart &mail)
{
    if (const InboundPart *status = deliveryStatusPart(mail))
        return readDeliveryStatus(*status);
    return readPlainText(mail);
}

BounceSeverity textSeverity(const InboundPart &mail)
{
    const QString body = diagnosticText(mail);
    if (BouncePhrases::isWarning(body))
        return BounceSeverity::Soft;
    const BounceSeverity s = judge(QString(), body, BounceSeverity::Unknown);
    if (s != BounceSeverity::Unknown)
        return s;
    return permanentWording().match(body).hasMatch() ? BounceSeverity::Hard : BounceSeverity::Unknown;
}

} // namespace BounceReport

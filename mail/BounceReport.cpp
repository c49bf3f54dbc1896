#include "mail/BounceReport.h"

#include "mail/LogLine.h"

#include <QRegularExpression>
#include <QSet>

namespace {

QString oneLineReason(QString text)
{
    text = text.simplified();
    if (text.size() > BounceReport::kMaxReason)
        text = text.left(BounceReport::kMaxReason - 1) + u'…';
    return LogLine::oneLine(text);
}

// "rfc822; user@example.jp" (RFC 3464 section 2.3.2) to the address.
QString addressOf(const QByteArray &field)
{
    QByteArray value = field;
    const qsizetype semi = value.indexOf(';');
    if (semi >= 0)
        value = value.mid(semi + 1);
    value = value.trimmed();
    if (value.startsWith('<') && value.endsWith('>'))
        value = value.mid(1, value.size() - 2).trimmed();
    return QString::fromUtf8(value);
}

// The blocks of a delivery-status body: field groups separated by empty lines.
QList<QList<std::pair<QByteArray, QByteArray>>> fieldGroups(const QByteArray &body)
{
    QList<QList<std::pair<QByteArray, QByteArray>>> groups;
    QList<std::pair<QByteArray, QByteArray>> current;
    for (QByteArray line : body.split('\n')) {
        if (line.endsWith('\r'))
            line.chop(1);
        if (line.trimmed().isEmpty()) {
            if (!current.isEmpty())
                groups += current;
            current.clear();
            continue;
        }
        if ((line[0] == ' ' || line[0] == '\t') && !current.isEmpty()) {
            current.last().second += ' ' + line.trimmed();
            continue;
        }
        const qsizetype colon = line.indexOf(':');
        if (colon > 0)
            current.append({line.left(colon).trimmed().toLower(), line.mid(colon + 1).trimmed()});
    }
    if (!current.isEmpty())
        groups += current;
    return groups;
}

QByteArray valueOf(const QList<std::pair<QByteArray, QByteArray>> &group, const QByteArray &name)
{
    for (const auto &[key, value] : group)
        if (key == name)
            return value;
    return {};
}

const QRegularExpression &enhancedStatus()
{
    static const QRegularExpression re(QStringLiteral("\\b([245])\\.(\\d{1,3})\\.(\\d{1,3})\\b"));
    return re;
}

const QRegularExpression &replyCode()
{
    static const QRegularExpression re(QStringLiteral("(?:^|[\\s:(\\[])([45]\\d\\d)(?=[\\s\\-:]|$)"));
    return re;
}

// RFC 3464: the message/delivery-status part of a report.
std::optional<QList<BouncedRecipient>> readDeliveryStatus(const InboundPart &status)
{
    QList<BouncedRecipient> out;
    const auto groups = fieldGroups(status.body);
    // The first group is about the message; the others about one recipient each.
    for (qsizetype i = 1; i < groups.size() && out.size() < BounceReport::kMaxRecipients; ++i) {
        const auto &group = groups[i];
        const QByteArray action = valueOf(group, "action").toLower();
        const bool failed = action.startsWith("failed");
        const bool delayed = action.startsWith("delayed");
        if (!failed && !delayed)
            continue;
        QByteArray recipient = valueOf(group, "original-recipient");
        if (addressOf(recipient).isEmpty())
            recipient = valueOf(group, "final-recipient");
        BouncedRecipient r;
        r.address = addressOf(recipient);
        if (r.address.isEmpty())
            continue;
        const QByteArray statusValue = valueOf(group, "status").trimmed();
        const auto m = enhancedStatus().match(QString::fromLatin1(statusValue));
        if (m.hasMatch())
            r.status = m.captured(0);
        QByteArray diagnostic = valueOf(group, "diagnostic-code");
        const qsizetype semi = diagnostic.indexOf(';');
        if (semi >= 0)
            diagnostic = diagnostic.mid(semi + 1);
        r.reason = oneLineReason(QString::fromUtf8(diagnostic.trimmed()));
        if (r.reason.isEmpty())
            r.reason = r.status;
        if (delayed)
            r.hard = false;
        else if (!r.status.isEmpty())
            r.hard = r.status.startsWith(u'5');
        else
            r.hard = !diagnostic.trimmed().startsWith('4');
        out += r;
    }
    return out;
}

const InboundPart *findType(const InboundPart &part, const QByteArray &type, int depth = 0)
{
    if (part.type == type)
        return &part;
    if (depth > InboundMail::kMaxDepth || part.type == "message/rfc822")
        return nullptr;
    for (const InboundPart &child : part.parts)
        if (const InboundPart *found = findType(child, type, depth + 1))
            return found;
    return nullptr;
}

// Plain-text bounces --------------------------------------------------------------------

bool looksLikeBounceMail(const InboundPart &mail)
{
    static const QRegularExpression sender(QStringLiteral("mailer-daemon|postmaster|mail delivery (sub)?system"),
                                           QRegularExpression::CaseInsensitiveOption);
    static const QRegularExpression subject(
        QStringLiteral("undeliver|undelivered|delivery (status notification|failure|has failed)|returned mail|"
                       "failure notice|mail delivery failed|delivery failed|not delivered|配信不能|配送失敗|不達"),
        QRegularExpression::CaseInsensitiveOption);
    const QByteArray returnPath = mail.field("Return-Path").trimmed();
    return returnPath == "<>" || sender.match(mail.text("From")).hasMatch() || subject.match(mail.text("Subject")).hasMatch();
}

// Where the report ends and the returned message begins.
qsizetype endOfDiagnostic(const QString &text)
{
    static const QRegularExpression copy(
        QStringLiteral("^\\s*-+\\s*(Below this line is a copy|This is a copy of|Original message|Returned message|"
                       "The original message|Message headers follow|Received:)|^-{2,}\\s*$|^Received: |"
                       "^------ This is a copy"),
        QRegularExpression::CaseInsensitiveOption | QRegularExpression::MultilineOption);
    const auto m = copy.match(text);
    return m.hasMatch() ? m.capturedStart() : text.size();
}

std::optional<QList<BouncedRecipient>> readPlainText(const InboundPart &mail)
{
    if (!looksLikeBounceMail(mail))
        return std::nullopt;
    const InboundPart *text = nullptr;
    for (const InboundPart *leaf : InboundMail::leaves(mail)) {
        if (leaf->type == "text/plain") {
            text = leaf;
            break;
        }
    }
    if (!text)
        return std::nullopt;
    QString body = text->bodyText();
    body.replace(QStringLiteral("\r\n"), QStringLiteral("\n"));
    body.truncate(endOfDiagnostic(body));

    static const QRegularExpression permanent(
        QStringLiteral("permanent (error|fatal error|failure)|could not be delivered|I'm afraid I wasn't able"),
        QRegularExpression::CaseInsensitiveOption);
    static const QRegularExpression address(QStringLiteral("[A-Za-z0-9.!#$%&'*+/=?^_`{|}~-]+@[A-Za-z0-9-]+(\\.[A-Za-z0-9-]+)+"));
    static const QRegularExpression notMember(QStringLiteral("^(postmaster|mailer-daemon|double-bounce)@"),
                                              QRegularExpression::CaseInsensitiveOption);
    const bool saysPermanent = permanent.match(body).hasMatch();

    QSet<QString> exclude;
    for (const char *name : {"From", "To", "Return-Path"}) {
        auto it = address.globalMatch(mail.text(name));
        while (it.hasNext())
            exclude.insert(it.next().captured(0).toLower());
    }

    QList<BouncedRecipient> out;
    QSet<QString> seen;
    const QStringList paragraphs = body.split(QRegularExpression(QStringLiteral("\\n\\s*\\n")));
    for (const QString &paragraph : paragraphs) {
        auto it = address.globalMatch(paragraph);
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
        const QString reason = paragraph.mid(firstEnd);
        const auto status = enhancedStatus().match(reason);
        const auto code = replyCode().match(reason);
        // An address in a paragraph that says nothing of a failure is not a failed recipient.
        if (!status.hasMatch() && !code.hasMatch() && !saysPermanent)
            continue;
        for (const QString &a : found) {
            if (seen.contains(a.toLower()) || out.size() >= BounceReport::kMaxRecipients)
                continue;
            seen.insert(a.toLower());
            BouncedRecipient r;
            r.address = a;
            if (status.hasMatch())
                r.status = status.captured(0);
            if (!r.status.isEmpty())
                r.hard = r.status.startsWith(u'5');
            else if (code.hasMatch())
                r.hard = code.captured(1).startsWith(u'5');
            else
                r.hard = saysPermanent;
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

} // namespace

namespace BounceReport {

std::optional<QList<BouncedRecipient>> read(const InboundPart &mail)
{
    const InboundPart *status = findType(mail, "message/delivery-status");
    if (!status)
        status = findType(mail, "message/global-delivery-status");
    if (status && (mail.type == "multipart/report" || findType(mail, "multipart/report")))
        return readDeliveryStatus(*status);
    return readPlainText(mail);
}

} // namespace BounceReport

#include "mail/InboxMessage.h"

#include "mail/FeedbackReport.h"
#include "mail/UPlaceholders.h"
#include "mail/UnsubscribeRequest.h"
#include "mail/UnsubscribeToken.h"
#include "store/InboxSeen.h"
#include "store/MemberBounces.h"
#include "store/MemberSql.h"

#include <QRegularExpression>

namespace {

using Kind = InboxVerdict::Kind;

// The first address of a field: inside angle brackets, else the field without comments.
QString addressIn(const QString &field)
{
    static const QRegularExpression address(
        QStringLiteral("[A-Za-z0-9.!#$%&'*+/=?^_`{|}~-]+@[A-Za-z0-9-]+(\\.[A-Za-z0-9-]+)+"));
    const qsizetype open = field.lastIndexOf(u'<');
    const QString where = open >= 0 ? field.mid(open) : field;
    const auto m = address.match(where);
    return m.hasMatch() ? m.captured(0) : QString();
}

bool isMailerLocalPart(const QString &from)
{
    const QString a = addressIn(from);
    const QString local = (a.isEmpty() ? from.trimmed() : a.left(a.indexOf(u'@'))).toLower();
    return local.startsWith(QLatin1String("mailer-daemon")) || local.startsWith(QLatin1String("postmaster"));
}

// RFC 3834 and the fields and subjects vacation programs and out-of-office notices use.
bool isAutoReply(const InboundPart &mail)
{
    const QByteArray autoSubmitted = mail.field("Auto-Submitted").trimmed().toLower();
    if (!autoSubmitted.isEmpty() && autoSubmitted != "no")
        return true;
    for (const char *name : {"X-Autoreply", "X-Autorespond", "X-Auto-Reply"})
        if (!mail.field(name).isEmpty())
            return true;
    const QByteArray precedence = mail.field("Precedence").trimmed().toLower();
    if (precedence == "auto_reply" || precedence == "auto-reply")
        return true;
    static const QRegularExpression subject(
        QStringLiteral("^\\s*(auto(matic)?[ -]?(reply|response)|autoreply|out of (the )?office|vacation|"
                       "abwesenheit|自動応答|自動返信|自動送信|不在)|out of (the )?office"),
        QRegularExpression::CaseInsensitiveOption);
    return subject.match(mail.text("Subject")).hasMatch();
}

// A person's answer or forward: whatever it quotes, it reports nothing.
bool isReplySubject(const QString &subject)
{
    static const QRegularExpression reply(QStringLiteral("^\\s*(re|fw|fwd|aw|wg|sv|vs|tr|rv|返信|転送)\\s*(\\[\\d+\\])?\\s*[:：]"),
                                          QRegularExpression::CaseInsensitiveOption);
    return reply.match(subject).hasMatch();
}

InboxVerdict complaint(const InboundPart &mail, const FeedbackReport &report, const QByteArray &key)
{
    InboxVerdict v;
    v.token = ReturnedToken::find(mail, key);
    v.reason = report.reason;
    for (const QString &a : report.recipients)
        v.recipients += BouncedRecipient{a, false, QString(), report.reason};
    // A magazine's token names no member: the report's recipient address has to.
    const bool names = v.token.member || (v.token.magazine && !v.recipients.isEmpty());
    v.kind = names ? Kind::Complaint : Kind::UnmatchedReport;
    return v;
}

InboxVerdict bounce(const InboundPart &mail, const QByteArray &key)
{
    InboxVerdict v;
    const bool system = BounceReport::fromMailSystem(mail);
    const bool report = BounceReport::isDeliveryReport(mail);
    const QString from = mail.text("From");
    // Vacation notices come from a null return path too; only a mailer's own From or a
    // report's structure outweighs their marks.
    if (isAutoReply(mail) && !report && !isMailerLocalPart(from))
        return v;
    v.token = ReturnedToken::find(mail, key);
    if (!system && !report && (!v.token.found() || isReplySubject(mail.text("Subject"))))
        return {};
    // A report from a person's own return path is nobody's notice unless it returns our token.
    if (report && !system && !v.token.found() && !mail.field("Return-Path").trimmed().isEmpty())
        return {};
    v.recipients = (system || report ? BounceReport::read(mail) : BounceReport::readText(mail)).value_or(QList<BouncedRecipient>());
    v.overall = BounceReport::textSeverity(mail);
    if (v.token.member) {
        // Returned by somebody who is no mail system: only a notice that says a delivery failed.
        const bool says = !v.recipients.isEmpty() || v.overall != BounceSeverity::Unknown;
        if (!system && !report && !says)
            return {};
        v.kind = Kind::Bounce;
        return v;
    }
    if (v.recipients.isEmpty())
        v.kind = system || report || v.token.found() ? Kind::UnmatchedReport : Kind::Other;
    else
        v.kind = Kind::Bounce;
    return v;
}

bool sameAddress(const QString &a, const QString &b)
{
    return a.trimmed().compare(b.trimmed(), Qt::CaseInsensitive) == 0;
}

// The events of a verified member's report: the member alone, as hard as the report says
// its address failed (or all the addresses it names, for a forwarded member).
QList<BounceEvent> memberEvents(const InboxVerdict &v)
{
    const UnsubscribeToken::Member m = *v.token.member;
    const std::optional<MemberRecord> record = MemberSql::load(m.magIdx, m.userIdx);
    if (!record)
        return {};
    BounceEvent e;
    e.address = record->address;
    e.magIdx = m.magIdx;
    e.userIdx = m.userIdx;
    const auto own = std::find_if(v.recipients.cbegin(), v.recipients.cend(),
                                  [&](const BouncedRecipient &r) { return sameAddress(r.address, record->address); });
    if (own != v.recipients.cend()) {
        e.hard = own->hard;
        e.reason = own->reason;
    } else if (!v.recipients.isEmpty()) {
        e.hard = std::all_of(v.recipients.cbegin(), v.recipients.cend(), [](const BouncedRecipient &r) { return r.hard; });
        e.reason = v.recipients.first().reason;
    } else {
        e.hard = v.overall == BounceSeverity::Hard;
        e.reason = e.hard ? QStringLiteral("不達 (宛先不明)") : QStringLiteral("不達 (一時的)");
    }
    return {e};
}

QList<BounceEvent> events(const InboxVerdict &v, const QDateTime &now)
{
    if (v.token.member)
        return memberEvents(v);
    QList<BounceEvent> out;
    const QString since = now.addDays(-InboxMessage::kUnverifiedDays).toString(QStringLiteral("yyyy/MM/dd HH:mm:ss"));
    for (const BouncedRecipient &r : v.recipients) {
        BounceEvent e;
        e.address = r.address;
        e.hard = r.hard;
        e.reason = r.reason;
        if (v.token.magazine) {
            e.magIdx = *v.token.magazine;
        } else {
            e.hard = false;
            e.mailedSince = since;
        }
        out += e;
    }
    return out;
}

InboxMessage::Disposition left(const QString &mailbox, const QByteArray &uidl)
{
    InboxSeen::mark(mailbox, uidl, InboxSeen::State::Left);
    return InboxMessage::Disposition::Left;
}

} // namespace

namespace InboxMessage {

bool isPlainUnsubscribe(const QString &subject)
{
    const QString s = subject.trimmed();
    return s.compare(QLatin1String("unsubscribe"), Qt::CaseInsensitive) == 0 || s == QStringLiteral("配信停止")
           || s == QStringLiteral("解除");
}

InboxVerdict classify(const InboundPart &mail, const QByteArray &key)
{
    InboxVerdict v;
    if (const std::optional<QString> token = UnsubscribeRequest::token(mail)) {
        v.token.member = UnsubscribeToken::parse(key, *token);
        v.kind = v.token.member ? Kind::Unsubscribe : Kind::ForgedRequest;
        return v;
    }
    if (const std::optional<FeedbackReport> report = FeedbackReport::read(mail))
        return report->isAbuse() ? complaint(mail, *report, key) : v;
    v = bounce(mail, key);
    if (v.kind != Kind::Other)
        return v;
    if (isPlainUnsubscribe(mail.text("Subject")) && !BounceReport::fromMailSystem(mail)) {
        v = InboxVerdict();
        v.address = addressIn(mail.text("From"));
        if (!v.address.isEmpty())
            v.kind = Kind::AddressUnsubscribe;
    }
    return v;
}

Disposition handle(const InboundPart &mail, const QString &mailbox, const QByteArray &uidl, const QByteArray &key,
                   InboxSummary &summary)
{
    const InboxVerdict v = classify(mail, key);
    const QDateTime now = QDateTime::currentDateTime();
    const QString date = now.toString(QStringLiteral("yyyy/MM/dd hh:mm"));
    switch (v.kind) {
    case Kind::Unsubscribe:
        switch (MemberBounces::applyUnsubscribe(mailbox, uidl, v.token.member->magIdx, v.token.member->userIdx)) {
        case MemberBounces::UnsubscribeOutcome::Slept:
            ++summary.unsubscribed;
            break;
        case MemberBounces::UnsubscribeOutcome::Removed:
            ++summary.removed;
            break;
        case MemberBounces::UnsubscribeOutcome::AlreadyDone:
        case MemberBounces::UnsubscribeOutcome::NoMember:
            break;
        }
        return Disposition::Handled;
    case Kind::ForgedRequest:
        ++summary.forged;
        return left(mailbox, uidl);
    case Kind::Bounce: {
        const MemberBounces::BounceOutcome outcome = MemberBounces::applyBounce(mailbox, uidl, events(v, now), date);
        if (outcome.alreadyDone)
            return Disposition::Handled;
        if (outcome.counted == 0) {
            ++summary.unmatchedReports;
            return left(mailbox, uidl);
        }
        summary.bounces += outcome.counted;
        summary.hardBounces += outcome.hard;
        summary.softBounces += outcome.counted - outcome.hard;
        summary.suspended += outcome.suspended;
        return Disposition::Handled;
    }
    case Kind::Complaint: {
        QList<BounceEvent> targets;
        const auto target = [&](const QString &address, int magIdx, int userIdx) {
            BounceEvent e;
            e.address = address;
            e.reason = v.reason;
            e.magIdx = magIdx;
            e.userIdx = userIdx;
            targets += e;
        };
        if (v.token.member)
            target(QString(), v.token.member->magIdx, v.token.member->userIdx);
        else
            for (const BouncedRecipient &r : v.recipients)
                target(r.address, *v.token.magazine, 0);
        const MemberBounces::ComplaintOutcome outcome = MemberBounces::applyComplaint(mailbox, uidl, targets, date);
        if (outcome.alreadyDone)
            return Disposition::Handled;
        if (outcome.counted == 0) {
            ++summary.unmatchedReports;
            return left(mailbox, uidl);
        }
        summary.complaints += outcome.counted;
        summary.complaintSuspended += outcome.suspended;
        return Disposition::Handled;
    }
    case Kind::UnmatchedReport:
        ++summary.unmatchedReports;
        return left(mailbox, uidl);
    case Kind::AddressUnsubscribe: {
        const auto batch = [](const QString &body) { return !HasPlaceholders(body); };
        const MemberBounces::AddressUnsubscribeOutcome outcome =
            MemberBounces::applyAddressUnsubscribe(mailbox, uidl, v.address, batch);
        if (outcome.alreadyDone)
            return Disposition::Handled;
        if (outcome.slept + outcome.already == 0) {
            ++summary.unknown;
            return left(mailbox, uidl);
        }
        summary.unsubscribed += outcome.slept;
        summary.addressUnsubscribed += outcome.slept;
        return Disposition::Handled;
    }
    case Kind::Other:
        break;
    }
    ++summary.unknown;
    return left(mailbox, uidl);
}

} // namespace InboxMessage

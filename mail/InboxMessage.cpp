#include "mail/InboxMessage.h"

#include "mail/BounceReport.h"
#include "mail/UnsubscribeRequest.h"
#include "mail/UnsubscribeToken.h"
#include "store/InboxSeen.h"
#include "store/MemberBounces.h"

#include <QDateTime>

namespace {

InboxMessage::Disposition left(const QString &mailbox, const QByteArray &uidl)
{
    InboxSeen::mark(mailbox, uidl, InboxSeen::State::Left);
    return InboxMessage::Disposition::Left;
}

} // namespace

namespace InboxMessage {

Disposition handle(const InboundPart &mail, const QString &mailbox, const QByteArray &uidl, const QByteArray &key,
                   InboxSummary &summary)
{
    if (const std::optional<QString> token = UnsubscribeRequest::token(mail)) {
        const std::optional<UnsubscribeToken::Member> member = UnsubscribeToken::parse(key, *token);
        if (!member) {
            ++summary.forged;
            return left(mailbox, uidl);
        }
        switch (MemberBounces::applyUnsubscribe(mailbox, uidl, member->magIdx, member->userIdx)) {
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
    }
    if (const std::optional<QList<BouncedRecipient>> report = BounceReport::read(mail)) {
        QList<BounceEvent> events;
        for (const BouncedRecipient &r : *report)
            events += BounceEvent{r.address, r.hard, r.reason};
        const QString now = QDateTime::currentDateTime().toString(QStringLiteral("yyyy/MM/dd hh:mm"));
        const MemberBounces::BounceOutcome outcome = MemberBounces::applyBounce(mailbox, uidl, events, now);
        if (outcome.alreadyDone)
            return Disposition::Handled;
        if (outcome.counted == 0) {
            ++summary.unmatchedReports;
            return left(mailbox, uidl);
        }
        summary.bounces += outcome.counted;
        summary.suspended += outcome.suspended;
        return Disposition::Handled;
    }
    ++summary.unknown;
    return left(mailbox, uidl);
}

} // namespace InboxMessage

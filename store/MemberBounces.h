#pragma once
// How often mail to a member came back (own table MemberBounce: MagIdx, UserIdx, Bounces,
// HardBounces, LastReason, LastDate), and what an inbound message does to members. Every
// effect is one transaction together with the message's id in InboxSeen, and does nothing
// when that id is already done, so a message read twice counts once.
#include <QByteArray>
#include <QList>
#include <QString>

#include <optional>

struct MemberBounce {
    int magIdx = -1;
    int userIdx = -1;
    int bounces = 0;
    int hardBounces = 0;
    QString lastReason;
    QString lastDate;  // "yyyy/MM/dd hh:mm"
    bool operator==(const MemberBounce &) const = default;
};

struct BounceEvent {
    QString address;
    bool hard = false;
    QString reason;
};

namespace MemberBounces {

// The member's counts; nullopt when mail to it never came back.
std::optional<MemberBounce> load(int magIdx, int userIdx);
// Every magazine member's counts (for the member list).
QList<MemberBounce> forMagazine(int magIdx);

struct BounceOutcome {
    bool alreadyDone = false;  // the id was done before: nothing changed
    int counted = 0;           // members whose count went up
    int suspended = 0;         // of those, set to Sleep now for reaching their magazine's limit
};
// For each event, every member (any magazine) with that address (the local part as
// written, the domain without case) gets Bounces + 1, HardBounces + 1 when hard, the reason
// and the date; one whose hard bounces reach its magazine's bounce limit gets Sleep = 1.
// The id is marked done in the same transaction when some member matched, otherwise left.
BounceOutcome applyBounce(const QString &mailbox, const QByteArray &uidl, const QList<BounceEvent> &events,
                          const QString &date);

enum class UnsubscribeOutcome { AlreadyDone, Slept, Removed, NoMember };
// The member of an accepted token gets Sleep = 1, or is deleted (with its bounce counts,
// its open delivery rows settled) when its magazine's unsubscribe action says so; the id is marked done in the same
// transaction. NoMember when there is no such member any more (an earlier request removed
// it): the id is marked done all the same, as the request has nothing left to do.
UnsubscribeOutcome applyUnsubscribe(const QString &mailbox, const QByteArray &uidl, int magIdx, int userIdx);

} // namespace MemberBounces

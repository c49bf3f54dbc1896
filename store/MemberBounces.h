#pragma once
// How often mail to a member came back (own table MemberBounce: MagIdx, UserIdx, Bounces,
// HardBounces, LastReason, LastDate, Complaints), and what an inbound message does to
// members. Every effect is one transaction together with the message's id in InboxSeen, and
// does nothing when that id is already done, so a message read twice counts once.
//
// Suspension for bounces counts hard bounces alone: a soft one (a full mailbox, a delay, a
// report nobody can vouch for) raises Bounces and never suspends anybody, however many come.
#include <QByteArray>
#include <QList>
#include <QString>

#include <functional>
#include <optional>
#include <utility>

struct MemberBounce {
    int magIdx = -1;
    int userIdx = -1;
    int bounces = 0;
    int hardBounces = 0;
    QString lastReason;
    QString lastDate;  // "yyyy/MM/dd hh:mm"
    int complaints = 0;  // complaint reports naming the member
    bool operator==(const MemberBounce &) const = default;
};

// One returned address and whom it may touch: by default every member (any magazine) with
// the address.
struct BounceEvent {
    BounceEvent() = default;
    BounceEvent(QString address, bool hard, QString reason)
        : address(std::move(address)), hard(hard), reason(std::move(reason))
    {
    }

    QString address;
    bool hard = false;
    QString reason;
    int magIdx = 0;       // > 0: only members of this magazine
    int userIdx = 0;      // > 0 (with magIdx): this member alone, whatever its address
    QString mailedSince;  // not empty: only members an issue recorded at or after this moment
                          // ("yyyy/MM/dd HH:mm:ss", as MagInfo.AddDate) went to
};

namespace MemberBounces {

// The member's counts; nullopt when mail to it never came back.
std::optional<MemberBounce> load(int magIdx, int userIdx);
// Every magazine member's counts (for the member list).
QList<MemberBounce> forMagazine(int magIdx);

struct BounceOutcome {
    bool alreadyDone = false;  // the id was done before: nothing changed
    int counted = 0;           // members whose count went up
    int hard = 0;              // of those, counted as hard
    int suspended = 0;         // of those, set to Sleep now for reaching their magazine's limit
};
// For each event, every member it may touch with that address (the local part as written,
// the domain without case) gets Bounces + 1, HardBounces + 1 when hard, the reason and the
// date; one whose hard bounces reach its magazine's bounce limit gets Sleep = 1. The id is
// marked done in the same transaction when some member matched, otherwise left.
BounceOutcome applyBounce(const QString &mailbox, const QByteArray &uidl, const QList<BounceEvent> &events,
                          const QString &date);

struct ComplaintOutcome {
    bool alreadyDone = false;
    int counted = 0;    // members whose complaint count went up
    int suspended = 0;  // of those, set to Sleep now (the others were already)
};
// A complaint about our mail: each member the events may touch (hard and mailedSince are not
// looked at) gets Complaints + 1, the reason and the date, and Sleep = 1 at once. The id is
// marked done when some member matched, otherwise left.
ComplaintOutcome applyComplaint(const QString &mailbox, const QByteArray &uidl, const QList<BounceEvent> &events,
                                const QString &date);

struct AddressUnsubscribeOutcome {
    bool alreadyDone = false;
    int slept = 0;    // members set to Sleep now
    int already = 0;  // members that matched and were asleep already
};
// An unsubscribe request that carries no token, from the member's own address: every
// member with that address that received an issue of its magazine which mailedByBatch
// (given the body as members read it) says went to hidden recipients, in a magazine
// that sends to hidden recipients (UseUserName not 1), gets Sleep = 1 (never deleted: the
// sender cannot be proven). The id is marked done when some member matched, otherwise left.
AddressUnsubscribeOutcome applyAddressUnsubscribe(const QString &mailbox, const QByteArray &uidl,
                                                  const QString &address,
                                                  const std::function<bool(const QString &body)> &mailedByBatch);

enum class UnsubscribeOutcome { AlreadyDone, Slept, Removed, NoMember };
// The member of an accepted token gets Sleep = 1, or is deleted (with its bounce counts,
// its open delivery rows settled) when its magazine's unsubscribe action says so; the id is marked done in the same
// transaction. NoMember when there is no such member any more (an earlier request removed
// it): the id is marked done all the same, as the request has nothing left to do.
UnsubscribeOutcome applyUnsubscribe(const QString &mailbox, const QByteArray &uidl, int magIdx, int userIdx);

} // namespace MemberBounces

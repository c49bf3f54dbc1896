#include "store/MemberBounces.h"

#include "store/PreparedStatement.h"
#include "store/Database.h"
#include "store/DepartedMembers.h"
#include "store/InboxSeen.h"
#include "store/MagazineMailSettings.h"
#include "store/Sql.h"

#include <QHash>

#include <algorithm>

namespace {

bool alreadyDone(const QString &mailbox, const QByteArray &uidl)
{
    PreparedStatement s(QStringLiteral("select State from InboxSeen where Mailbox = ? and Uidl = ?"));
    return s.scalar({mailbox, QString::fromLatin1(uidl)}) == qint64(InboxSeen::State::Done);
}

// The local part as written, the domain without case (RFC 5321 section 2.4).
bool sameAddress(const QString &a, const QString &b)
{
    const qsizetype at = a.lastIndexOf(u'@');
    const qsizetype bt = b.lastIndexOf(u'@');
    if (at < 0 || bt < 0)
        return a == b;
    return QStringView(a).left(at) == QStringView(b).left(bt)
           && QStringView(a).mid(at).compare(QStringView(b).mid(bt), Qt::CaseInsensitive) == 0;
}

struct MemberKey {
    int magIdx;
    int userIdx;
    bool sleep;
};

QList<MemberKey> membersWith(const QString &address)
{
    QList<MemberKey> out;
    PreparedStatement s(
        QStringLiteral("select MagIdx, UserIdx, Sleep, UserAdrs from MagUser where UserAdrs = ? collate nocase"));
    s.run({address.trimmed()});
    while (s.next())
        if (sameAddress(s.value(3).toString().trimmed(), address.trimmed()))
            out += {int(s.value(0).toLongLong()), int(s.value(1).toLongLong()), s.value(2).toLongLong() != 0};
    s.finish();
    return out;
}

// The members an event may touch, read before anything is written.
QList<MemberKey> membersFor(const BounceEvent &e)
{
    QList<MemberKey> out;
    if (e.magIdx > 0 && e.userIdx > 0) {
        PreparedStatement s(QStringLiteral("select Sleep from MagUser where MagIdx = ? and UserIdx = ?"));
        s.run({e.magIdx, e.userIdx});
        if (s.next())
            out += {e.magIdx, e.userIdx, s.value(0).toLongLong() != 0};
        s.finish();
        return out;
    }
    for (const MemberKey &m : membersWith(e.address))
        if (e.magIdx <= 0 || m.magIdx == e.magIdx)
            out += m;
    if (e.mailedSince.isEmpty())
        return out;
    // The magazine's issues of the period first (a few), then the member's row of each.
    PreparedStatement mailed(QStringLiteral(
        "select count(*) from MagInfo I where I.MagIdx = ? and I.AddDate >= ? and exists"
        " (select 1 from MagHist H where H.MagIdx = I.MagIdx and H.MagCnt = I.MagCnt and H.MagUser = ?)"));
    out.removeIf([&](const MemberKey &m) { return mailed.scalar({m.magIdx, e.mailedSince, m.userIdx}) == 0; });
    return out;
}

MemberBounce fromRow(const PreparedStatement &s)
{
    MemberBounce b;
    b.magIdx = int(s.value(0).toLongLong());
    b.userIdx = int(s.value(1).toLongLong());
    b.bounces = int(s.value(2).toLongLong());
    b.hardBounces = int(s.value(3).toLongLong());
    b.lastReason = s.value(4).toString();
    b.lastDate = s.value(5).toString();
    b.complaints = int(s.value(6).toLongLong());
    return b;
}

} // namespace

namespace MemberBounces {

std::optional<MemberBounce> load(int magIdx, int userIdx)
{
    PreparedStatement s(QStringLiteral("select MagIdx, UserIdx, Bounces, HardBounces, LastReason, LastDate,"
                                       " Complaints from MemberBounce where MagIdx = ? and UserIdx = ?"));
    s.run({magIdx, userIdx});
    std::optional<MemberBounce> out;
    if (s.next())
        out = fromRow(s);
    s.finish();
    return out;
}

QList<MemberBounce> forMagazine(int magIdx)
{
    PreparedStatement s(QStringLiteral("select MagIdx, UserIdx, Bounces, HardBounces, LastReason, LastDate,"
                                       " Complaints from MemberBounce where MagIdx = ? order by UserIdx"));
    s.run({magIdx});
    QList<MemberBounce> out;
    while (s.next())
        out += fromRow(s);
    s.finish();
    return out;
}

BounceOutcome applyBounce(const QString &mailbox, const QByteArray &uidl, const QList<BounceEvent> &events,
                          const QString &date)
{
    BounceOutcome outcome;
    Transaction t;
    if (alreadyDone(mailbox, uidl)) {
        outcome.alreadyDone = true;
        return outcome;
    }
    PreparedStatement add(QStringLiteral(
        "insert into MemberBounce (MagIdx, UserIdx, Bounces, HardBounces, LastReason, LastDate) values (?, ?, 1, ?, ?, ?)"
        " on conflict (MagIdx, UserIdx) do update set Bounces = Bounces + 1,"
        " HardBounces = HardBounces + excluded.HardBounces, LastReason = excluded.LastReason,"
        " LastDate = excluded.LastDate"));
    PreparedStatement hard(QStringLiteral("select HardBounces from MemberBounce where MagIdx = ? and UserIdx = ?"));
    PreparedStatement sleep(QStringLiteral("update MagUser set Sleep = 1 where MagIdx = ? and UserIdx = ?"));
    QHash<int, int> limits;
    // One report may name an address twice; a member counts once per message.
    QList<std::pair<int, int>> counted;
    for (const BounceEvent &e : events) {
        for (const MemberKey &m : membersFor(e)) {
            const std::pair<int, int> key{m.magIdx, m.userIdx};
            if (counted.contains(key))
                continue;
            counted += key;
            add.run({m.magIdx, m.userIdx, e.hard ? 1 : 0, TextValue(e.reason), TextValue(date)});
            ++outcome.counted;
            if (e.hard)
                ++outcome.hard;
            if (!e.hard || m.sleep)
                continue;
            if (!limits.contains(m.magIdx))
                limits.insert(m.magIdx, MagazineMailSettings::load(m.magIdx).bounceLimit);
            const int limit = limits.value(m.magIdx);
            if (limit > 0 && hard.scalar({m.magIdx, m.userIdx}) >= limit) {
                sleep.run({m.magIdx, m.userIdx});
                ++outcome.suspended;
            }
        }
    }
    if (outcome.counted > 0)
        InboxSeen::mark(mailbox, uidl, InboxSeen::State::Done);
    t.commit();
    return outcome;
}

ComplaintOutcome applyComplaint(const QString &mailbox, const QByteArray &uidl, const QList<BounceEvent> &events,
                                const QString &date)
{
    ComplaintOutcome outcome;
    Transaction t;
    if (alreadyDone(mailbox, uidl)) {
        outcome.alreadyDone = true;
        return outcome;
    }
    QList<MemberKey> members;
    for (BounceEvent e : events) {
        e.mailedSince.clear();
        for (const MemberKey &m : membersFor(e))
            if (!std::any_of(members.cbegin(), members.cend(),
                             [&](const MemberKey &k) { return k.magIdx == m.magIdx && k.userIdx == m.userIdx; }))
                members += m;
    }
    PreparedStatement add(QStringLiteral(
        "insert into MemberBounce (MagIdx, UserIdx, Complaints, LastReason, LastDate) values (?, ?, 1, ?, ?)"
        " on conflict (MagIdx, UserIdx) do update set Complaints = Complaints + 1,"
        " LastReason = excluded.LastReason, LastDate = excluded.LastDate"));
    PreparedStatement sleep(QStringLiteral("update MagUser set Sleep = 1 where MagIdx = ? and UserIdx = ?"));
    const QString reason = events.isEmpty() ? QString() : events.first().reason;
    for (const MemberKey &m : std::as_const(members)) {
        add.run({m.magIdx, m.userIdx, TextValue(reason), TextValue(date)});
        ++outcome.counted;
        if (!m.sleep) {
            sleep.run({m.magIdx, m.userIdx});
            ++outcome.suspended;
        }
    }
    if (outcome.counted > 0)
        InboxSeen::mark(mailbox, uidl, InboxSeen::State::Done);
    t.commit();
    return outcome;
}

AddressUnsubscribeOutcome applyAddressUnsubscribe(const QString &mailbox, const QByteArray &uidl,
                                                  const QString &address,
                                                  const std::function<bool(const QString &body)> &mailedByBatch)
{
    AddressUnsubscribeOutcome outcome;
    Transaction t;
    if (alreadyDone(mailbox, uidl)) {
        outcome.alreadyDone = true;
        return outcome;
    }
    // Newest first: a reader answers the mail in front of them.
    PreparedStatement issues(QStringLiteral(
        "select I.Body from MagInfo I join Magzine M on M.MagIdx = I.MagIdx"
        " where I.MagIdx = ? and coalesce(M.UseUserName, 0) <> 1 and exists"
        " (select 1 from MagHist H where H.MagIdx = I.MagIdx and H.MagCnt = I.MagCnt and H.MagUser = ?)"
        " order by I.MagCnt desc"));
    QList<MemberKey> matched;
    for (const MemberKey &m : membersWith(address)) {
        issues.run({m.magIdx, m.userIdx});
        bool batch = false;
        while (!batch && issues.next())
            batch = mailedByBatch(Sql::unescapeBody(issues.value(0).toString()));
        issues.finish();
        if (batch)
            matched += m;
    }
    PreparedStatement sleep(QStringLiteral("update MagUser set Sleep = 1 where MagIdx = ? and UserIdx = ?"));
    for (const MemberKey &m : std::as_const(matched)) {
        if (m.sleep) {
            ++outcome.already;
            continue;
        }
        sleep.run({m.magIdx, m.userIdx});
        ++outcome.slept;
    }
    if (!matched.isEmpty())
        InboxSeen::mark(mailbox, uidl, InboxSeen::State::Done);
    t.commit();
    return outcome;
}

UnsubscribeOutcome applyUnsubscribe(const QString &mailbox, const QByteArray &uidl, int magIdx, int userIdx)
{
    Transaction t;
    if (alreadyDone(mailbox, uidl))
        return UnsubscribeOutcome::AlreadyDone;
    PreparedStatement exists(QStringLiteral("select count(*) from MagUser where MagIdx = ? and UserIdx = ?"));
    UnsubscribeOutcome outcome = UnsubscribeOutcome::NoMember;
    if (exists.scalar({magIdx, userIdx}) > 0) {
        if (MagazineMailSettings::load(magIdx).unsubscribeAction == MagazineMailSettings::UnsubscribeAction::Delete) {
            // As the member list deletes a member: its row goes, its history stays.
            PreparedStatement remove(QStringLiteral("delete from MagUser where MagIdx = ? and UserIdx = ?"));
            remove.run({magIdx, userIdx});
            PreparedStatement counts(QStringLiteral("delete from MemberBounce where MagIdx = ? and UserIdx = ?"));
            counts.run({magIdx, userIdx});
            DepartedMembers(magIdx).settle(userIdx);
            outcome = UnsubscribeOutcome::Removed;
        } else {
            PreparedStatement sleep(QStringLiteral("update MagUser set Sleep = 1 where MagIdx = ? and UserIdx = ?"));
            sleep.run({magIdx, userIdx});
            outcome = UnsubscribeOutcome::Slept;
        }
    }
    InboxSeen::mark(mailbox, uidl, InboxSeen::State::Done);
    t.commit();
    return outcome;
}

} // namespace MemberBounces

#include "store/MemberSql.h"

#include "store/PreparedStatement.h"
#include "store/Database.h"
#include "store/DepartedMembers.h"
#include "store/MemberNumbers.h"
#include "store/RowCursor.h"

#include <algorithm>
#include <limits>
#include <vector>

namespace {

// A date the member dialog writes: NULL stays NULL.
QVariant dateValue(const std::optional<QString> &d)
{
    return d ? TextValue(*d) : QVariant();
}

// The member columns after the statement's first `first` ones, in this order.
const QString kMemberColumns = QStringLiteral("UserName,UserAdrs,url,Sleep,Flg1,Flg2,Flg3,Count1,Count2,"
                                              "UserDate1,UserDate2,AddDate");

// A member as read from kMemberColumns starting at column `first`.
MemberRecord memberFrom(const PreparedStatement &s, int first)
{
    const auto integer = [&s, first](int column) { return s.value(first + column).toLongLong(); };
    const auto date = [&s, first](int column) {
        const QVariant v = s.value(first + column);
        return v.isNull() ? std::nullopt : std::optional<QString>(v.toString());
    };
    MemberRecord m;
    m.name = s.value(first).toString();
    m.address = s.value(first + 1).toString();
    m.url = s.value(first + 2).toString();
    m.sleep = integer(3) != 0;
    m.flags = {integer(4) != 0, integer(5) != 0, integer(6) != 0};
    m.counts = {integer(7), integer(8)};
    m.date1 = date(9);
    m.date2 = date(10);
    m.addDate = s.value(first + 11).toString();
    return m;
}

} // namespace

namespace MemberSql {

std::unique_ptr<RowCursor> rows(int magIdx)
{
    auto rows = std::make_unique<RowCursor>(QStringLiteral("select * from maguser where magidx = ?"));
    rows->bind(0, magIdx);
    return rows;
}

void forEachExchangeRow(int magIdx, const std::function<void(const ExchangeRow &)> &each)
{
    PreparedStatement s(QStringLiteral("select UserName,UserAdrs,url,Flg1,Flg2,Flg3,Count1,Count2,UserDate1,UserDate2,"
                                       "AddDate from MagUser where MagIdx = ?"));
    s.run({magIdx});
    ExchangeRow row;
    while (s.next()) {
        for (int i = 0; i < int(row.size()); ++i)
            row[size_t(i)] = s.value(i);
        each(row);
    }
}

qint64 countAddress(int magIdx, const QString &address)
{
    PreparedStatement s(QStringLiteral("select count(*) from MagUser where UserAdrs = ? and MagIdx = ?"));
    s.run({TextValue(address), magIdx});
    return s.next() ? s.value(0).toLongLong() : 0;
}

qint64 maxUserIdx(int magIdx)
{
    PreparedStatement s(QStringLiteral("select max(UserIdx) from MagUser where MagIdx = ?"));
    return s.scalar({magIdx});
}

void insert(const MemberRecord &m)
{
    PreparedStatement s(QStringLiteral("insert into MagUser (MagIdx,UserIdx,UserName,UserAdrs,url,Sleep,flg1,flg2,"
                                       "flg3,Count1,Count2,UserDate1,UserDate2,AddDate)"
                                       " values(?,?,?,?,?,?,?,?,?,?,?,?,?,?)"));
    s.run({m.magIdx, m.userIdx, TextValue(m.name), TextValue(m.address), TextValue(m.url), FlagValue(m.sleep),
            FlagValue(m.flags[0]), FlagValue(m.flags[1]), FlagValue(m.flags[2]), m.counts[0], m.counts[1], dateValue(m.date1),
            dateValue(m.date2), TextValue(m.addDate)});
}

int insertNew(const MemberRecord &m)
{
    Transaction t;
    MemberRecord row = m;
    row.userIdx = int(MemberNumbers::next(m.magIdx, maxUserIdx(m.magIdx)));
    insert(row);
    MemberNumbers::raise(m.magIdx, row.userIdx);
    t.commit();
    return row.userIdx;
}

QVariantList columnValues(const MemberRecord &m)
{
    const QVariant userIdx = m.userIdx == -1 ? QVariant(std::numeric_limits<qint64>::max()) : QVariant(m.userIdx);
    return {m.magIdx, userIdx, TextValue(m.name), TextValue(m.address), TextValue(m.url), FlagValue(m.flags[0]),
            FlagValue(m.flags[1]), FlagValue(m.flags[2]), FlagValue(m.sleep), m.counts[0], m.counts[1],
            dateValue(m.date1), dateValue(m.date2), TextValue(m.addDate)};
}

void update(const MemberRecord &m)
{
    PreparedStatement s(QStringLiteral("update MagUser set UserName = ?, UserAdrs = ?, url = ?, Sleep = ?,"
                                       " flg1 = ?, flg2 = ?, flg3 = ?, Count1 = ?, Count2 = ?,"
                                       " UserDate1 = ?, UserDate2 = ? where MagIdx = ? and UserIdx = ?"));
    s.run({TextValue(m.name), TextValue(m.address), TextValue(m.url), FlagValue(m.sleep), FlagValue(m.flags[0]),
            FlagValue(m.flags[1]), FlagValue(m.flags[2]), m.counts[0], m.counts[1], dateValue(m.date1), dateValue(m.date2),
            m.magIdx, m.userIdx});
}

namespace {

// Members per step: each step is one delete per table, short enough that the progress moves
// several times a second.
constexpr int kMembersPerStep = 5000;

} // namespace

QString chosenTable()
{
    return QStringLiteral("create temp table if not exists ChosenMember (UserIdx integer primary key)");
}

QStringList removeStatements()
{
    return {
        QStringLiteral("delete from MagUser where MagIdx = ? and UserIdx in (select UserIdx from temp.ChosenMember)"),
        QStringLiteral("delete from MemberBounce where MagIdx = ? and UserIdx in (select UserIdx from temp.ChosenMember)"),
    };
}

void remove(int magIdx, QList<int> userIdxs, const std::function<void(qint64 done, qint64 total)> &progress)
{
    // In index order, so that each step's rows lie together in the table and its indexes.
    std::sort(userIdxs.begin(), userIdxs.end());
    userIdxs.erase(std::unique(userIdxs.begin(), userIdxs.end()), userIdxs.end());
    // The working table is this connection's own and outlives a refused deletion.
    Statement().exec(chosenTable());
    Transaction t;
    Statement().exec(QStringLiteral("delete from temp.ChosenMember"));
    PreparedStatement choose(QStringLiteral("insert into temp.ChosenMember (UserIdx) values (?)"));
    std::vector<std::unique_ptr<PreparedStatement>> deletes;
    for (const QString &sql : removeStatements())
        deletes.push_back(std::make_unique<PreparedStatement>(sql));
    DepartedMembers departed(magIdx);
    const qint64 total = userIdxs.size();
    if (progress)
        progress(0, total);
    for (qsizetype first = 0; first < total; first += kMembersPerStep) {
        const qsizetype end = qMin<qsizetype>(total, first + kMembersPerStep);
        for (qsizetype i = first; i < end; ++i)
            choose.run({userIdxs[i]});
        for (const auto &d : deletes)
            d->run({magIdx});
        for (qsizetype i = first; i < end; ++i)
            departed.settle(userIdxs[i]);
        Statement().exec(QStringLiteral("delete from temp.ChosenMember"));
        if (progress)
            progress(end, total);
    }
    t.commit();
}

void setSleep(int magIdx, const QList<SleepChange> &changes)
{
    Transaction t;
    PreparedStatement s(QStringLiteral("update MagUser set Sleep = ? where MagIdx = ? and UserIdx = ?"));
    for (const SleepChange &c : changes)
        s.run({FlagValue(c.sleep), magIdx, c.userIdx});
    t.commit();
}

qint64 count(int magIdx)
{
    PreparedStatement s(QStringLiteral("select count(*) from MagUser where MagIdx = ?"));
    return s.scalar({magIdx});
}

QStringList urls(int magIdx, QList<int> userIdxs)
{
    std::sort(userIdxs.begin(), userIdxs.end());
    userIdxs.erase(std::unique(userIdxs.begin(), userIdxs.end()), userIdxs.end());
    PreparedStatement s(QStringLiteral("select url from MagUser where MagIdx = ? and UserIdx = ?"));
    QStringList out;
    for (int userIdx : userIdxs) {
        s.run({magIdx, userIdx});
        if (s.next())
            out << s.value(0).toString();
        s.finish();
    }
    return out;
}

std::optional<MemberRecord> load(int magIdx, int userIdx)
{
    PreparedStatement s(QStringLiteral("select ") + kMemberColumns
                        + QStringLiteral(" from MagUser where MagIdx = ? and UserIdx = ?"));
    s.run({magIdx, userIdx});
    if (!s.next())
        return std::nullopt;
    MemberRecord m = memberFrom(s, 0);
    m.magIdx = magIdx;
    m.userIdx = userIdx;
    s.finish();
    return m;
}

void forEachMember(int magIdx, const std::function<void(const MemberRecord &)> &each)
{
    PreparedStatement s(QStringLiteral("select UserIdx,") + kMemberColumns
                        + QStringLiteral(" from MagUser where MagIdx = ?"));
    s.run({magIdx});
    while (s.next()) {
        MemberRecord m = memberFrom(s, 1);
        m.magIdx = magIdx;
        m.userIdx = int(s.value(0).toLongLong());
        each(m);
    }
}

} // namespace MemberSql

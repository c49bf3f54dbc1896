#include "store/MemberPages.h"

#include "store/PreparedStatement.h"
#include "store/Sql.h"

#include <limits>

namespace {

constexpr qint64 kBeforeAll = std::numeric_limits<qint64>::min();

// The next `count` members of the magazine after a key, in (UserIdx, rowid) order. Member
// numbers are not unique everywhere, so the row number breaks ties.
QString nextMembers()
{
    return QStringLiteral("select rowid from MagUser where MagIdx = ? and (UserIdx,rowid) > (?,?)"
                          " order by UserIdx,rowid limit ?");
}

} // namespace

TargetPages::TargetPages(const RecipientQuery &query, int magIdx)
    : m_query(query), m_magIdx(magIdx), m_lastIdx(kBeforeAll), m_lastRow(kBeforeAll)
{
}

void TargetPages::read(int members, QList<TargetLine> *out)
{
    if (m_atEnd)
        return;
    // The page is a block of the magazine's members, found through the magazine's index,
    // and the clause is tested on those rows alone: a clause that joins the recipient rows
    // would otherwise lead the planner to walk them by range for every member. NOT INDEXED
    // keeps the members read by their row numbers, not by the magazine again.
    RunSelection(m_query, ClauseBounds::checking(), [&] {
        PreparedStatement page(Sql::lines({
            QStringLiteral("select U.UserName,U.UserAdrs from MagUser U NOT INDEXED"),
            m_query.clause,
            QStringLiteral("and U.MagIdx = ?"),
            QStringLiteral("and U.rowid in (") + nextMembers() + QLatin1Char(')'),
            QStringLiteral("order by U.UserIdx,U.rowid"),
        }));
        page.bindFrom(0, m_query.values);
        const int n = int(m_query.values.size());
        page.bindFrom(n, {m_magIdx, m_magIdx, m_lastIdx, m_lastRow, members});
        page.exec();
        while (page.next())
            out->append({page.value(0).toString(), page.value(1).toString()});
        page.finish();
    });

    PreparedStatement last(QStringLiteral("select UserIdx,rowid from MagUser where MagIdx = ? and (UserIdx,rowid) > (?,?)"
                                          " order by UserIdx,rowid limit 2 offset ?"));
    // The block's last member, and whether any member follows it.
    last.run({m_magIdx, m_lastIdx, m_lastRow, members - 1});
    if (last.next()) {
        m_lastIdx = last.value(0).toLongLong();
        m_lastRow = last.value(1).toLongLong();
        m_atEnd = !last.next();
    } else {
        m_atEnd = true;
    }
    last.finish();
}

void IssueRecipientPages::read(int rows, QList<RecipientRecord> *out)
{
    if (m_atEnd)
        return;
    // Every recipient row comes back, joined or not, so the page knows where it ended even
    // when the members of its rows have all been deleted since.
    PreparedStatement s(Sql::lines({
        QStringLiteral("select H.MagUser,H.R,U.UserName,U.UserAdrs"),
        QStringLiteral("from (select MagUser,rowid as R from MagHist where MagIdx = ? and MagCnt = ?"),
        QStringLiteral("and (MagUser,rowid) > (?,?) order by MagUser,rowid limit ?) H"),
        QStringLiteral("left join MagUser U on U.MagIdx = ? and U.UserIdx = H.MagUser"),
        QStringLiteral("order by H.MagUser,H.R"),
    }));
    s.run({m_magIdx, m_magCnt, m_first ? kBeforeAll : m_lastUser, m_first ? kBeforeAll : m_lastRow, rows, m_magIdx});
    int read = 0;
    qint64 user = kBeforeAll, row = kBeforeAll;
    while (s.next()) {
        const qint64 u = s.value(0).toLongLong();
        const qint64 r = s.value(1).toLongLong();
        if (read == 0 || u != user || r != row)
            ++read;
        user = u;
        row = r;
        if (!s.value(3).isNull())
            out->append({s.value(2).toString(), s.value(3).toString()});
    }
    s.finish();
    if (read > 0) {
        m_first = false;
        m_lastUser = user;
        m_lastRow = row;
    }
    if (read < rows)
        m_atEnd = true;
}

namespace MemberPages {

bool hasSendStates(int magIdx, int magCnt)
{
    PreparedStatement s(QStringLiteral("select 1 from SendState where MagIdx = ? and MagCnt = ? limit 1"));
    s.run({magIdx, magCnt});
    const bool found = s.next();
    s.finish();
    return found;
}

std::optional<IssueInfoRecord> listedIssue(int magIdx, int magCnt)
{
    PreparedStatement s(Sql::lines({
        QStringLiteral("select I.AddDate,I.Title from MagInfo I where I.MagIdx = ? and I.MagCnt = ?"),
        QStringLiteral("and exists (select 1 from MagHist H,MagUser U where H.MagIdx = I.MagIdx and H.MagCnt = I.MagCnt"),
        QStringLiteral("and U.MagIdx = H.MagIdx and U.UserIdx = H.MagUser)"),
    }));
    s.run({magIdx, magCnt});
    std::optional<IssueInfoRecord> issue;
    if (s.next()) {
        issue.emplace();
        issue->MagCnt = magCnt;
        issue->AddDate = s.value(0).toString();
        issue->Title = s.value(1).toString();
    }
    s.finish();
    return issue;
}

} // namespace MemberPages

#include "store/HistoryRecords.h"

#include "store/PreparedStatement.h"
#include "store/Database.h"
#include "store/Sql.h"

namespace HistoryRecords {

QString listStatement()
{
    return Sql::lines({QStringLiteral("select MagCnt,AddDate,SendCnt,Condition,Title from MagInfo"),
                       QStringLiteral("where MagIdx = ?"), QStringLiteral("order by AddDate desc")});
}

QString issueStatement()
{
    return Sql::lines({QStringLiteral("select MagCnt,AddDate,SendCnt,Condition,Title,Body from MagInfo where MagIdx = ?"),
                       QStringLiteral("and MagCnt = ?")});
}

QString removedIssues()
{
    return QStringLiteral("select MagCnt from MagInfo where MagIdx = ? and AddDate <= ?");
}

QString removeIssuesStatement()
{
    return Sql::lines({
        QStringLiteral("delete from maginfo "),
        QStringLiteral("where magidx = ? and adddate <= ?"),
    });
}

QString countRowsStatement(const QString &table)
{
    // The issue numbers come first and the rows are then counted on the (MagIdx, MagCnt, ...)
    // index: a correlated look-up per row would read every recipient row of every issue.
    return Sql::lines({QStringLiteral("select count(*) from ") + table + QStringLiteral(" where MagIdx = ?"),
                       QStringLiteral("and MagCnt in (") + removedIssues() + QStringLiteral(")")});
}

QString removeRowsStatement(const QString &table)
{
    return Sql::lines({
        QStringLiteral("delete from ") + table + QStringLiteral(" where rowid in ("),
        QStringLiteral("select rowid from ") + table + QStringLiteral(" where MagIdx = ? and MagCnt = ? limit ?)"),
    });
}

} // namespace HistoryRecords

namespace {

IssueInfoRecord issueFrom(const PreparedStatement &s)
{
    IssueInfoRecord r;
    r.MagCnt = s.value(0).toInt();
    r.AddDate = s.value(1).toString();
    r.SendCnt = s.value(2).toInt();
    r.Condition = s.value(3).toString();
    r.Title = s.value(4).toString();
    return r;
}

} // namespace

QList<IssueInfoRecord> ListHistoryIssues(int magIdx)
{
    PreparedStatement s(HistoryRecords::listStatement());
    s.bind(0, magIdx);
    s.exec();
    QList<IssueInfoRecord> rows;
    while (s.next())
        rows << issueFrom(s);
    return rows;
}

std::optional<IssueInfoRecord> ReadHistoryIssue(int magIdx, int magCnt)
{
    PreparedStatement s(HistoryRecords::issueStatement());
    s.bind(0, magIdx);
    s.bind(1, magCnt);
    s.exec();
    if (!s.next())
        return std::nullopt;
    IssueInfoRecord r = issueFrom(s);
    r.Body = Sql::unescapeBody(s.value(5).toString());
    return r;
}

namespace {

// Rows per statement: small enough that the progress moves several times a second, large
// enough that the statements' own cost stays small beside the rows'.
constexpr int kRowsPerStep = 25000;

qint64 countRows(const QString &table, int magIdx, const QString &lastMoment)
{
    PreparedStatement s(HistoryRecords::countRowsStatement(table));
    return s.scalar({magIdx, magIdx, TextValue(lastMoment)});
}

} // namespace

void RemoveHistoryUpTo(int magIdx, const QString &lastMoment, const RemovalProgress &progress)
{
    Transaction t;
    // Issue by issue, a bounded number of rows at a time, each found on the index: the
    // cost follows the rows deleted, and the progress moves between the steps.
    QList<int> issues;
    {
        PreparedStatement s(HistoryRecords::removedIssues());
        s.run({magIdx, TextValue(lastMoment)});
        while (s.next())
            issues << s.value(0).toInt();
    }
    // The delivery records of the issues go with their recipient rows.
    const QStringList tables{QStringLiteral("MagHist"), QStringLiteral("SendState")};
    qint64 total = 0;
    for (const QString &table : tables)
        total += countRows(table, magIdx, lastMoment);
    qint64 done = 0;
    if (progress)
        progress(done, total);
    for (const QString &table : tables) {
        PreparedStatement remove(HistoryRecords::removeRowsStatement(table));
        for (int magCnt : issues) {
            for (;;) {
                remove.run({magIdx, magCnt, kRowsPerStep});
                const int removed = qMax(0, remove.rowsAffected());
                done += removed;
                if (progress)
                    progress(qMin(done, total), total);
                if (removed < kRowsPerStep)
                    break;
            }
        }
    }
    PreparedStatement(HistoryRecords::removeIssuesStatement()).run({magIdx, TextValue(lastMoment)});
    t.commit();
}

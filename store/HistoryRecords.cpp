#include "store/HistoryRecords.h"

#include "store/Batch.h"
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

QString recipientsStatement()
{
    return Sql::lines({QStringLiteral("select U.UserName,U.UserAdrs,I.AddDate,I.Title from MagHist H,MagUser U,MagInfo I"),
                       QStringLiteral("where H.MagIdx = ?"), QStringLiteral("and H.MagCnt = ?"),
                       QStringLiteral("and U.MagIdx = H.MagIdx and U.UserIdx = H.MagUser"),
                       QStringLiteral("and I.MagIdx = H.MagIdx and I.MagCnt = H.MagCnt")});
}

QStringList removeStatements()
{
    return {
        Sql::lines({
            QStringLiteral("delete from maghist H"),
            QStringLiteral("where exists ("),
            QStringLiteral("select magidx,magcnt from maginfo I where "),
            QStringLiteral("I.magidx = ? and I.adddate <= ?"),
            QStringLiteral("and H.MagIdx = I.MagIdx and H.MagCnt = I.MagCnt)"),
        }),
        Sql::lines({
            QStringLiteral("delete from maginfo "),
            QStringLiteral("where magidx = ? and adddate <= ?"),
        }),
    };
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

IssueRecipients ReadIssueRecipients(int magIdx, int magCnt)
{
    PreparedStatement s(HistoryRecords::recipientsStatement());
    s.bind(0, magIdx);
    s.bind(1, magCnt);
    s.exec();
    IssueRecipients out;
    bool first = true;
    while (s.next()) {
        if (first) {
            out.AddDate = s.value(2).toString();
            out.Title = s.value(3).toString();
            first = false;
        }
        out.members.append({s.value(0).toString(), s.value(1).toString()});
    }
    return out;
}

void RemoveHistoryUpTo(int magIdx, const QString &lastMoment)
{
    Transaction t;
    // The delivery records of the issues go with them, read while their issue rows are there.
    PreparedStatement states(Sql::lines({
        QStringLiteral("delete from SendState where MagIdx = ? and MagCnt in ("),
        QStringLiteral("select MagCnt from MagInfo where MagIdx = ? and AddDate <= ?)"),
    }));
    states.run({magIdx, magIdx, TextValue(lastMoment)});
    for (const QString &sql : HistoryRecords::removeStatements()) {
        PreparedStatement s(sql);
        s.bind(0, magIdx);
        s.bind(1, TextValue(lastMoment));
        s.exec();
    }
    t.commit();
}

#include "store/IssueRecords.h"

#include "store/PreparedStatement.h"
#include "store/Database.h"
#include "store/SendStates.h"
#include "store/Sql.h"

int InsertIssue(const IssueRow &row, const RecipientQuery &recipients)
{
    Transaction t;
    // Read inside the write lock, so that two writers can never take the same number.
    const int magCnt = int(Statement().scalar(QStringLiteral("select max(MagCnt) from MagInfo"))) + 1;
    PreparedStatement issue(QStringLiteral(
        "insert into MagInfo (MagIdx,MagCnt,AddDate,SendCnt,Condition,Title,Body,UpdateSQL) values(?,?,?,?,?,?,?,?)"));
    issue.run({row.MagIdx, magCnt, TextValue(row.AddDate), row.SendCnt, TextValue(row.Condition), TextValue(row.Title),
               TextValue(row.Body), TextValue(row.UpdateSQL)});
    PreparedStatement members(Sql::lines({
        QStringLiteral("insert into MagHist (MagIdx,MagCnt,MagUser)"),
        QStringLiteral("select ?, ?, U.UserIdx from MagUser U"),
        recipients.clause,
    }));
    members.bindFrom(0, {row.MagIdx, magCnt});
    members.bindFrom(2, recipients.values);
    RunSelection(recipients, ClauseBounds::recording(), [&] { members.exec(); });
    SendStates::seed(row.MagIdx, magCnt);
    t.commit();
    return magCnt;
}

QString TryMemberClause(const FreeClause &clause)
{
    if (!clause.ok())
        return clause.problem();
    try {
        ClauseBounds::run(ClauseBounds::checking(), [&] {
            PreparedStatement s(Sql::lines({QStringLiteral("select * from MagUser U where "),
                                            QStringLiteral("(") + clause.sql() + QStringLiteral(")")}));
            s.exec();
            s.finish();
        });
        return QString();
    } catch (const StoreError &e) {
        return e.text();
    }
}

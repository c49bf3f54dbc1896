#include "issue/UIssue.h"

#include "store/AfterSendUpdate.h"
#include "store/Database.h"
#include "store/IssueRecords.h"
#include "store/Sql.h"

QString BuildUpdateSql(const std::array<bool, 7> &checked, const QDate &today)
{
    return AfterSendUpdate::text(checked, today);
}

QString IssueDateText(const QDateTime &when)
{
    return when.toString(QStringLiteral("yyyy/MM/dd HH:mm:ss"));
}

QString IssueNotRecordedText()
{
    return QStringLiteral("発行を記録できなかったため、メールは送信していません。");
}

int CreateIssue(const IssueRecord &issue)
{
    try {
        IssueRow row;
        row.MagIdx = issue.magIdx;
        row.AddDate = IssueDateText(issue.created);
        row.SendCnt = issue.targetCount;
        row.Condition = issue.condition;
        row.Title = issue.title;
        row.Body = Sql::escapeBody(issue.body);
        row.UpdateSQL = issue.updateSql;
        return InsertIssue(row, issue.where);
    } catch (const StoreError &e) {
        // The guard has rolled both inserts back and the number stays unused. A locked,
        // read-only or full store must not look like a send that simply never starts.
        throw StoreError(IssueNotRecordedText() + QStringLiteral("\r\n") + e.text());
    }
}

int DispatchIssue(const IssueDraft &draft,
                  const std::function<void(int magIdx, int magCnt, int recipients)> &afterCreate)
{
    const SendConditionText cond = BuildSendCondition(draft.inputs);
    if (!cond.problem.isEmpty())
        throw StoreError(cond.problem);
    const int targets = CountTargets(cond.where);

    IssueRecord issue;
    issue.magIdx = draft.inputs.magIdx;
    issue.where = cond.where;
    issue.condition = cond.text;
    issue.targetCount = targets;
    issue.title = draft.title;
    issue.body = draft.body;
    issue.updateSql = BuildUpdateSql(draft.updates, draft.now.date());
    issue.created = draft.now;
    const int magCnt = CreateIssue(issue);
    if (magCnt == 0)
        return 0;
    if (afterCreate)
        afterCreate(issue.magIdx, magCnt, targets);
    return magCnt;
}

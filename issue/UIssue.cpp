#include "issue/UIssue.h"

#include "issue/UCondition.h"
#include "store/Database.h"
#include "store/IssueRecords.h"
#include "store/Sql.h"

QString BuildUpdateSql(const std::array<bool, 7> &checked, const QDate &today)
{
    const QString day = QLatin1Char('"') + today.toString(QStringLiteral("yyyyMMdd")) + QLatin1Char('"');
    const QString pieces[7] = {
        QStringLiteral("flg1 = 1"),
        QStringLiteral("flg2 = 1"),
        QStringLiteral("flg3 = 1"),
        QStringLiteral("Count1 = Count1 + 1"),
        QStringLiteral("Count2 = Count2 + 1"),
        QStringLiteral("UserDate1 = ") + day,
        QStringLiteral("UserDate2 = ") + day,
    };
    QString out;
    for (size_t i = 0; i < 7; ++i) {
        if (!checked[i])
            continue;
        out += (out.isEmpty() ? QStringLiteral("set ") : QStringLiteral(",")) + pieces[i];
    }
    return out;
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
        throw StoreError(Condition::wrongText() + QStringLiteral("\r\n") + cond.problem);
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

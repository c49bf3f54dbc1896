#include "issue/UHistory.h"

#include "store/HistoryRecords.h"

namespace History {

QString conditionOnOneLine(const QString &condition)
{
    QString out = condition;
    out.replace(QLatin1String("\r\n"), QLatin1String(" "));
    // text typed on this system breaks lines with LF alone
    out.replace(QLatin1Char('\n'), QLatin1Char(' '));
    out.replace(QLatin1Char('\r'), QLatin1Char(' '));
    return out;
}

QList<Row> load(int magIdx)
{
    QList<Row> rows;
    for (const IssueInfoRecord &issue : ListHistoryIssues(magIdx)) {
        Row r;
        r.title = issue.Title;
        r.magCnt = issue.MagCnt;
        r.addDate = issue.AddDate;
        r.sendCnt = issue.SendCnt;
        r.condition = conditionOnOneLine(issue.Condition);
        rows << r;
    }
    return rows;
}

std::optional<PastIssue> readIssue(int magIdx, int magCnt)
{
    const std::optional<IssueInfoRecord> issue = ReadHistoryIssue(magIdx, magCnt);
    if (!issue)
        return std::nullopt;
    return PastIssue{issue->Title, issue->Body};
}

QString lastMomentOf(const QDate &day)
{
    return day.toString(QStringLiteral("yyyy/MM/dd")) + QStringLiteral(" 23:59:59");
}

QString deleteQuestion(const QDate &day)
{
    return day.toString(QStringLiteral("yyyy/MM/dd")) + QStringLiteral("以前の履歴データを削除します。よろしいですか？");
}

void deleteUpTo(int magIdx, const QDate &day, const std::function<void(qint64 done, qint64 total)> &progress)
{
    RemoveHistoryUpTo(magIdx, lastMomentOf(day), progress);
}

} // namespace History

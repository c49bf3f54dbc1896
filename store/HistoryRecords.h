#pragma once
// The issues a magazine has sent, as the history reads them: the list, one issue, the
// members an issue was sent to, and the deletion of everything up to a moment. Values are
// bound; every failure throws StoreError with the engine's text.
#include <QList>
#include <QString>
#include <QStringList>

#include <functional>
#include <optional>

// One MagInfo row as the history shows it.
struct IssueInfoRecord {
    int MagCnt = 0;
    QString AddDate; // yyyy/mm/dd hh:nn:ss as stored
    int SendCnt = 0;
    QString Condition; // as stored, line breaks kept
    QString Title;
    QString Body; // with the stored escapes reversed; only read by ReadHistoryIssue
};

struct RecipientRecord {
    QString UserName;
    QString UserAdrs;
};

namespace HistoryRecords {

// The statements, with `?` for the magazine, the issue number and the last moment.
QString listStatement();
QString issueStatement();
// The numbers of the magazine's issues up to the last moment.
QString removedIssues();
// The rows of table (MagHist or SendState) of those issues: `?` magazine, then removedIssues's.
QString countRowsStatement(const QString &table);
// At most `?` rows of table of one issue: magazine, issue number, limit.
QString removeRowsStatement(const QString &table);
// The issues up to the last moment.
QString removeIssuesStatement();

} // namespace HistoryRecords

// The magazine's issues, newest first.
QList<IssueInfoRecord> ListHistoryIssues(int magIdx);
// One issue of the magazine, or nullopt when the magazine has no issue of that number.
std::optional<IssueInfoRecord> ReadHistoryIssue(int magIdx, int magCnt);
// Called with the rows removed so far and the rows to remove in all.
using RemovalProgress = std::function<void(qint64 done, qint64 total)>;

// Deletes the recipient and delivery rows of the magazine's issues dated up to lastMoment
// (compared as stored text, "yyyy/mm/dd hh:nn:ss"), then those issues, in one transaction:
// a failure leaves the history as it was. progress is called between the steps.
void RemoveHistoryUpTo(int magIdx, const QString &lastMoment, const RemovalProgress &progress = {});

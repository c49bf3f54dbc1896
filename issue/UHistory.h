#pragma once
// The issues a magazine has sent, as the history page uses them: the list, one issue's
// subject and body as composed, and the deletion of everything up to a day, over the
// store's history records (store/HistoryRecords.h). The recipients are listed by THistDlg.
#include <QDate>
#include <QList>
#include <QString>

#include <functional>
#include <optional>

namespace History {

// One issue as the history list shows it.
struct Row {
    QString title;
    int magCnt = 0;
    QString addDate; // yyyy/mm/dd hh:nn:ss as stored
    int sendCnt = 0;
    QString condition; // on one line
};

// The magazine's issues, newest first.
QList<Row> load(int magIdx);
// A stored condition of several lines, each line break replaced by one space.
QString conditionOnOneLine(const QString &condition);

struct PastIssue {
    QString title;
    QString body; // with the stored escapes reversed
};
std::optional<PastIssue> readIssue(int magIdx, int magCnt);

// The last moment of a day as issue dates are written: "yyyy/mm/dd 23:59:59".
QString lastMomentOf(const QDate &day);
// "yyyy/mm/dd以前の履歴データを削除します。よろしいですか？"
QString deleteQuestion(const QDate &day);
// Deletes the recipient rows of the magazine's issues up to the end of the day, then the
// issues, in one transaction: a failure leaves the history as it was. progress is called
// between the steps with the rows done and the rows in all.
void deleteUpTo(int magIdx, const QDate &day, const std::function<void(qint64 done, qint64 total)> &progress = {});

} // namespace History

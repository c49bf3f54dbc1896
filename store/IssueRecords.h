#pragma once
// What recording an issue writes: the issue row and its recipient rows. Values are bound;
// the selection clause is statement text by nature and must come from the send conditions
// (a free condition only after its check has read it).
// Every failure throws StoreError with the engine's text.
#include <QString>

// One MagInfo row as stored (the body with its escapes already applied).
struct IssueRow {
    int MagIdx = -1;
    QString AddDate;
    int SendCnt = 0;
    QString Condition;
    QString Title;
    QString Body;
    QString UpdateSQL;
};

// Writes the issue with the next issue number and a recipient row for every member the
// clause selects ("where ..." over "from MagUser U"), in one transaction; returns the number.
int InsertIssue(const IssueRow &row, const QString &recipientClause);

// Opens "select * from MagUser U where (clause)" the way a send uses the clause, reading no
// row; returns the engine's complaint, or "" when it runs.
QString TryMemberClause(const QString &clause);

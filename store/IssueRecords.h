#pragma once
// What recording an issue writes: the issue row and its recipient rows. Values are bound;
// the members come from a selection the send conditions made (store/RecipientQuery.h).
// Every failure throws StoreError with the engine's text.
#include "store/FreeClause.h"
#include "store/RecipientQuery.h"

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
// selection reaches, in one transaction; returns the number.
int InsertIssue(const IssueRow &row, const RecipientQuery &recipients);

// Opens "select * from MagUser U where (clause)" the way a send uses the clause, reading no
// row; returns the engine's complaint, or "" when it runs. A refused clause returns its
// problem without running.
QString TryMemberClause(const FreeClause &clause);

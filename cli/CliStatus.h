#pragma once
// What "status" prints: every issue with per-recipient records, its state and counts, and
// its deferred, failed and unknown recipients with their last replies.
#include "store/SendStates.h"

#include <QByteArray>
#include <QList>

struct IssueStatus {
    IssueStateRow issue;
    QList<SendStateRow> recipients;  // deferred, failed, unknown
};

// Reads the issues of every magazine, newest first. Throws StoreError.
QList<IssueStatus> ReadIssueStatus();

// {"issues":[{"magazine","MagIdx","issue","title","date","state","counts":{...},
//  "recipients":[{"address","name","state","attempts","nextTry","reply"}]}]}
QByteArray StatusJson(const QList<IssueStatus> &issues);
// The same for people, one issue per block.
QByteArray StatusText(const QList<IssueStatus> &issues);

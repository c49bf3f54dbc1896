#pragma once
// Recording an issue: the after-send update text, the issue row and its recipient rows in
// one transaction, and the dispatch that counts, records and hands over to the delivery.
#include "issue/USendCondition.h"

#include <QDateTime>
#include <QString>

#include <array>
#include <functional>

// The set-clause applied to the recipients after a completed delivery, from the seven
// after-send check boxes (flags ON, counters plus one, dates to today); "" when none.
// Written by store/AfterSendUpdate.h, the one place that also reads it back.
QString BuildUpdateSql(const std::array<bool, 7> &checked, const QDate &today);

// The issue date as stored: yyyy/mm/dd hh:nn:ss on the 24-hour clock.
QString IssueDateText(const QDateTime &when);

struct IssueRecord {
    int magIdx = -1;
    RecipientQuery where; // the members it reaches
    QString condition;    // condition text
    int targetCount = 0;
    QString title;
    QString body;         // as composed; escaped here for storage
    QString updateSql;
    QDateTime created;
};

// Writes the issue and its recipient rows in one transaction and returns the new issue
// number. When the store refuses (locked, read-only, full) nothing is left behind and
// StoreError is thrown: IssueNotRecordedText() on the first line, the store's reason after.
int CreateIssue(const IssueRecord &issue);
QString IssueNotRecordedText();

// Everything one send needs, as plain values.
struct IssueDraft {
    SendInputs inputs;
    QString title;
    QString body;
    std::array<bool, 7> updates{};
    QDateTime now;
};

// Counts the targets and records the issue; afterCreate runs once the issue is committed
// (reload the members, start the delivery for its recipients). Returns the new issue
// number. Count and record failures throw StoreError (nothing written, afterCreate not
// run); a free condition that would leave its parentheses throws before anything is
// counted.
int DispatchIssue(const IssueDraft &draft,
                  const std::function<void(int magIdx, int magCnt, int recipients)> &afterCreate);

#pragma once
// Send conditions: the fourteen choices of the send page turned into the condition text
// the user sees and the selection of members (store/RecipientQuery.h).
#include "store/RecipientQuery.h"

#include <QDate>
#include <QString>
#include <QStringList>

#include <array>

namespace SendCondition {

// Items of RadioGroup3, in order.
enum Kind {
    All = 0,
    AddedSince,
    AddedBefore,
    FlagOn,
    FlagOff,
    SentIssue,
    NotSentIssue,
    CountAtLeast,
    CountAtMost,
    CountEquals,
    DateSince,
    DateBefore,
    DateOn,
    Custom,
    KindCount
};

QStringList Items();

// Which of the magazine's fields RadioGroup1 offers for a condition.
enum class FieldKind { None, Flag, Counter, Date };
FieldKind fieldKind(int condition);
// True for the conditions that cannot go on without an item of RadioGroup1.
bool needsField(int condition);

} // namespace SendCondition

// The send page's inputs as plain values.
struct SendInputs {
    int condition = SendCondition::All;
    int magIdx = -1;                     // CurMagIdx
    int fieldItem = -1;                  // item of RadioGroup1, -1 when none
    QDate date;                          // DateTimePicker1
    bool wholeDate = true;               // RadioButton1 (年月日) rather than RadioButton2 (月日)
    int value = 0;                       // NumberSpin1
    std::array<QString, 7> fieldNames;   // MagFieldNames
    QString customSql;                   // CustomCondSql
    QString customText;                  // CustomCondText
};

struct SendConditionText {
    QString text;    // shown, stored with the issue, listed in the history
    RecipientQuery where; // follows "from maguser U", values bound
    // Why the inputs give no selection (a free condition that cannot be read plainly, a
    // field the condition needs but has not got), as the warning shows it. The clause then
    // selects nobody; a send must stop on it before counting.
    QString problem{};
};

SendConditionText BuildSendCondition(const SendInputs &in);

// What stops a send before anything is counted; the page shows it and moves the focus.
struct SendCheck {
    enum class Focus { None, Subject, Body, FieldGroup, ConditionEditor };
    bool ok = true;
    QString message;
    Focus focus = Focus::None;
};

struct SendCheckInputs {
    QString smtpHost;
    int magIdx = -1;
    bool withText = false;
    QString subject;
    QString body;
    int condition = 0;
    int fieldItem = -1;
    QString customSql;
};

SendCheck CheckSendSettings(const SendCheckInputs &in);

#pragma once
// The free condition: written with the magazine's own field names, translated to a clause
// over MagUser U by text replacement, and test-run before it is accepted.
#include <QDate>
#include <QString>
#include <QStringList>

#include <array>

namespace Condition {

// The message every refused condition starts with.
QString wrongText();

// A free condition as it goes into a statement. It is read once, with the tokenizer that
// reads every statement (store/SqlTokens.h); the check looks at those tokens and the text
// that runs is made from the same tokens, so what passes is exactly what the engine gets.
struct FreeClause {
    QString sql;     // the clause to place in parentheses; empty when refused
    QString problem; // why it is refused ("" when fine), to follow wrongText()
};

// The clause must read plainly and stay one expression inside the parentheses the send
// condition puts around it: every quote closed; no name in brackets or backticks, comment,
// ";", parameter mark or control character (the engine would read those differently or cut
// the statement short); no ")" that would close the parentheses early.
FreeClause ReadFreeClause(const QString &clause);

// ReadFreeClause(clause).problem.
QString StructureProblem(const QString &clause);

} // namespace Condition

// Names are flag 1..3, counter 1..2, date 1..2 (MagFieldNames).
QString TranslateToSql(const QString &text, const std::array<QString, 7> &names);
QString TranslateToDisplay(const QString &error, const std::array<QString, 7> &names);

// Test-runs a clause ("select * from MagUser U where" + clause). An empty clause passes.
// On failure *message is the full warning text in the user's terms.
bool CheckCondition(const QString &clause, const std::array<QString, 7> &names, QString *message);

// The piece "項目挿入" inserts. kind of the field follows from its position; op and value
// are the texts chosen in ComboBox2 and ComboBox3 (value item for dates), today the day.
QString ConditionPiece(int field, const std::array<QString, 7> &names, const QString &op, int valueItem,
                       const QString &valueText, const QDate &today);

// Operators and values offered for a field (ComboBox2, ComboBox3).
QStringList ConditionOperators(int field);
QStringList ConditionValues(int field);

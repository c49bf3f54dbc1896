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

// Why the free condition cannot go into a statement ("" when it can): the problem its one
// gate (FreeClause::read in store/FreeClause.h) finds.
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

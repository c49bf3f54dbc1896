#pragma once
// Building statement text: the one place where values are quoted.
#include <QString>
#include <QStringView>
#include <QStringList>

namespace Sql {

// A text value as a single-quoted literal with inner single quotes doubled.
QString q(const QString &value);
// The same quoted text appended to out, for the millions of values of a backup.
void appendQuoted(QString &out, QStringView value);

// A text value as a double-quoted literal. Inner double quotes are doubled so that a
// value holding one cannot end the literal early; the dialect translation reads "" as ".
QString dq(const QString &value);

// "?,?,?": one parameter mark per value, for a values list or an "in (...)".
QString marks(qsizetype count);

// Statements are lists of lines joined with CR LF; the line break separates words.
QString lines(const QStringList &parts);

// Stored mail bodies: "'" becomes "\~", then a double quote becomes "\^".
QString escapeBody(const QString &body);
// The reverse, in the same order: "\~" to "'", then "\^" to a double quote.
QString unescapeBody(const QString &stored);

} // namespace Sql

#pragma once
// The statements of this program are written in the desktop engine's dialect. This one
// step turns them into what SQLite understands, before any statement reaches the store.
#include <QString>

namespace SqlDialect {

// The text is read by SqlTokens, and only its tokens change:
// - a double-quoted text literal becomes a single-quoted one (a doubled "" inside it
//   stands for one "), so a value is never read as a column name; an unterminated literal
//   is left unterminated for the engine to refuse;
// - "delete from T X" and "update T X set" get AS before the alias;
// - "insert into T select a as A, b as B from ..." names its target columns (A, B),
//   since SQLite matches an insert-select by position, not by result-column name.
QString translate(const QString &statement);

} // namespace SqlDialect

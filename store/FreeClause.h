#pragma once
// The user's free condition on its way into a statement. It is statement text by nature,
// so it has one gate: read() reads it once with the tokenizer that reads every statement
// (store/SqlTokens.h), refuses what would not stay one plain expression inside the
// parentheses it is placed in, and keeps the text rendered from those same tokens. The
// statements that select members take a FreeClause, never a string, so no other text can
// reach them by this path.
#include <QString>

class FreeClause
{
public:
    // The clause must read plainly and stay one expression inside parentheses: every
    // quote closed; no name in brackets or backticks, comment, ";", parameter mark or
    // control character (the engine would read those differently or cut the statement
    // short); no ")" that would close the parentheses early.
    static FreeClause read(const QString &clause);

    bool ok() const { return m_problem.isEmpty(); }
    // Why it is refused ("" when fine), to follow the message every refused condition
    // starts with.
    QString problem() const { return m_problem; }
    // The clause to place in parentheses; empty when refused.
    QString sql() const { return m_sql; }

private:
    FreeClause(const QString &sql, const QString &problem) : m_sql(sql), m_problem(problem) {}

    QString m_sql;
    QString m_problem;
};

#pragma once
// A statement on the engine's own interface, for the few steps that move millions of rows
// (the backup and its restore): values are bound and read without a QVariant for each, and
// the statement is prepared once and run again for every row. It runs on this thread's
// connection, inside whatever transaction that connection holds. Failures throw StoreError
// with the engine's text.
#include <QString>
#include <QStringView>

struct sqlite3;
struct sqlite3_stmt;

class EngineStatement
{
public:
    explicit EngineStatement(const QString &sql);
    ~EngineStatement();
    EngineStatement(const EngineStatement &) = delete;
    EngineStatement &operator=(const EngineStatement &) = delete;

    // For a query: true with a row to read, false after the last one.
    bool next();
    // For a statement without rows: runs it with the values bound, then makes it ready for
    // the next values.
    void run();

    void bindNull(int column);
    void bindInteger(int column, qint64 value);
    void bindReal(int column, double value);
    // The text must stay unchanged until run() returns.
    void bindText(int column, QStringView text);
    // A copy of the text is bound.
    void bindTextCopy(int column, const QString &text);

    int columnCount() const;
    QString columnName(int column) const;
    enum class Kind { Null, Integer, Real, Text, Bytes };
    Kind kind(int column) const;
    qint64 integer(int column) const;
    double real(int column) const;
    // Valid until the next row; for Kind::Bytes, the bytes read as UTF-8.
    QStringView text(int column) const;

private:
    [[noreturn]] void fail() const;
    // One step, the first waiting its turn (store/WriteTurn.h); the engine's code of a
    // failure, 0 with *rc the step's row or end.
    int step(int *rc);

    sqlite3 *m_db = nullptr;
    sqlite3_stmt *m_statement = nullptr;
};

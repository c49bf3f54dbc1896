#pragma once
// What the commands that read or write many rows share: a statement prepared once and run with
// its values bound (so no text read from a file becomes part of a statement), and
// transactions that group many single-row statements.
#include <QSqlQuery>
#include <QString>
#include <QVariant>
#include <QElapsedTimer>

#include <functional>
#include <initializer_list>
#include <memory>

class Transaction;

class PreparedStatement
{
public:
    // The text goes through the dialect translation like every statement; failures throw
    // StoreError with the engine's text.
    explicit PreparedStatement(const QString &sql);
    void bind(int index, const QVariant &value) { m_query.bindValue(index, value); }
    void exec();
    // Binds the values in order from mark `first` on.
    void bindFrom(int first, const QVariantList &values);
    // Binds the values in order from the first mark, then runs the statement.
    void run(std::initializer_list<QVariant> values);
    // run(), then the first column of the first row as an integer; 0 for no row or NULL.
    qint64 scalar(std::initializer_list<QVariant> values);
    // After exec() of a query: the next row, and a value of it.
    // A step that fails throws StoreError rather than reading as the end of the rows.
    bool next();
    QVariant value(int column) const { return m_query.value(column); }
    void finish() { m_query.finish(); }
    int rowsAffected() const { return m_query.numRowsAffected(); }

private:
    QSqlQuery m_query;
};

// Commits every few thousand rows or few hundred milliseconds: one commit per row costs
// ten times the work, and a short group keeps the write lock brief for a delivery that
// finishes meanwhile. A statement that fails undoes only itself, so commit() after a
// failure keeps what the rows before it did.
class TransactionGroups
{
public:
    TransactionGroups();
    ~TransactionGroups();
    // Call before each row's statements: begins a group when none is open, and then
    // returns true.
    bool beginRow();
    // Call after each row: commits when the group is full.
    void endRow();
    // Commits what is open.
    void commit();
    // True while a group is open: its rows are not committed yet.
    bool isOpen() const { return m_group != nullptr; }
    // Called inside each group just before it commits, for writes that must go with the
    // group's rows.
    void setBeforeCommit(std::function<void()> beforeCommit) { m_beforeCommit = std::move(beforeCommit); }

private:
    std::unique_ptr<Transaction> m_group;
    std::function<void()> m_beforeCommit;
    int m_rows = 0;
    QElapsedTimer m_clock;
};

// An empty text as an empty value, never as NULL.
QVariant TextValue(const QString &text);
// A flag column's value: 1 or 0.
QVariant FlagValue(bool on);

#pragma once
// The store: one SQLite file, one connection per thread, statements in the program's own
// dialect (translated on the way in), and a transaction guard.
#include <QSqlDatabase>
#include <QSqlError>
#include <QSqlQuery>
#include <QString>
#include <QVariant>

#include <stdexcept>

struct sqlite3;

// How failures travel in this program, layer by layer:
// - The store throws StoreError (this type, and nothing else) for any statement or value it
//   refuses; it is caught at the boundary of a command: Command::run in the windows, the
//   command table's one store guard on the command line, the delivery worker's run.
// - Sockets, files and other devices return bool and leave a message (QString *failure,
//   errorString()): their failures are expected, and a caller decides what to tell.
// - Long jobs (import, export, removal by list, backup, restore, inbox, delivery) return an
//   outcome record saying what was done, where they stopped and why; they never throw past it.
//
// A statement that failed; what() and text() carry the engine's own message, code() the
// engine's result code when it gave one (0 otherwise).
class StoreError : public std::runtime_error
{
public:
    explicit StoreError(const QString &text, int code = 0)
        : std::runtime_error(text.toStdString()), m_text(text), m_code(code)
    {
    }
    static StoreError of(const QSqlError &e) { return StoreError(e.text(), e.nativeErrorCode().toInt()); }
    QString text() const { return m_text; }
    int code() const { return m_code; }

private:
    QString m_text;
    int m_code = 0;
};

namespace Store {

// Opens the store file for this process. A missing file is created with the five tables;
// an existing file that is not this program's store is left untouched and false returned.
bool open(const QString &path, QString *error = nullptr);
bool isOpen();
QString path();

// How long a write waits for its turn while other connections write.
constexpr int kBusyMillis = 15000;

// This thread's connection, opened on first use with the same file and settings.
QSqlDatabase connection();
// The engine's own handle of a connection; throws StoreError when it has none.
sqlite3 *handle(const QSqlDatabase &db);
// A statement to prepare, in the engine's dialect; a text this thread has prepared before
// is not translated again.
QString preparedText(const QString &sql);
// Runs a prepared query, waiting its turn while the store is busy (store/WriteTurn.h);
// failures throw StoreError.
void run(QSqlQuery &query);
// Closes this thread's connection; worker threads call it when they end.
void releaseThreadConnection();
// Closes this thread's connection and forgets the file (shutdown).
void close();

// While one lives, the commits on this thread's connection wait until they are on the disk
// (the store otherwise keeps its commits in the system's cache, safe from a crash of the
// process but not from a power cut). Not inside a transaction.
class SyncedCommits
{
public:
    SyncedCommits();
    ~SyncedCommits();
    SyncedCommits(const SyncedCommits &) = delete;
    SyncedCommits &operator=(const SyncedCommits &) = delete;
};

// Commits made by this process so far, and how many of them waited for the disk.
struct CommitCounts {
    qint64 commits = 0;
    qint64 synced = 0;
};
CommitCounts commitCounts();

} // namespace Store

// A statement object on this thread's connection. Failures throw StoreError.
class Statement
{
public:
    Statement();
    explicit Statement(const QSqlDatabase &db);

    // Runs a statement that returns no rows; returns the number of rows it changed.
    int exec(const QString &sql);
    // Opens a query; step through it with next().
    void open(const QString &sql);
    bool next();
    void close();

    int fieldCount() const;
    bool isNull(int column) const;
    bool isNull(const QString &name) const;
    QVariant value(int column) const;
    QVariant value(const QString &name) const;
    // NULL text reads as "", NULL integer as 0.
    QString text(int column) const;
    QString text(const QString &name) const;
    qint64 integer(int column) const;
    qint64 integer(const QString &name) const;

    // Convenience: the first column of the first row as an integer (0 when none or NULL).
    qint64 scalar(const QString &sql);

    QSqlQuery &query() { return m_query; }

private:
    QSqlQuery m_query;
};

// Begins a transaction on this thread's connection; rolls back unless commit() was called.
class Transaction
{
public:
    Transaction();
    explicit Transaction(const QSqlDatabase &db);
    ~Transaction();
    Transaction(const Transaction &) = delete;
    Transaction &operator=(const Transaction &) = delete;

    void commit();
    void rollback();

private:
    QSqlDatabase m_db;
    bool m_active = false;
};

#pragma once
// The backup's format: a script of statements that empties each of the five tables (and our
// own delivery records and settings after them) and inserts its rows again, many rows to
// a statement, the column list written once for them:
//   delete from Magzine;
//   insert into Magzine (MagIdx,MagName,...) values(1,'name',...),(2,'other',...);
// NULL as NULL, text single-quoted with inner single quotes doubled (line breaks kept),
// integers as digits; every statement ends with ";". Backups of older builds hold one row
// to a statement, which is the same form with a single row. Restoring reads the script
// back through one gate: only these two forms run, and their values are bound, so no text
// from the file ever becomes part of a statement.
#include "store/EngineStatement.h"
#include "store/Database.h"

#include <QHash>
#include <QSet>
#include <QString>
#include <QVariant>

#include <functional>
#include <map>
#include <memory>

// The longest statement, in characters, that a backup writes and a restore accepts. A
// row as the backup writes it is its values with every single quote doubled, so this
// bounds the text a row may hold to back it up; 32 Mi characters is far beyond any real
// row: the largest values are issue bodies, and a mail body of that size could not be
// delivered through a mail server. A restore refuses a longer statement as soon as it is
// read that far, without buffering the rest of the file, and a backup of a store holding
// such a row fails rather than write a file no restore accepts.
constexpr qsizetype kLongestBackupStatement = qsizetype(32) * 1024 * 1024;

// A statement of several rows ends before it grows past either of these, so a restore
// holds little of the file at a time and an editor shows its lines; a single row longer
// than that is a statement of its own.
constexpr qsizetype kBackupStatementTarget = 256 * 1024;
constexpr int kBackupRowsPerStatement = 1000;

namespace BackupScript {

// The length of the statement a backup writes for this one row of the table (one of the
// five or of our carried ones, values in the table's column order): its column list and its
// values as the backup spells them. A row whose statement is longer than
// kLongestBackupStatement cannot be backed up, so the paths that bring values in refuse it.
qsizetype rowStatementLength(const QString &table, const QVariantList &values);
inline bool fitsBackup(const QString &table, const QVariantList &values)
{
    return rowStatementLength(table, values) <= kLongestBackupStatement;
}

// How far the work is: done out of total (rows for a backup, bytes of the file for a
// restore; total 0 when unknown). Returning false stops it.
using Progress = std::function<bool(qint64 done, qint64 total)>;

// Calls statement with each statement of the script in turn, without a line end, and
// progress after each. Returns false when progress stopped it. Throws StoreError when the
// store cannot be read or a row is longer than a restore accepts; whatever statement
// throws passes through.
bool write(const std::function<void(const QString &statement)> &statement, const Progress &progress = {});

// The gate: true when the text is "delete from" one of the five tables or of our own
// carried ones, or "insert into" one of them with a column list of its own columns and
// one or more rows, each of as many plain values (NULL, a number or a single-quoted text),
// ending with ";" and nothing but blanks after it.
bool isStatement(const QString &text);

// What a restore did to the delivery records it read, to say when it ends. A backup taken
// while a delivery ran holds its rows as they stood; no delivery runs them after a restore.
struct RestoreSettlement {
    int interrupted = 0; // "sending": the mail may have gone out; now unknown
    int reserved = 0;    // reserved for the next mails: waiting again (deferred with a next try)
    int departed = 0;    // open rows of members no longer in the magazine: skipped
    int dropped = 0;     // refused: a state out of range, no such issue, or a member that is
                         // neither in the magazine nor among the recipients
    bool any() const { return interrupted + reserved + departed + dropped > 0; }
};

// Runs the statements of a script in one transaction: the store ends with exactly what
// they wrote, or, unless commit() is reached, as it was.
class Restore
{
public:
    // Begins the transaction; throws StoreError.
    Restore();
    ~Restore();
    Restore(const Restore &) = delete;
    Restore &operator=(const Restore &) = delete;

    // Runs the text when it passes the gate, with its values bound; returns false, running
    // nothing, when it does not. Throws StoreError when the store refuses it.
    bool run(const QString &text);
    // Settles the delivery records the script wrote (RestoreSettlement), keeps every member
    // number the store or the backup ever gave from being given again, and commits.
    RestoreSettlement commit();

private:
    Transaction m_transaction; // first, so that it ends after the statements
    std::map<QString, std::unique_ptr<EngineStatement>> m_statements; // by table and columns
    QSet<QString> m_emptied;  // tables, lower case, the script emptied
    QHash<int, qint64> m_memberNumbers; // each magazine's mark before the script ran
};

} // namespace BackupScript

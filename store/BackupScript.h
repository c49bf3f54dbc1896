#pragma once
// The backup's format: a script of statements that empties each of the five tables (and our
// own delivery records and settings after them) and inserts its rows again:
//   delete from Magzine;
//   insert into Magzine (MagIdx,MagName,...) values(1,'name',...);
// NULL as NULL, text single-quoted with inner single quotes doubled (line breaks kept),
// integers as digits; every statement ends with ";". Restoring reads the script back
// through one gate: only these two forms run, and their values are bound, so no text
// from the file ever becomes part of a statement.
#include "store/Batch.h"
#include "store/Database.h"

#include <QSet>
#include <QString>

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

namespace BackupScript {

// Calls statement with each statement of the script in turn, without a line end. Throws
// StoreError when the store cannot be read or a row is longer than a restore accepts;
// whatever statement throws passes through.
void write(const std::function<void(const QString &statement)> &statement);

// The gate: true when the text is "delete from" one of the five tables or of our own
// carried ones, or "insert into" one of them with a column list of its own columns and as many plain values (NULL, a
// number or a single-quoted text), ending with ";" and nothing but blanks after it.
bool isStatement(const QString &text);

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
    void commit();

private:
    Transaction m_transaction; // first, so that it ends after the statements
    std::map<QString, std::unique_ptr<PreparedStatement>> m_statements; // by table and columns
    QSet<QString> m_emptied;  // tables, lower case, the script emptied
};

} // namespace BackupScript

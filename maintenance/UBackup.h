#pragma once
// Backup of the whole store as a script of statements, and its restore.
//
// The script empties each of the five tables and inserts its rows again:
//   delete from Magzine;
//   insert into Magzine (MagIdx,MagName,...) values(1,'name',...);
// NULL as NULL, text single-quoted with inner single quotes doubled (line breaks kept),
// integers as digits; every statement ends with ";" as the last character of its last line.
#include <QString>

class QFileDevice;
class TextLineReader;

struct BackupOutcome {
    bool ok = false;
    bool utf8 = false; // some text has no code in CP932: the file was written as UTF-8
    QString error;
};

// Writes the script in code page 932 with CR LF line ends. When a text holds a character
// that CP932 cannot write, the whole file is written as UTF-8 with a byte-order mark
// instead (the restore reads both), so the backup still restores every row exactly.
BackupOutcome WriteBackup(QFileDevice &file);

struct RestoreOutcome {
    bool ok = false;
    int statements = 0;
    QString buffer; // on failure: the statement text being executed or refused
    QString error;  // on failure: why (the engine's text, or that the form is not a backup's)
};

// Executes a backup script in one transaction: afterwards the store holds exactly the
// backup's rows, or, on any failure, what it held before. A statement ends at a ";" that
// is the last character of its line and lies outside quoted text, so a value whose line
// ends with ";" stays whole. Only the backup's own statements run: "delete from" one of
// the five tables, and "insert into" one of them with a column list and plain values.
// Anything else, and a last statement left without its ";", refuses the whole file.
RestoreOutcome RestoreBackup(TextLineReader &lines);

// The check the restore makes on each statement, for tests: true when the text is one of
// the backup's own statements.
bool IsBackupStatement(const QString &statement);

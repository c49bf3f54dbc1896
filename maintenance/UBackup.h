#pragma once
// Backup of the whole store as a script of statements (its format is in
// store/BackupScript.h) in a file, and its restore from a file. Every statement ends with
// ";" as the last character of its last line.
#include "store/BackupScript.h"

#include <QString>

class QSaveFile;
class TextLineReader;

struct BackupOutcome {
    bool ok = false;
    bool utf8 = false;      // some text has no code in CP932: the file was written as UTF-8
    bool cancelled = false; // progress stopped it; the old file stays
    QString error;
};

// Writes the script in code page 932 with CR LF line ends into file (opened for writing)
// and commits it. When a text holds a character without a CP932 code, the whole file is
// written as UTF-8 with a byte-order mark instead (the restore reads both), so the backup
// still restores every row. The file named by the save file is replaced only when every
// row was read and written: a read error of the store, a write error or a row too long to
// restore leaves it as it was, and the outcome is no success. Progress is told the rows
// written out of all; when it returns false the backup stops and the file stays as well.
BackupOutcome WriteBackup(QSaveFile &file, const BackupScript::Progress &progress = {});

struct RestoreOutcome {
    bool ok = false;
    bool cancelled = false; // progress stopped it; the store is as it was
    int statements = 0;
    QString buffer; // on failure: the statement text being executed or refused
    QString error;  // on failure: why (the engine's text, or that the form is not a backup's)
    BackupScript::RestoreSettlement settlement; // on success: what became of the delivery records
};

// The lines a finished restore adds about the delivery records it settled or dropped
// (RestoreSettlement), CR LF between them; empty when it had nothing to say.
QString RestoreSettlementText(const BackupScript::RestoreSettlement &settled);

// Executes a backup script in one transaction: afterwards the store holds exactly the
// backup's rows, or, on any failure, what it held before. A statement ends at a ";" that
// is the last character of its line and lies outside quoted text, so a value whose line
// ends with ";" stays whole. Only the backup's own statements run: "delete from" one of
// the five tables, and "insert into" one of them with a column list and plain values.
// Anything else, a last statement left without its ";", and a statement longer than
// kLongestBackupStatement refuse the whole file. Progress is told the bytes read out of
// the file's size; when it returns false the restore stops, and the store stays as it was.
RestoreOutcome RestoreBackup(TextLineReader &lines, const BackupScript::Progress &progress = {});

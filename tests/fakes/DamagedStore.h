#pragma once
// A store file with a damaged page, for proving that a read error is reported as an error
// and never taken for the end of the rows.
#include <QString>

// Overwrites one leaf page of the MagUser table in the store file with 0xFF bytes.
// The store must be closed (and checkpointed: no -wal content) first. Returns false if
// the table has no leaf page to damage (too few rows).
//
// The leaf is one in the middle of the table, reached from the table's root through the
// middle child pointer at each level, so rows before and after it stay readable. Give the
// table a few thousand members so that its root is an interior page.
bool DamageMemberTable(const QString &storePath);

#pragma once
// The log ("-wal") and index ("-shm") files that SQLite keeps beside the store.
//
// SQLite gives them the store file's permissions when it makes them. After a run on a store
// that was read-only they stay read-only when the store is made writable again, and an index
// opened read-only keeps every later connection read-only. Before this process opens its first
// connection, and only when no other process has the store open, they are mended: the index is
// rebuilt by SQLite from the log when it is missing, so it may go; the log holds committed
// changes, so it is kept, content and all, and only made writable.
#include <QString>

namespace WalLeftovers {

// Makes leftover read-only log and index files of the store at `storePath` usable again.
// Does nothing when the store file itself is read-only, when there is nothing to mend, or when
// another process has the store open. Returns true when something was mended.
bool repair(const QString &storePath);

// True when some process holds SQLite's locks on the index file (it has the store open), or
// when that cannot be told.
bool inUse(const QString &shmPath);

} // namespace WalLeftovers

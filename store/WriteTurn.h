#pragma once
// Every write waits its turn. Several processes write to the store at once; the engine's busy
// wait (Store::kBusyMillis, or a handler of the thread's own) covers most of the waiting, but
// some refusals come back at once without it (a connection whose snapshot another writer has
// just overtaken, another process recovering the journal). Those are tried again here with a
// short back-off for as long as the store's busy time lasts, and only then is the engine's
// refusal passed on.
//
// A read left open on the connection is what makes a write's snapshot stale for good; no
// waiting gets past it. With TSUBAME_STRICT_READS=1 in the environment (the tests set it) a
// write that starts while a read is still open on its connection fails at once, naming the
// read, so that such a fault shows wherever it is, not only when another process happens to
// write at that moment.
#include <functional>

struct sqlite3;
struct sqlite3_stmt;

namespace WriteTurn {

// Runs attempt, which returns the engine's result code (0 for done), until it succeeds, fails
// other than by a refusal given at once, or the busy time is over; returns the last code.
// Only a step that holds no transaction is tried again: inside one, a refusal undoes what the
// transaction needs, and a read of this connection still open (other than self) cannot end
// while the attempt waits.
int run(sqlite3 *db, sqlite3_stmt *self, const std::function<int()> &attempt);

// Whether a statement is about to write outside a transaction, the case the strict check
// looks at besides the beginning of a transaction.
bool writesAlone(sqlite3 *db, sqlite3_stmt *statement);

// In strict runs: throws StoreError naming a statement of this connection, other than self,
// that still holds a read.
void checkNoOpenRead(sqlite3 *db, sqlite3_stmt *self);

// Whether strict runs are asked for.
bool strict();

} // namespace WriteTurn

#include "store/WriteTurn.h"

#include "store/Database.h"

#include <QElapsedTimer>
#include <QThread>

#include <sqlite3.h>

namespace {

// Long enough not to spin against a writer that holds the store for a while, short enough
// that a turn freed a moment later is taken at once.
constexpr int kLongestPause = 50;

// The refusals the engine gives without its busy wait: a snapshot another writer has
// overtaken, and another connection rebuilding the journal's index. A plain busy refusal
// comes after the connection's own busy handler gave up (its time is over, or it was told
// to stop), and is passed on as it is.
bool refusedAtOnce(int code)
{
    return code == SQLITE_BUSY_SNAPSHOT || code == SQLITE_BUSY_RECOVERY;
}

sqlite3_stmt *openRead(sqlite3 *db, sqlite3_stmt *self)
{
    for (sqlite3_stmt *s = sqlite3_next_stmt(db, nullptr); s; s = sqlite3_next_stmt(db, s))
        if (s != self && sqlite3_stmt_busy(s))
            return s;
    return nullptr;
}

} // namespace

namespace WriteTurn {

int run(sqlite3 *db, sqlite3_stmt *self, const std::function<int()> &attempt)
{
    QElapsedTimer clock;
    clock.start();
    int rc = attempt();
    int pause = 1;
    // Each attempt may still wait in the busy handler for a lock; the back-off only spaces the
    // attempts the engine refuses at once.
    while (refusedAtOnce(rc) && sqlite3_get_autocommit(db) && !openRead(db, self)
           && clock.elapsed() + pause < Store::kBusyMillis) {
        QThread::msleep(ulong(pause));
        pause = qMin(pause * 2, kLongestPause);
        rc = attempt();
    }
    return rc;
}

bool writesAlone(sqlite3 *db, sqlite3_stmt *statement)
{
    return statement && sqlite3_get_autocommit(db) && !sqlite3_stmt_readonly(statement);
}

void checkNoOpenRead(sqlite3 *db, sqlite3_stmt *self)
{
    if (!strict())
        return;
    if (sqlite3_stmt *s = openRead(db, self))
        throw StoreError(QStringLiteral("読み取りが開いたまま書き込もうとしました: ") + QString::fromUtf8(sqlite3_sql(s)));
}

bool strict()
{
    // Read each time, so that a test can turn it off for a step that proves the engine's own
    // refusal.
    return qEnvironmentVariableIntValue("TSUBAME_STRICT_READS") == 1;
}

} // namespace WriteTurn

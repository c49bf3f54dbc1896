#pragma once
// A user's free condition runs within bounds: a few seconds of the engine's work, a bound on
// the temporary files it may fill (store/TempStorage.h) and on the size of any one value it
// makes. A condition that passes its gate can still be a recursive WITH that never ends or a
// randomblob of a gigabyte; past a bound the statement is stopped and the failure carries a
// message in the user's terms. The connection's own settings come back when the bounds end,
// so that the other work of the thread is not held to them.
#include "store/Database.h"

#include <QElapsedTimer>
#include <QString>

#include <memory>

namespace TempStorage {
class Budget;
}

struct ClauseLimits {
    qint64 millis;
    qint64 tempBytes;
    qint64 valueBytes;
};

class ClauseBounds
{
public:
    // For the test run, the counts and the lists of a condition: what the window waits for.
    static ClauseLimits checking();
    // For recording an issue, whose statement also writes a row for every recipient.
    static ClauseLimits recording();

    // On this thread's connection.
    explicit ClauseBounds(const ClauseLimits &limits);
    ~ClauseBounds();
    ClauseBounds(const ClauseBounds &) = delete;
    ClauseBounds &operator=(const ClauseBounds &) = delete;

    // The failure as the user should read it: the bound that stopped the statement, or the
    // engine's own words when no bound did.
    StoreError explain(const StoreError &e) const;

    // Runs work within the bounds; a StoreError it throws comes out explained.
    template <typename Work>
    static auto run(const ClauseLimits &limits, Work &&work)
    {
        ClauseBounds bounds(limits);
        try {
            return work();
        } catch (const StoreError &e) {
            throw bounds.explain(e);
        }
    }

private:
    static int progress(void *self);

    ClauseLimits m_limits;
    sqlite3 *m_db;
    std::unique_ptr<TempStorage::Budget> m_budget;
    QElapsedTimer m_clock;
    bool m_late = false;
    int m_oldLength = 0;
    int m_oldWorkers = 0;
};

#include "store/ClauseBounds.h"

#include "store/TempStorage.h"

#include <sqlite3.h>

namespace {

constexpr qint64 kMegabyte = 1024 * 1024;

// How many of the engine's steps between two looks at the clock: a look costs far less than
// the steps, and a second holds millions of them.
constexpr int kStepsBetweenLooks = 1000;

} // namespace

ClauseLimits ClauseBounds::checking()
{
    return {5000, 256 * kMegabyte, 128 * kMegabyte};
}

ClauseLimits ClauseBounds::recording()
{
    return {60000, 256 * kMegabyte, 128 * kMegabyte};
}

ClauseBounds::ClauseBounds(const ClauseLimits &limits)
    : m_limits(limits), m_db(Store::handle(Store::connection())),
      m_budget(std::make_unique<TempStorage::Budget>(limits.tempBytes))
{
    // A value longer than the longest member row the store accepts is never a member's.
    m_oldLength = sqlite3_limit(m_db, SQLITE_LIMIT_LENGTH, int(qMin<qint64>(limits.valueBytes, 0x7fffffff)));
    // Helper threads of a sort would open their files where the budget does not reach.
    m_oldWorkers = sqlite3_limit(m_db, SQLITE_LIMIT_WORKER_THREADS, 0);
    m_clock.start();
    sqlite3_progress_handler(m_db, kStepsBetweenLooks, &ClauseBounds::progress, this);
}

ClauseBounds::~ClauseBounds()
{
    sqlite3_progress_handler(m_db, 0, nullptr, nullptr);
    sqlite3_limit(m_db, SQLITE_LIMIT_WORKER_THREADS, m_oldWorkers);
    sqlite3_limit(m_db, SQLITE_LIMIT_LENGTH, m_oldLength);
}

int ClauseBounds::progress(void *self)
{
    auto *bounds = static_cast<ClauseBounds *>(self);
    if (bounds->m_clock.elapsed() > bounds->m_limits.millis)
        bounds->m_late = true;
    return bounds->m_late || bounds->m_budget->exceeded() ? 1 : 0;
}

StoreError ClauseBounds::explain(const StoreError &e) const
{
    const QString review = QStringLiteral("条件を見直してください。");
    if (m_budget->exceeded())
        return StoreError(QStringLiteral("条件式の処理に使う一時領域が %1 MB を超えたため、中止しました。")
                                  .arg(m_limits.tempBytes / kMegabyte)
                              + review,
                          e.code());
    if (m_late)
        return StoreError(
            QStringLiteral("条件式の処理が %1 秒を超えたため、中止しました。").arg(m_limits.millis / 1000) + review,
            e.code());
    if ((e.code() & 0xff) == SQLITE_TOOBIG)
        return StoreError(QStringLiteral("条件式が %1 MB を超える値を作ろうとしたため、中止しました。")
                                  .arg(m_limits.valueBytes / kMegabyte)
                              + review,
                          e.code());
    return e;
}

#include "store/TempStorage.h"

#include <sqlite3.h>

#include <algorithm>
#include <atomic>
#include <mutex>

struct TempStorage::Budget::State {
    explicit State(qint64 bytes) : limit(bytes) {}
    const qint64 limit;
    std::atomic<qint64> used{0};
    std::atomic<bool> exceeded{false};
    // the Budget and each file opened under it; the last to go deletes it
    std::atomic<int> holders{1};
};

namespace {

using State = TempStorage::Budget::State;

thread_local State *t_budget = nullptr;

void release(State *state)
{
    if (state->holders.fetch_sub(1) == 1)
        delete state;
}

constexpr int kTemporary =
    SQLITE_OPEN_TEMP_DB | SQLITE_OPEN_TEMP_JOURNAL | SQLITE_OPEN_TRANSIENT_DB | SQLITE_OPEN_SUBJOURNAL;

sqlite3_vfs *g_system = nullptr;
sqlite3_vfs g_layer;

// A counted file: the system's file follows this header in the space the engine gives. Files
// that are not counted are the system's own, opened straight into that space.
struct CountedFile {
    sqlite3_file base;
    sqlite3_file *real;
    State *budget;
    sqlite3_int64 extent; // the highest byte written, as charged to the budget
};

constexpr int kRealOffset = int((sizeof(CountedFile) + 15) & ~size_t(15));

CountedFile *counted(sqlite3_file *f)
{
    return reinterpret_cast<CountedFile *>(f);
}

sqlite3_file *real(sqlite3_file *f)
{
    return counted(f)->real;
}

void charge(CountedFile *c, sqlite3_int64 extent)
{
    c->budget->used += extent - c->extent;
    c->extent = extent;
}

int fileClose(sqlite3_file *f)
{
    CountedFile *c = counted(f);
    const int rc = c->real->pMethods ? c->real->pMethods->xClose(c->real) : SQLITE_OK;
    charge(c, 0);
    release(c->budget);
    return rc;
}

int fileRead(sqlite3_file *f, void *out, int amount, sqlite3_int64 offset)
{
    return real(f)->pMethods->xRead(real(f), out, amount, offset);
}

int fileWrite(sqlite3_file *f, const void *data, int amount, sqlite3_int64 offset)
{
    CountedFile *c = counted(f);
    const sqlite3_int64 end = offset + amount;
    if (end > c->extent) {
        if (c->budget->used + (end - c->extent) > c->budget->limit) {
            c->budget->exceeded = true;
            return SQLITE_FULL;
        }
        charge(c, end);
    }
    return c->real->pMethods->xWrite(c->real, data, amount, offset);
}

int fileTruncate(sqlite3_file *f, sqlite3_int64 size)
{
    CountedFile *c = counted(f);
    const int rc = c->real->pMethods->xTruncate(c->real, size);
    if (rc == SQLITE_OK && size < c->extent)
        charge(c, size);
    return rc;
}

int fileSync(sqlite3_file *f, int flags)
{
    return real(f)->pMethods->xSync(real(f), flags);
}

int fileSize(sqlite3_file *f, sqlite3_int64 *size)
{
    return real(f)->pMethods->xFileSize(real(f), size);
}

int fileLock(sqlite3_file *f, int level)
{
    return real(f)->pMethods->xLock(real(f), level);
}

int fileUnlock(sqlite3_file *f, int level)
{
    return real(f)->pMethods->xUnlock(real(f), level);
}

int fileReserved(sqlite3_file *f, int *out)
{
    return real(f)->pMethods->xCheckReservedLock(real(f), out);
}

int fileControl(sqlite3_file *f, int op, void *arg)
{
    return real(f)->pMethods->xFileControl(real(f), op, arg);
}

int fileSectorSize(sqlite3_file *f)
{
    return real(f)->pMethods->xSectorSize(real(f));
}

int fileCharacteristics(sqlite3_file *f)
{
    return real(f)->pMethods->xDeviceCharacteristics(real(f));
}

int fileShmMap(sqlite3_file *f, int page, int size, int extend, void volatile **out)
{
    const sqlite3_io_methods *m = real(f)->pMethods;
    return m->iVersion >= 2 && m->xShmMap ? m->xShmMap(real(f), page, size, extend, out) : SQLITE_IOERR_SHMMAP;
}

int fileShmLock(sqlite3_file *f, int offset, int n, int flags)
{
    const sqlite3_io_methods *m = real(f)->pMethods;
    return m->iVersion >= 2 && m->xShmLock ? m->xShmLock(real(f), offset, n, flags) : SQLITE_IOERR_SHMLOCK;
}

void fileShmBarrier(sqlite3_file *f)
{
    const sqlite3_io_methods *m = real(f)->pMethods;
    if (m->iVersion >= 2 && m->xShmBarrier)
        m->xShmBarrier(real(f));
}

int fileShmUnmap(sqlite3_file *f, int deleteFlag)
{
    const sqlite3_io_methods *m = real(f)->pMethods;
    return m->iVersion >= 2 && m->xShmUnmap ? m->xShmUnmap(real(f), deleteFlag) : SQLITE_OK;
}

int fileFetch(sqlite3_file *f, sqlite3_int64 offset, int amount, void **out)
{
    // Pages mapped into memory would be written without passing the count.
    (void)f;
    (void)offset;
    (void)amount;
    *out = nullptr;
    return SQLITE_OK;
}

int fileUnfetch(sqlite3_file *f, sqlite3_int64 offset, void *page)
{
    (void)f;
    (void)offset;
    (void)page;
    return SQLITE_OK;
}

const sqlite3_io_methods kCountedMethods = {
    3,
    fileClose,
    fileRead,
    fileWrite,
    fileTruncate,
    fileSync,
    fileSize,
    fileLock,
    fileUnlock,
    fileReserved,
    fileControl,
    fileSectorSize,
    fileCharacteristics,
    fileShmMap,
    fileShmLock,
    fileShmBarrier,
    fileShmUnmap,
    fileFetch,
    fileUnfetch,
};

int layerOpen(sqlite3_vfs *, const char *name, sqlite3_file *f, int flags, int *outFlags)
{
    State *budget = t_budget;
    if (!budget || !(flags & kTemporary))
        return g_system->xOpen(g_system, name, f, flags, outFlags);
    CountedFile *c = counted(f);
    c->real = reinterpret_cast<sqlite3_file *>(reinterpret_cast<char *>(f) + kRealOffset);
    c->real->pMethods = nullptr;
    const int rc = g_system->xOpen(g_system, name, c->real, flags, outFlags);
    if (rc != SQLITE_OK) {
        if (c->real->pMethods)
            c->real->pMethods->xClose(c->real);
        f->pMethods = nullptr;
        return rc;
    }
    c->budget = budget;
    budget->holders.fetch_add(1);
    c->extent = 0;
    f->pMethods = &kCountedMethods;
    return SQLITE_OK;
}

} // namespace

namespace TempStorage {

void install()
{
    static std::once_flag once;
    std::call_once(once, [] {
        g_system = sqlite3_vfs_find(nullptr);
        if (!g_system)
            return;
        // Everything else is the system's own, its private data included.
        g_layer = *g_system;
        g_layer.zName = "tsubame-counted";
        g_layer.pNext = nullptr;
        g_layer.szOsFile = std::max(g_system->szOsFile, kRealOffset + g_system->szOsFile);
        g_layer.xOpen = layerOpen;
        sqlite3_vfs_register(&g_layer, 1);
    });
}

Budget::Budget(qint64 bytes) : m_state(new State(bytes)), m_outer(t_budget)
{
    t_budget = m_state;
}

Budget::~Budget()
{
    t_budget = m_outer;
    release(m_state);
}

bool Budget::exceeded() const
{
    return m_state->exceeded;
}

} // namespace TempStorage

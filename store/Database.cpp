#include "store/Database.h"

#include "store/Schema.h"
#include "store/SqlDialect.h"
#include "store/TempStorage.h"
#include "store/WalLeftovers.h"
#include "store/WriteTurn.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QHash>
#include <QMutex>
#include <QSqlDriver>
#include <QSqlError>
#include <QSqlRecord>
#include <QSqlResult>
#include <QThread>

#include <atomic>
#include <sqlite3.h>
#include <unistd.h>

namespace {

QMutex g_pathLock;
QString g_path;
std::atomic<qint64> g_commits{0};
std::atomic<qint64> g_syncedCommits{0};
thread_local int t_synced = 0;

// mid(text, start[, length]): 1-based, counted in characters.
void midFunction(sqlite3_context *ctx, int argc, sqlite3_value **argv)
{
    if (sqlite3_value_type(argv[0]) == SQLITE_NULL) {
        sqlite3_result_null(ctx);
        return;
    }
    const auto *text = reinterpret_cast<const char *>(sqlite3_value_text(argv[0]));
    const QString s = QString::fromUtf8(text, sqlite3_value_bytes(argv[0]));
    const qsizetype start = qMax<qsizetype>(1, sqlite3_value_int64(argv[1]));
    const qsizetype length = argc > 2 ? qMax<qsizetype>(0, sqlite3_value_int64(argv[2])) : s.size();
    const QByteArray out = s.mid(start - 1, length).toUtf8();
    sqlite3_result_text(ctx, out.constData(), int(out.size()), SQLITE_TRANSIENT);
}

sqlite3 *handleOrNull(const QSqlDriver *driver)
{
    const QVariant handle = driver ? driver->handle() : QVariant();
    if (!handle.isValid() || qstrcmp(handle.typeName(), "sqlite3*") != 0)
        return nullptr;
    return *static_cast<sqlite3 *const *>(handle.data());
}

void registerFunctions(QSqlDatabase &db)
{
    sqlite3 *h = handleOrNull(db.driver());
    if (!h)
        return;
    for (int args : {2, 3})
        sqlite3_create_function_v2(h, "mid", args, SQLITE_UTF8 | SQLITE_DETERMINISTIC, nullptr, midFunction, nullptr,
                                   nullptr, nullptr);
}

// The write-ahead journal is cut back to this size whenever a checkpoint has copied all of
// it and a writer starts it again from the beginning; without it the file keeps the size of
// the largest burst it ever held.
constexpr qint64 kJournalBytes = qint64(16) * 1024 * 1024;

void configure(QSqlDatabase &db)
{
    QSqlQuery q(db);
    // Several threads and processes share the file: wait on a lock rather than fail.
    q.exec(QStringLiteral("pragma busy_timeout = %1").arg(Store::kBusyMillis));
    q.exec(QStringLiteral("pragma journal_mode = wal"));
    q.exec(QStringLiteral("pragma synchronous = normal"));
    q.exec(QStringLiteral("pragma journal_size_limit = %1").arg(kJournalBytes));
    registerFunctions(db);
}

int codeOf(const QSqlError &e)
{
    const int code = e.nativeErrorCode().toInt();
    return code ? code : SQLITE_ERROR;
}

sqlite3_stmt *statementOf(const QSqlQuery &query)
{
    const QVariant handle = query.result() ? query.result()->handle() : QVariant();
    if (!handle.isValid() || qstrcmp(handle.typeName(), "sqlite3_stmt*") != 0)
        return nullptr;
    return *static_cast<sqlite3_stmt *const *>(handle.data());
}

QString connectionName()
{
    return QStringLiteral("tsubame-%1").arg(reinterpret_cast<quintptr>(QThread::currentThread()), 0, 16);
}

// Removes a thread's connection when the thread ends, so no connection outlives its thread.
struct ThreadConnection {
    QString name;
    // Statements this thread has prepared, in the engine's dialect: the program prepares the
    // same few texts again and again, and need tokenise each only once.
    QHash<QString, QString> prepared;
    ~ThreadConnection() { drop(); }
    void drop()
    {
        prepared.clear();
        if (name.isEmpty())
            return;
        {
            QSqlDatabase db = QSqlDatabase::database(name, false);
            if (db.isValid())
                db.close();
        }
        QSqlDatabase::removeDatabase(name);
        name.clear();
    }
};
thread_local ThreadConnection t_connection;

QSqlDatabase openConnection(const QString &file, QString *error)
{
    TempStorage::install();
    const QString name = connectionName();
    if (QSqlDatabase::contains(name)) {
        QSqlDatabase::removeDatabase(name);
    }
    QSqlDatabase db = QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"), name);
    db.setDatabaseName(file);
    if (!db.open()) {
        if (error)
            *error = db.lastError().text();
        return db;
    }
    t_connection.name = name;
    return db;
}

// Why the store could not be opened: the engine's words, and before them what is wrong with
// the folder when that is the cause the engine does not name.
QString openFailure(const QString &path, const QString &engineText)
{
    const QString folder = QDir::toNativeSeparators(QFileInfo(path).absolutePath());
    QString hint;
    if (!QFileInfo(folder).isDir())
        hint = QStringLiteral("データフォルダがありません: ") + folder;
    else if (::access(QFile::encodeName(folder).constData(), W_OK | X_OK) != 0)
        hint = QStringLiteral("データフォルダに書き込めません: ") + folder;
    const QString what = QDir::toNativeSeparators(path) + QStringLiteral(": ") + engineText;
    return hint.isEmpty() ? what : hint + QLatin1Char('\n') + what;
}

} // namespace

namespace Store {

bool open(const QString &path, QString *error)
{
    QString why;
    const bool existed = QFileInfo::exists(path);
    // Only before this process has a connection: the check for other users of the store
    // cannot see this process's own.
    if (existed && !isOpen())
        WalLeftovers::repair(path);
    {
        QSqlDatabase db = openConnection(path, &why);
        if (db.isOpen()) {
            if (!existed) {
                try {
                    Schema::create(db);
                } catch (const std::exception &e) {
                    why = QString::fromStdString(e.what());
                }
            } else if (!Schema::matches(db, &why)) {
                // leave a foreign file exactly as it was: nothing has been written to it yet
            } else {
                why.clear();
            }
            if (why.isEmpty()) {
                configure(db);
                try {
                    Schema::ensureIndexes(db);
                } catch (const std::exception &) {
                    // a read-only store still works without the extra indexes
                }
            }
        } else if (why.isEmpty()) {
            why = QStringLiteral("cannot open %1").arg(path);
        }
    }
    if (!why.isEmpty()) {
        t_connection.drop();
        if (error)
            *error = openFailure(path, why);
        return false;
    }
    QMutexLocker lock(&g_pathLock);
    g_path = path;
    return true;
}

bool isOpen()
{
    QMutexLocker lock(&g_pathLock);
    return !g_path.isEmpty();
}

QString path()
{
    QMutexLocker lock(&g_pathLock);
    return g_path;
}

QSqlDatabase connection()
{
    if (!t_connection.name.isEmpty())
        return QSqlDatabase::database(t_connection.name, false);
    const QString file = path();
    if (file.isEmpty())
        throw StoreError(QStringLiteral("store is not open"));
    QString error;
    QSqlDatabase db = openConnection(file, &error);
    if (!db.isOpen())
        throw StoreError(error);
    configure(db);
    return db;
}

sqlite3 *handle(const QSqlDatabase &db)
{
    if (sqlite3 *h = handleOrNull(db.driver()))
        return h;
    throw StoreError(QStringLiteral("データベースが開かれていません。"));
}

void run(QSqlQuery &query)
{
    sqlite3 *db = handleOrNull(query.driver());
    if (!db)
        throw StoreError(QStringLiteral("データベースが開かれていません。"));
    sqlite3_stmt *self = statementOf(query);
    if (WriteTurn::writesAlone(db, self))
        WriteTurn::checkNoOpenRead(db, self);
    if (WriteTurn::run(db, self, [&query] { return query.exec() ? 0 : codeOf(query.lastError()); }) != 0)
        throw StoreError::of(query.lastError());
}

QString preparedText(const QString &sql)
{
    // Bounded: texts made from a user's condition differ each time.
    constexpr qsizetype kMostPrepared = 512;
    QHash<QString, QString> &known = t_connection.prepared;
    if (const auto it = known.constFind(sql); it != known.constEnd())
        return *it;
    const QString translated = SqlDialect::translate(sql);
    if (known.size() >= kMostPrepared)
        known.clear();
    known.insert(sql, translated);
    return translated;
}

SyncedCommits::SyncedCommits()
{
    if (t_synced++ == 0)
        Statement().exec(QStringLiteral("pragma synchronous = full"));
}

SyncedCommits::~SyncedCommits()
{
    if (--t_synced == 0) {
        try {
            Statement().exec(QStringLiteral("pragma synchronous = normal"));
        } catch (const StoreError &) {
            // the connection keeps waiting for the disk: slower, never less safe
        }
    }
}

CommitCounts commitCounts()
{
    return {g_commits.load(), g_syncedCommits.load()};
}

void releaseThreadConnection()
{
    t_connection.drop();
}

void close()
{
    t_connection.drop();
    QMutexLocker lock(&g_pathLock);
    g_path.clear();
}

} // namespace Store

// ---------------------------------------------------------------------------------------------

Statement::Statement() : Statement(Store::connection()) {}

Statement::Statement(const QSqlDatabase &db) : m_query(db)
{
    m_query.setForwardOnly(true);
}

int Statement::exec(const QString &sql)
{
    open(sql);
    const int changed = m_query.numRowsAffected();
    m_query.finish();
    return changed;
}

void Statement::open(const QString &sql)
{
    if (!m_query.prepare(SqlDialect::translate(sql)))
        throw StoreError::of(m_query.lastError());
    Store::run(m_query);
}

bool Statement::next()
{
    if (m_query.next())
        return true;
    // A step that fails (a damaged page, an I/O error) must not read as the end of the rows.
    if (m_query.lastError().isValid())
        throw StoreError::of(m_query.lastError());
    return false;
}

void Statement::close()
{
    m_query.finish();
}

int Statement::fieldCount() const
{
    return m_query.record().count();
}

bool Statement::isNull(int column) const
{
    return m_query.isNull(column);
}

bool Statement::isNull(const QString &name) const
{
    return m_query.isNull(name);
}

QVariant Statement::value(int column) const
{
    return m_query.value(column);
}

QVariant Statement::value(const QString &name) const
{
    return m_query.value(name);
}

QString Statement::text(int column) const
{
    return m_query.value(column).toString();
}

QString Statement::text(const QString &name) const
{
    return m_query.value(name).toString();
}

qint64 Statement::integer(int column) const
{
    return m_query.value(column).toLongLong();
}

qint64 Statement::integer(const QString &name) const
{
    return m_query.value(name).toLongLong();
}

qint64 Statement::scalar(const QString &sql)
{
    open(sql);
    const qint64 v = next() ? integer(0) : 0;
    close();
    return v;
}

// ---------------------------------------------------------------------------------------------

Transaction::Transaction() : Transaction(Store::connection()) {}

Transaction::Transaction(const QSqlDatabase &db) : m_db(db)
{
    // A read still open on this connection keeps an old snapshot, and a write from it fails
    // as soon as anyone else has written, whatever the wait.
    WriteTurn::checkNoOpenRead(Store::handle(m_db), nullptr);
    // Take the write lock at once: a deferred transaction that reads first and writes later
    // can fail on a lock held by another thread's connection instead of waiting for it.
    QSqlQuery q(m_db);
    if (!q.prepare(QStringLiteral("begin immediate")))
        throw StoreError::of(q.lastError());
    Store::run(q);
    m_active = true;
}

Transaction::~Transaction()
{
    rollback();
}

void Transaction::commit()
{
    if (!m_active)
        return;
    QSqlQuery q(m_db);
    if (!q.exec(QStringLiteral("commit")))
        throw StoreError::of(q.lastError());
    m_active = false;
    ++g_commits;
    if (t_synced > 0)
        ++g_syncedCommits;
}

void Transaction::rollback()
{
    if (!m_active)
        return;
    QSqlQuery q(m_db);
    q.exec(QStringLiteral("rollback"));
    m_active = false;
}

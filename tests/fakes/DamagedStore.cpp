#include "DamagedStore.h"

#include <QByteArray>
#include <QFile>

#include <sqlite3.h>

namespace {

// b-tree page types (the first byte of a page's header)
constexpr unsigned char kInteriorTable = 0x05;
constexpr unsigned char kLeafTable = 0x0D;

struct TableInfo {
    qint64 rootPage = 0;
    qint64 pageSize = 0;
};

// The root page of MagUser and the page size, read through the engine itself. A last
// checkpoint moves every page into the main file, where the damage is then made.
bool readTableInfo(const QString &storePath, TableInfo &info)
{
    sqlite3 *db = nullptr;
    if (sqlite3_open_v2(storePath.toUtf8().constData(), &db, SQLITE_OPEN_READWRITE, nullptr) != SQLITE_OK) {
        sqlite3_close(db);
        return false;
    }
    sqlite3_exec(db, "pragma wal_checkpoint(truncate)", nullptr, nullptr, nullptr);
    const auto integer = [db](const char *sql) {
        sqlite3_stmt *s = nullptr;
        qint64 value = 0;
        if (sqlite3_prepare_v2(db, sql, -1, &s, nullptr) == SQLITE_OK && sqlite3_step(s) == SQLITE_ROW)
            value = sqlite3_column_int64(s, 0);
        sqlite3_finalize(s);
        return value;
    };
    info.rootPage = integer("select rootpage from sqlite_master where type = 'table' and lower(name) = 'maguser'");
    info.pageSize = integer("pragma page_size");
    sqlite3_close(db);
    return info.rootPage > 1 && info.pageSize >= 512;
}

quint32 bigEndian(const QByteArray &page, qsizetype at, int bytes)
{
    quint32 v = 0;
    for (int k = 0; k < bytes; ++k)
        v = (v << 8) | static_cast<unsigned char>(page.at(at + k));
    return v;
}

} // namespace

bool DamageMemberTable(const QString &storePath)
{
    TableInfo info;
    if (!readTableInfo(storePath, info))
        return false;
    QFile file(storePath);
    if (!file.open(QIODevice::ReadWrite))
        return false;
    const qint64 pages = file.size() / info.pageSize;
    qint64 page = info.rootPage;
    for (int depth = 0; depth < 32; ++depth) { // a b-tree of this file is never this deep
        if (page < 2 || page > pages || !file.seek((page - 1) * info.pageSize))
            return false;
        const QByteArray bytes = file.read(info.pageSize);
        if (bytes.size() != info.pageSize)
            return false;
        const auto type = static_cast<unsigned char>(bytes.at(0));
        if (type == kLeafTable) {
            if (page == info.rootPage)
                return false; // a table of one page: nothing lies around the damage
            const QByteArray damage(info.pageSize, char(0xFF));
            return file.seek((page - 1) * info.pageSize) && file.write(damage) == damage.size() && file.flush();
        }
        if (type != kInteriorTable)
            return false;
        // Interior page header: type, first freeblock (2), cell count (2), content start
        // (2), fragmented bytes (1), right-most child (4); then 2-byte cell offsets. Each
        // cell starts with its left child's page number.
        const quint32 cells = bigEndian(bytes, 3, 2);
        if (cells == 0)
            return false;
        const quint32 cell = bigEndian(bytes, 12 + 2 * (cells / 2), 2);
        if (cell + 4 > quint32(info.pageSize))
            return false;
        page = bigEndian(bytes, cell, 4);
    }
    return false;
}

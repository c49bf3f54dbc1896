#include "store/RowCursor.h"

#include "store/Database.h"

#include <sqlite3.h>

RowCursor::RowCursor(const QString &sql) : m_db(Store::handle(Store::connection()))
{
    const QString translated = Store::preparedText(sql);
    const int rc = sqlite3_prepare16_v2(m_db, translated.utf16(), int(translated.size() * sizeof(char16_t)),
                                        &m_stmt, nullptr);
    if (rc != SQLITE_OK) {
        const QString why = QString::fromUtf8(sqlite3_errmsg(m_db));
        sqlite3_finalize(m_stmt);
        m_stmt = nullptr;
        throw StoreError(why);
    }
}

RowCursor::~RowCursor()
{
    sqlite3_finalize(m_stmt);
}

void RowCursor::bind(int index, qint64 value)
{
    if (sqlite3_bind_int64(m_stmt, index + 1, value) != SQLITE_OK)
        throw StoreError(QString::fromUtf8(sqlite3_errmsg(m_db)));
}

bool RowCursor::next()
{
    if (!m_stmt)
        return false;
    const int rc = sqlite3_step(m_stmt);
    if (rc == SQLITE_ROW)
        return true;
    if (rc == SQLITE_DONE)
        return false;
    throw StoreError(QString::fromUtf8(sqlite3_errmsg(m_db)));
}

int RowCursor::columnCount() const
{
    return m_stmt ? sqlite3_column_count(m_stmt) : 0;
}

bool RowCursor::isNull(int column) const
{
    return sqlite3_column_type(m_stmt, column) == SQLITE_NULL;
}

qint64 RowCursor::integer(int column) const
{
    return sqlite3_column_int64(m_stmt, column);
}

QStringView RowCursor::text(int column) const
{
    const void *p = sqlite3_column_text16(m_stmt, column);
    if (!p)
        return {};
    const int bytes = sqlite3_column_bytes16(m_stmt, column);
    return QStringView(static_cast<const char16_t *>(p), bytes / qsizetype(sizeof(char16_t)));
}

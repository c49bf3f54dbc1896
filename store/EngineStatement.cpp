#include "store/EngineStatement.h"

#include "store/Database.h"

#include <QSqlDriver>

#include <sqlite3.h>

namespace {

sqlite3 *connectionHandle()
{
    const QVariant handle = Store::connection().driver()->handle();
    if (handle.isValid() && qstrcmp(handle.typeName(), "sqlite3*") == 0)
        if (sqlite3 *h = *static_cast<sqlite3 *const *>(handle.data()))
            return h;
    throw StoreError(QStringLiteral("データベースが開かれていません。"));
}

} // namespace

EngineStatement::EngineStatement(const QString &sql) : m_db(connectionHandle())
{
    if (sqlite3_prepare16_v3(m_db, sql.utf16(), int(sql.size() * sizeof(char16_t)), SQLITE_PREPARE_PERSISTENT,
                             &m_statement, nullptr)
        != SQLITE_OK)
        fail();
}

EngineStatement::~EngineStatement()
{
    sqlite3_finalize(m_statement);
}

void EngineStatement::fail() const
{
    throw StoreError(QString::fromUtf8(sqlite3_errmsg(m_db)));
}

bool EngineStatement::next()
{
    const int rc = sqlite3_step(m_statement);
    if (rc == SQLITE_ROW)
        return true;
    sqlite3_reset(m_statement);
    if (rc != SQLITE_DONE)
        fail();
    return false;
}

void EngineStatement::run()
{
    const int rc = sqlite3_step(m_statement);
    if (rc != SQLITE_DONE && rc != SQLITE_ROW) {
        sqlite3_reset(m_statement);
        fail();
    }
    sqlite3_reset(m_statement);
}

void EngineStatement::bindNull(int column)
{
    sqlite3_bind_null(m_statement, column + 1);
}

void EngineStatement::bindInteger(int column, qint64 value)
{
    sqlite3_bind_int64(m_statement, column + 1, value);
}

void EngineStatement::bindReal(int column, double value)
{
    sqlite3_bind_double(m_statement, column + 1, value);
}

void EngineStatement::bindText(int column, QStringView text)
{
    // an empty text is bound from a valid address, so that it stays text rather than NULL
    static const char16_t empty = 0;
    const void *data = text.isEmpty() ? &empty : static_cast<const void *>(text.utf16());
    if (sqlite3_bind_text16(m_statement, column + 1, data, int(text.size() * sizeof(char16_t)), SQLITE_STATIC)
        != SQLITE_OK)
        fail();
}

void EngineStatement::bindTextCopy(int column, const QString &text)
{
    static const char16_t empty = 0;
    const void *data = text.isEmpty() ? &empty : static_cast<const void *>(text.utf16());
    if (sqlite3_bind_text16(m_statement, column + 1, data, int(text.size() * sizeof(char16_t)), SQLITE_TRANSIENT)
        != SQLITE_OK)
        fail();
}

int EngineStatement::columnCount() const
{
    return sqlite3_column_count(m_statement);
}

QString EngineStatement::columnName(int column) const
{
    return QString::fromUtf8(sqlite3_column_name(m_statement, column));
}

EngineStatement::Kind EngineStatement::kind(int column) const
{
    switch (sqlite3_column_type(m_statement, column)) {
    case SQLITE_INTEGER:
        return Kind::Integer;
    case SQLITE_FLOAT:
        return Kind::Real;
    case SQLITE_TEXT:
        return Kind::Text;
    case SQLITE_BLOB:
        return Kind::Bytes;
    default:
        return Kind::Null;
    }
}

qint64 EngineStatement::integer(int column) const
{
    return sqlite3_column_int64(m_statement, column);
}

double EngineStatement::real(int column) const
{
    return sqlite3_column_double(m_statement, column);
}

QStringView EngineStatement::text(int column) const
{
    const auto *data = static_cast<const char16_t *>(sqlite3_column_text16(m_statement, column));
    const int bytes = sqlite3_column_bytes16(m_statement, column);
    return data ? QStringView(data, bytes / qsizetype(sizeof(char16_t))) : QStringView();
}

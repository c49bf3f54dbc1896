#include "store/EngineStatement.h"

#include "store/Database.h"
#include "store/WriteTurn.h"

#include <sqlite3.h>

EngineStatement::EngineStatement(const QString &sql) : m_db(Store::handle(Store::connection()))
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
    throw StoreError(QString::fromUtf8(sqlite3_errmsg(m_db)), sqlite3_extended_errcode(m_db));
}

int EngineStatement::step(int *rc)
{
    // Only the first step waits for its turn: a later one reads on in a snapshot it holds.
    const bool first = !sqlite3_stmt_busy(m_statement);
    const auto once = [this, rc] {
        *rc = sqlite3_step(m_statement);
        if (*rc == SQLITE_ROW || *rc == SQLITE_DONE)
            return 0;
        sqlite3_reset(m_statement);
        return *rc;
    };
    if (!first)
        return once();
    if (WriteTurn::writesAlone(m_db, m_statement))
        WriteTurn::checkNoOpenRead(m_db, m_statement);
    return WriteTurn::run(m_db, m_statement, once);
}

bool EngineStatement::next()
{
    int rc = 0;
    if (step(&rc) != 0)
        fail();
    if (rc == SQLITE_ROW)
        return true;
    sqlite3_reset(m_statement);
    return false;
}

void EngineStatement::run()
{
    int rc = 0;
    if (step(&rc) != 0)
        fail();
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

#pragma once
// A forward-only query on this thread's connection that hands out column values without
// building a QVariant or QString per cell, for lists of many thousand rows. Statements are
// written in the program's dialect and translated like every other statement.
#include <QString>
#include <QStringView>

struct sqlite3;
struct sqlite3_stmt;

class RowCursor
{
public:
    // Prepares the statement; throws StoreError with the engine's text when it fails.
    explicit RowCursor(const QString &sql);
    ~RowCursor();
    RowCursor(const RowCursor &) = delete;
    RowCursor &operator=(const RowCursor &) = delete;

    // Binds an integer to the statement's index-th "?" (counted from 0) before the first step.
    void bind(int index, qint64 value);

    // Steps to the next row; false at the end. Throws StoreError on a failed step.
    bool next();

    int columnCount() const;
    bool isNull(int column) const;
    // NULL reads as 0.
    qint64 integer(int column) const;
    // The text of a column (NULL reads as empty); valid until the next call to next().
    QStringView text(int column) const;

private:
    sqlite3 *m_db = nullptr;
    sqlite3_stmt *m_stmt = nullptr;
};

#pragma once
// The rows of the member list, kept compact: every cell's text lives in one shared buffer,
// so a magazine of 100,000 members costs a few bytes per cell beyond its text. Rows are
// read with one query without a string object per cell.
#include "members/UMemberRecord.h"
#include "store/MemberSql.h"

#include <QList>
#include <QString>
#include <QStringList>
#include <QStringView>

#include <vector>

namespace MemberCells {

QString flag(bool on);
// "%.0n": no decimals, thousands grouped with the locale's separator (1,234,567).
QString count(qint64 value);
// "yyyymmdd" cut as "yyyy/mm/dd"; empty stays empty; a text that is not eight digits is
// shown as it is rather than cut into nonsense.
QString date(QStringView stored);
// The cell of a field (MemberOrder field number) for a member's values; -1 gives "".
QString cell(const MemberRecord &m, int field);
QStringList cells(const MemberRecord &m, const QList<int> &fields);

} // namespace MemberCells

class MemberTable
{
public:
    // The fields of the columns, in column order. Rows keep their cells.
    void setFields(const QList<int> &fields) { m_fields = fields; }
    const QList<int> &fields() const { return m_fields; }

    // Replaces the rows with the magazine's members in the store's order.
    void load(int magIdx);
    // Reads these members' rows again into their cells (columns that are no member field keep
    // what they show); members not listed or gone from the store stay as shown. Returns the
    // rows read again.
    int refresh(int magIdx, const QList<int> &userIdxs);
    void clear();

    int rowCount() const { return int(m_rows.size()); }
    int columnCount() const { return int(m_fields.size()); }

    QStringView cellView(int row, int column) const;
    QString cell(int row, int column) const { return cellView(row, column).toString(); }
    int userIdx(int row) const { return m_rows[size_t(row)].userIdx; }
    bool sleep(int row) const { return m_rows[size_t(row)].sleep; }
    // The display row of a member, or -1.
    int rowOf(int userIdx) const;

    void setSleep(int row, bool sleep) { m_rows[size_t(row)].sleep = sleep; }
    void appendRow(int userIdx, bool sleep, const QStringList &cells);
    void setRow(int row, bool sleep, const QStringList &cells);
    void setCell(int row, int column, const QString &text);
    void removeRow(int row);
    // Removes these rows (ascending, each once) in one pass over the list.
    void removeRows(const QList<int> &rows);

    // Sorts by the texts of a column by the Shift-JIS rule; equal texts keep their order.
    // Returns the new position of each old row.
    std::vector<int> sort(int column, bool descending);

    // Bytes held by the rows (for the benchmark).
    size_t memoryUse() const;

private:
    struct Row {
        int userIdx;
        bool sleep;
        quint16 cellCount;
        quint32 firstCell;
    };
    struct Span {
        quint32 start;
        quint32 length;
    };
    quint32 addCells(const QStringList &cells);
    // Appends the cells of a member's row for the columns and returns the first; with kept,
    // the row as it was, whose cells in columns that are no member field are carried over.
    quint32 appendCells(const MemberRowView &r, const QString &sep, const Row *kept);
    void compactIfWasteful();

    QList<int> m_fields;
    std::vector<Row> m_rows;
    std::vector<Span> m_cells;
    QString m_pool;
    size_t m_deadChars = 0;
};

#pragma once
// The member list's model: a thin Qt face over MemberTable. Column 0 carries the
// suspended mark; every cell's text comes from the table's shared buffer on demand.
#include "members/UMemberTable.h"

#include <QAbstractTableModel>
#include <QIcon>

class TMemberListModel : public QAbstractTableModel
{
    Q_OBJECT

public:
    enum Roles { UserIdxRole = Qt::UserRole + 1, SleepRole };

    explicit TMemberListModel(QObject *parent = nullptr);

    int rowCount(const QModelIndex &parent = QModelIndex()) const override;
    int columnCount(const QModelIndex &parent = QModelIndex()) const override;
    QVariant data(const QModelIndex &index, int role = Qt::DisplayRole) const override;
    QVariant headerData(int section, Qt::Orientation orientation, int role = Qt::DisplayRole) const override;

    const MemberTable &table() const { return m_table; }

    // New columns (fields and their captions); the rows stay as they are.
    void setColumns(const QList<int> &fields, const QStringList &captions);
    const QList<int> &fields() const { return m_table.fields(); }
    // Replaces the rows with the magazine's members; a magazine of -1 empties the list.
    void load(int magIdx);
    // Reads these members' rows of the magazine again, after a command changed them in the
    // store; the returned-mail columns stay as shown. Throws StoreError.
    void refresh(int magIdx, const QList<int> &userIdxs);
    void clear();

    int userIdx(int row) const { return m_table.userIdx(row); }
    bool sleep(int row) const { return m_table.sleep(row); }
    QString cell(int row, int column) const { return m_table.cell(row, column); }
    int rowOf(int userIdx) const { return m_table.rowOf(userIdx); }

    void appendRow(int userIdx, bool sleep, const QStringList &cells);
    void setRow(int row, bool sleep, const QStringList &cells);
    void setCell(int row, int column, const QString &text);
    void setSleep(int row, bool sleep);
    void removeRow(int row);
    // Removes these rows (any order, repeats allowed). A few blocks of rows go as blocks,
    // so the view keeps its place; rows spread over the list go in one pass and the view
    // is reset, where removing them one by one would move the whole list for each.
    void removeRowSet(QList<int> rows);
    // Sorts by a column's text (Shift-JIS rule); selections follow their rows.
    void sortRows(int column, bool descending);

    void setSleepIcon(const QIcon &icon) { m_sleepIcon = icon; }

private:
    MemberTable m_table;
    QStringList m_captions;
    QIcon m_sleepIcon;
};

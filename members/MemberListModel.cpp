#include "members/MemberListModel.h"

#include "members/MemberBounceColumns.h"

#include <algorithm>

TMemberListModel::TMemberListModel(QObject *parent) : QAbstractTableModel(parent) {}

int TMemberListModel::rowCount(const QModelIndex &parent) const
{
    return parent.isValid() ? 0 : m_table.rowCount();
}

int TMemberListModel::columnCount(const QModelIndex &parent) const
{
    return parent.isValid() ? 0 : int(m_captions.size());
}

QVariant TMemberListModel::data(const QModelIndex &index, int role) const
{
    if (!index.isValid() || index.row() >= m_table.rowCount())
        return {};
    const int row = index.row();
    switch (role) {
    case Qt::DisplayRole: return m_table.cell(row, index.column());
    case Qt::DecorationRole:
        if (index.column() == 0 && m_table.sleep(row))
            return m_sleepIcon;
        return {};
    case UserIdxRole: return m_table.userIdx(row);
    case SleepRole: return m_table.sleep(row);
    default: return {};
    }
}

QVariant TMemberListModel::headerData(int section, Qt::Orientation orientation, int role) const
{
    if (orientation == Qt::Horizontal && role == Qt::DisplayRole && section >= 0 && section < m_captions.size())
        return m_captions[section];
    return {};
}

void TMemberListModel::setColumns(const QList<int> &fields, const QStringList &captions)
{
    beginResetModel();
    m_table.setFields(fields);
    m_captions = captions;
    endResetModel();
}

void TMemberListModel::load(int magIdx)
{
    clear();
    MemberTable loaded;
    loaded.setFields(m_table.fields());
    loaded.load(magIdx);
    MemberBounceColumns::fill(loaded, magIdx);
    if (loaded.rowCount() == 0)
        return;
    // Insert rather than reset, so the header keeps its column widths.
    beginInsertRows(QModelIndex(), 0, loaded.rowCount() - 1);
    m_table = std::move(loaded);
    endInsertRows();
}

void TMemberListModel::refresh(int magIdx, const QList<int> &userIdxs)
{
    if (m_table.refresh(magIdx, userIdxs) > 0)
        Q_EMIT dataChanged(index(0, 0), index(rowCount() - 1, qMax(0, columnCount() - 1)));
}

void TMemberListModel::clear()
{
    if (m_table.rowCount() == 0) {
        m_table.clear();
        return;
    }
    beginRemoveRows(QModelIndex(), 0, m_table.rowCount() - 1);
    m_table.clear();
    endRemoveRows();
}

void TMemberListModel::appendRow(int userIdx, bool sleep, const QStringList &cells)
{
    const int row = m_table.rowCount();
    beginInsertRows(QModelIndex(), row, row);
    m_table.appendRow(userIdx, sleep, cells);
    endInsertRows();
}

void TMemberListModel::setRow(int row, bool sleep, const QStringList &cells)
{
    // A member's own fields are all a save gives; what came back to it stays as shown.
    QStringList kept = cells;
    const QList<int> &f = m_table.fields();
    for (int c = 0; c < int(f.size()) && c < int(kept.size()); ++c)
        if (MemberBounceColumns::isBounceField(f[c]))
            kept[c] = m_table.cell(row, c);
    m_table.setRow(row, sleep, kept);
    Q_EMIT dataChanged(index(row, 0), index(row, qMax(0, columnCount() - 1)));
}

void TMemberListModel::setCell(int row, int column, const QString &text)
{
    m_table.setCell(row, column, text);
    Q_EMIT dataChanged(index(row, column), index(row, column));
}

void TMemberListModel::setSleep(int row, bool sleep)
{
    m_table.setSleep(row, sleep);
    Q_EMIT dataChanged(index(row, 0), index(row, 0), {Qt::DecorationRole, SleepRole});
}

void TMemberListModel::removeRow(int row)
{
    beginRemoveRows(QModelIndex(), row, row);
    m_table.removeRow(row);
    endRemoveRows();
}

void TMemberListModel::removeRowSet(QList<int> rows)
{
    std::sort(rows.begin(), rows.end());
    rows.erase(std::unique(rows.begin(), rows.end()), rows.end());
    if (rows.isEmpty())
        return;
    QList<std::pair<int, int>> blocks; // first and last row
    for (int row : rows) {
        if (!blocks.isEmpty() && blocks.last().second + 1 == row)
            blocks.last().second = row;
        else
            blocks.append({row, row});
    }
    constexpr qsizetype kFewBlocks = 16;
    if (blocks.size() > kFewBlocks) {
        beginResetModel();
        m_table.removeRows(rows);
        endResetModel();
        return;
    }
    for (auto it = blocks.crbegin(); it != blocks.crend(); ++it) {
        beginRemoveRows(QModelIndex(), it->first, it->second);
        QList<int> block;
        for (int row = it->first; row <= it->second; ++row)
            block << row;
        m_table.removeRows(block);
        endRemoveRows();
    }
}

void TMemberListModel::sortRows(int column, bool descending)
{
    Q_EMIT layoutAboutToBeChanged({}, QAbstractItemModel::VerticalSortHint);
    const QModelIndexList before = persistentIndexList();
    const std::vector<int> newPos = m_table.sort(column, descending);
    QModelIndexList after;
    after.reserve(before.size());
    for (const QModelIndex &i : before)
        after << index(newPos[size_t(i.row())], i.column());
    changePersistentIndexList(before, after);
    Q_EMIT layoutChanged({}, QAbstractItemModel::VerticalSortHint);
}

#include "issue/ui/MemberLinesModel.h"

#include "store/Database.h"

#include <QBrush>

MemberLinesModel::MemberLinesModel(QObject *parent) : QAbstractListModel(parent) {}

void MemberLinesModel::reset(std::unique_ptr<MemberLines> source)
{
    beginResetModel();
    m_source.reset();
    m_text = QString();
    m_ends.clear();
    m_ends.shrink_to_fit();
    endResetModel();
    QStringList first;
    source->read(kPage, &first);
    m_source = std::move(source);
    append(first);
}

int MemberLinesModel::rowCount(const QModelIndex &parent) const
{
    return parent.isValid() ? 0 : int(m_ends.size());
}

QString MemberLinesModel::line(int row) const
{
    const quint32 start = row > 0 ? m_ends[size_t(row - 1)] : 0;
    return m_text.mid(start, m_ends[size_t(row)] - start);
}

QVariant MemberLinesModel::data(const QModelIndex &index, int role) const
{
    if (!index.isValid() || index.row() >= rowCount())
        return {};
    if (role == Qt::DisplayRole)
        return line(index.row());
    if (role == Qt::ForegroundRole)
        return QBrush(Qt::blue);
    return {};
}

bool MemberLinesModel::canFetchMore(const QModelIndex &parent) const
{
    return !parent.isValid() && m_source && !m_source->atEnd();
}

void MemberLinesModel::fetchMore(const QModelIndex &parent)
{
    if (!canFetchMore(parent))
        return;
    QStringList lines;
    try {
        m_source->read(kPage, &lines);
    } catch (const StoreError &e) {
        m_source.reset();
        Q_EMIT failed(e.text());
        return;
    }
    append(lines);
}

void MemberLinesModel::fetchAll()
{
    while (canFetchMore(QModelIndex()))
        fetchMore(QModelIndex());
}

void MemberLinesModel::append(const QStringList &lines)
{
    if (lines.isEmpty())
        return;
    const int first = rowCount();
    beginInsertRows(QModelIndex(), first, first + int(lines.size()) - 1);
    for (const QString &l : lines) {
        m_text += l;
        m_ends.push_back(quint32(m_text.size()));
    }
    endInsertRows();
}

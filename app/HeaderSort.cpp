#include "app/HeaderSort.h"

#include <QHeaderView>

Qt::SortOrder HeaderSort::nextOrder(const QHeaderView &header, int section)
{
    const bool showsUp = header.isSortIndicatorShown() && header.sortIndicatorSection() == section
                         && header.sortIndicatorOrder() == Qt::AscendingOrder;
    return showsUp ? Qt::DescendingOrder : Qt::AscendingOrder;
}

void HeaderSort::clear(QHeaderView &header)
{
    header.setSortIndicatorShown(false);
    header.setSortIndicator(-1, Qt::AscendingOrder);
}

#pragma once
// The lists sort by a click on a column title, and the header's own sort indicator is the
// one record of the order shown: a click on the column with the arrow up turns it down,
// any other click sorts ascending. A hidden arrow points at no column, so the header's own
// flip on a click and a command that sorts as a click does agree.
#include <Qt>

class QHeaderView;

namespace HeaderSort {

// The order a click on `section` sorts by.
Qt::SortOrder nextOrder(const QHeaderView &header, int section);

// Hides the arrow and forgets its column: the next click sorts ascending.
void clear(QHeaderView &header);

} // namespace HeaderSort

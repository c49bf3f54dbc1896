#pragma once
// Changing one member field (a flag, a counter or a date) for many members at once. The
// column comes from a fixed list and every value is bound, so nothing a caller passes
// becomes part of a statement.
#include <QList>
#include <QString>
#include <QVariant>

namespace BulkUpdateRecords {

enum class Field { Flg1, Flg2, Flg3, Count1, Count2, UserDate1, UserDate2 };
QString columnName(Field field);

// Set writes the value; Add and Subtract change a counter by it.
enum class Op { Set, Add, Subtract };

struct Change {
    Field field = Field::Flg1;
    Op op = Op::Set;
    QVariant value;
};

// A selection is written this many members per statement; longer selections are split.
inline constexpr int kSelectionChunk = 2000;

// Changes the given members of the magazine and returns the rows changed. A selection
// that needs several statements runs them in one transaction, so it changes all of them
// or, when the store refuses one, none (StoreError is thrown either way).
int updateSelected(const Change &change, int magIdx, const QList<int> &userIdx);

// Changes every member of the magazine; returns the rows changed.
int updateAll(const Change &change, int magIdx);

} // namespace BulkUpdateRecords

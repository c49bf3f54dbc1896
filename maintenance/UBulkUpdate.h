#pragma once
// Changing one member field (a flag, a counter or a date) for many members at once: for the
// members selected in the list, or for every member of a magazine. The menu's tags and the
// dialogs' choices become a change of one field; the windows only collect the choice and
// patch what they show.
#include "store/BulkUpdateRecords.h"

#include <QDate>
#include <QString>

#include <optional>

namespace BulkUpdate {

using BulkUpdateRecords::Change;
using BulkUpdateRecords::kSelectionChunk;
using BulkUpdateRecords::storedCounters;
using BulkUpdateRecords::updateSelected;

// Menu tags of the flag command: 1..3 set Flg1..Flg3 ON, 11..13 set them OFF.
bool isFlagTag(int tag);
bool flagTagSetsOn(int tag);
// The member field (ColumnMap number) a flag tag changes.
int flagField(int tag);
// Flg1 ... Flg3 set to 1 or 0.
Change flagChange(int tag);

// The counter dialog's modes.
enum CounterMode { SetValue = 0, AddValue = 1, SubtractValue = 2 };
// Counter 1 or 2 set to the value, or the value added or subtracted.
Change counterChange(int counter, int mode, qint64 value);
int counterField(int counter);

// Date 1 or 2 set to the day as a yyyymmdd text.
Change dateChange(int date, const QDate &day);
int dateField(int date);

// Reset for every member of a magazine, by the tag of its menu item (1..7):
// Flg1, Flg2, Flg3, Count1, Count2, UserDate1, UserDate2.
struct ResetTarget {
    BulkUpdateRecords::Field column = BulkUpdateRecords::Field::Flg1;
    int field = -1;     // ColumnMap number
    int nameIndex = -1; // index into MagFieldNames
    bool needsDate = false;
};
std::optional<ResetTarget> resetTarget(int tag);
// The value written: 0, or the day as a yyyymmdd text for the dates.
Change resetChange(const ResetTarget &target, const QDate &day);
// The confirmation, with the field's own name.
QString resetQuestion(const QString &fieldName);
// Changes every member of the magazine; returns the rows changed.
int resetAll(const Change &change, int magIdx);

} // namespace BulkUpdate

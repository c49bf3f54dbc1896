#pragma once
// Changing one member field (a flag, a counter or a date) for many members at once: for the
// members selected in the list, or for every member of a magazine. The dialogs' choices
// become a change of one field; the windows only collect the choice and show the result.
#include "members/MemberField.h"
#include "store/BulkUpdateRecords.h"

#include <QDate>
#include <QString>

namespace BulkUpdate {

using BulkUpdateRecords::Change;
using BulkUpdateRecords::kSelectionChunk;
using BulkUpdateRecords::updateSelected;

// A flag set ON or OFF.
Change flagChange(MemberField flag, bool on);

// The counter dialog's modes.
enum CounterMode { SetValue = 0, AddValue = 1, SubtractValue = 2 };
// A counter set to the value, or the value added or subtracted.
Change counterChange(MemberField counter, int mode, qint64 value);

// A date set to the day as a yyyymmdd text.
Change dateChange(MemberField date, const QDate &day);

// The reset of a field for every member: 0, or the day as a yyyymmdd text for the dates
// (the only fields that ask for a day).
Change resetChange(MemberField field, const QDate &day);
// The confirmation, with the field's own name.
QString resetQuestion(const QString &fieldName);
// Changes every member of the magazine; returns the rows changed.
int resetAll(const Change &change, int magIdx);

} // namespace BulkUpdate

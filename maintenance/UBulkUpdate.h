#pragma once
// Changing one member field (a flag, a counter or a date) for many members at once: for the
// members selected in the list, or for every member of a magazine. Statement text in, rows
// changed out; the windows only collect the choice and patch what they show.
#include <QDate>
#include <QHash>
#include <QList>
#include <QString>
#include <QStringList>

#include <optional>

namespace BulkUpdate {

// Menu tags of the flag command: 1..3 set Flg1..Flg3 ON, 11..13 set them OFF.
bool isFlagTag(int tag);
bool flagTagSetsOn(int tag);
// The member field (ColumnMap number) a flag tag changes.
int flagField(int tag);
// "set Flg1 = 1" ... "set Flg3 = 0"
QString flagSetLine(int tag);

// The counter dialog's modes.
enum CounterMode { SetValue = 0, AddValue = 1, SubtractValue = 2 };
// Counter 1 or 2: "set Count1 = 5", "set Count1 = Count1 + 5", "set Count1 = Count1 - 5".
QString counterSetLine(int counter, int mode, qint64 value);
int counterField(int counter);

// Date 1 or 2: "set UserDate1 = " and the day as yyyymmdd between double quotes.
QString dateSetLine(int date, const QDate &day);
int dateField(int date);

// "(12,15,20)": the members' UserIdx in the order given.
QString selectionList(const QList<int> &userIdx);

// The four lines of the update of the given members of a magazine.
QString selectedUpdate(const QString &setLine, int magIdx, const QString &selection);

// A selection is written this many members per statement; longer selections are split.
inline constexpr int kSelectionChunk = 2000;

// The statements that change the given members: one for a selection of up to
// kSelectionChunk members, otherwise one per chunk of that size, in the given order.
QStringList selectedUpdates(const QString &setLine, int magIdx, const QList<int> &userIdx);

// Runs the update of the selected members and returns the rows changed. A selection that
// needs several statements runs them in one transaction, so it changes all of them or,
// when the store refuses one, none (StoreError is thrown either way).
int updateSelected(const QString &setLine, int magIdx, const QList<int> &userIdx);

// What the stored counter now holds, per UserIdx, for the given members.
QHash<int, qint64> storedCounters(int counter, int magIdx, const QList<int> &userIdx);

// Reset for every member of a magazine, by the tag of its menu item (1..7):
// Flg1, Flg2, Flg3, Count1, Count2, UserDate1, UserDate2.
struct ResetTarget {
    QString column;
    int field = -1;     // ColumnMap number
    int nameIndex = -1; // index into MagFieldNames
    bool needsDate = false;
};
std::optional<ResetTarget> resetTarget(int tag);
// The value written: "0", or the day as yyyymmdd between double quotes for the dates.
QString resetValue(const ResetTarget &target, const QDate &day);
// "update MagUser Set " column " = " value / "where MagIdx = " magazine
QString resetStatement(const ResetTarget &target, const QString &value, int magIdx);
// The confirmation, with the field's own name.
QString resetQuestion(const QString &fieldName);
int resetAll(const ResetTarget &target, const QString &value, int magIdx);

} // namespace BulkUpdate

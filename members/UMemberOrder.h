#pragma once
// The member list's per-magazine display setting "MemberOrder" + MagIdx: which member
// fields are shown and in which order. Text like "A:1,M:1,S:1,U:0,..." where each item is
// code ":" "1"/"0" ","; the item order is the column order.
#include <QList>
#include <QString>
#include <QStringList>

#include <array>
#include <optional>

namespace MemberOrder {

// Field numbers, as ColumnMap holds them.
enum Field { Name = 0, Address, Url, Flag1, Flag2, Flag3, Count1, Count2, Date1, Date2, AddDate, FieldCount };

// The code of each field in the setting text ("M", "A", "U", "F1", ... "S").
QString code(int field);

// Written for every new magazine: member name and address shown, all else hidden.
QString defaultText();

// The field names of a magazine (Flg1..3, Count1..2, UserDate1..2); with no magazine
// selected the list uses these placeholders.
std::array<QString, 7> placeholderFieldNames();

// Column captions by field number, the seven magazine names in their places.
QStringList captions(const std::array<QString, 7> &fieldNames);

// Items of a setting text; each ends with "," except, in a hand-edited text, the last.
QStringList items(const QString &text);
// The field an item names (codes tested M, A, U, F1 ... S by containment), or -1.
int itemField(const QString &item);
// An item is shown when the character after its first ":" is "1".
bool itemShown(const QString &item);

// The fields of the shown columns, in column order (at most `maxColumns`).
QList<int> shownColumns(const QString &text, int maxColumns = 32);

// The display-settings list: one entry per field caption, with its check mark.
struct Entry {
    QString caption;
    bool checked = false;
};
// The entries as the dialog starts: all checked without a setting; otherwise the named
// fields first in the setting's order, the rest after them unchecked.
QList<Entry> readEntries(const std::optional<QString> &setting, const QStringList &captions);
// The setting text for the entries: each entry takes the code of the first field whose
// caption equals its text (so two fields with the same caption both get the first code).
QString formatEntries(const QList<Entry> &entries, const QStringList &captions);

// The stored setting of a magazine, if any, and writing it.
std::optional<QString> load(int magIdx);
void save(int magIdx, const QString &text);

} // namespace MemberOrder

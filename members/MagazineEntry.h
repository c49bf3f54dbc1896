#pragma once
// A magazine as the magazine dialog enters it: the record the dialog starts from, the
// checks its OK runs, and the save its callers hand it. No widgets here.
#include "store/MagazineSql.h"

#include <QString>

namespace MagazineEntry {

// The entries of the dialog a check can send the user back to.
enum class Field { None = -1, Name, Owner, Address, FieldName1 };

// A failed check: its warning, and the entry to fix (FieldName1 + i for the field name i).
struct Problem {
    QString message;
    int field = int(Field::None);
};

// A new magazine: the default field names, everything else empty.
MagazineRecord blank();

// The stored magazine, found by its index (two may share a name); an empty one under the
// index when the row is gone.
MagazineRecord stored(int magIdx);

// The first entry left empty, in the dialog's order, with its warning; no message when
// every required entry is filled.
Problem missingEntry(const MagazineRecord &m);

// The warning for a name that another magazine has already (every list would show the
// two alike); empty text when the name is free.
QString nameProblem(const MagazineRecord &m);

// Writes the magazine. A new one (MagIdx -1) gets the next MagIdx, written back into m,
// and the member list's default display settings; an edit leaves those as they are.
void save(MagazineRecord &m);

} // namespace MagazineEntry

#pragma once
// A member as the member dialog enters it: the record the dialog starts from, the checks
// its OK runs, and the save its callers hand it. No widgets here, so each is tested on
// plain values.
#include "store/MemberSql.h"

#include <QString>

namespace MemberEntry {

// A new member of the magazine: no name, address or url, nothing checked, both counters
// 0, both dates today.
MemberRecord blank(int magIdx);

// The stored member; a blank one under its indexes when the row is gone, so that saving
// it changes no row.
MemberRecord stored(int magIdx, int userIdx);

// The warning OK shows for this address, in the order it checks: empty, then not an
// address a member may have. Empty text when the address may be saved.
QString addressProblem(const QString &address);

// The warning OK shows when the member's row would be too long for a backup to carry
// (kLongestBackupStatement), naming its longest field; empty text when it fits.
QString lengthProblem(const MemberRecord &m);

// Whether the member's magazine has a member with exactly this address already (OK asks
// before adding a second one).
bool addressTaken(const MemberRecord &m);

// Writes the member. A new one (UserIdx -1) gets its magazine's next UserIdx and today as
// its sign-up date, both written back into m; an existing one keeps its sign-up date.
void save(MemberRecord &m);

} // namespace MemberEntry

#pragma once
// The member list's two columns of returned mail, shown on request after the chosen fields:
// how often mail to the member came back, and the last reason with its date. They are not
// member fields: their cells come from the bounce counts, not from the member's row.
#include "members/UMemberTable.h"

#include <QStringList>

namespace MemberBounceColumns {

// Field numbers beyond the member fields, as the list's columns carry them.
constexpr int kCount = 100;
constexpr int kReason = 101;

bool isBounceField(int field);
QList<int> fields();
QStringList captions();

// Fills the bounce cells of a table just loaded with the magazine's members (a no-op when
// the table has no bounce column). Throws StoreError.
void fill(MemberTable &table, int magIdx);

} // namespace MemberBounceColumns

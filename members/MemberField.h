#pragma once
// One of the seven member fields a magazine names for itself (three flags, two counters, two
// dates), as the commands that change one field for many members pass it. Every other number
// such a field goes by (its menu tag, its list column, its place among the magazine's names,
// its store column) comes from here.
#include "store/BulkUpdateRecords.h"

#include <array>
#include <cstddef>

enum class MemberField { Flag1, Flag2, Flag3, Count1, Count2, Date1, Date2 };

namespace MemberFields {

inline constexpr std::array<MemberField, 3> kFlags{MemberField::Flag1, MemberField::Flag2, MemberField::Flag3};
inline constexpr std::array<MemberField, 2> kCounters{MemberField::Count1, MemberField::Count2};
inline constexpr std::array<MemberField, 2> kDates{MemberField::Date1, MemberField::Date2};
inline constexpr std::array<MemberField, 7> kAll{MemberField::Flag1,  MemberField::Flag2, MemberField::Flag3,
                                                 MemberField::Count1, MemberField::Count2, MemberField::Date1,
                                                 MemberField::Date2};

bool isFlag(MemberField f);
bool isCounter(MemberField f);
bool isDate(MemberField f);

// Its number among the fields of its kind: フラグ１..３, カウンタ１..２, 日付１..２.
int number(MemberField f);
// Its place among the magazine's field names (CurrentMagazine::MagFieldNames).
size_t nameIndex(MemberField f);
// The field number the member list's columns carry (MemberOrder::Field).
int listField(MemberField f);
// The store's column.
BulkUpdateRecords::Field column(MemberField f);

// The menu tags: a flag's "ON" item carries its number and its "OFF" item kFlagOffTag more;
// the counter and date items carry their number; the reset items count the seven from 1.
inline constexpr int kFlagOffTag = 10;
int menuTag(MemberField f);
int resetTag(MemberField f);

} // namespace MemberFields

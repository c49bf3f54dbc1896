#include "members/MemberField.h"

#include "members/UMemberOrder.h"

namespace MemberFields {

bool isFlag(MemberField f)
{
    return f == MemberField::Flag1 || f == MemberField::Flag2 || f == MemberField::Flag3;
}

bool isCounter(MemberField f)
{
    return f == MemberField::Count1 || f == MemberField::Count2;
}

bool isDate(MemberField f)
{
    return f == MemberField::Date1 || f == MemberField::Date2;
}

int number(MemberField f)
{
    switch (f) {
    case MemberField::Flag1:
    case MemberField::Count1:
    case MemberField::Date1: return 1;
    case MemberField::Flag2:
    case MemberField::Count2:
    case MemberField::Date2: return 2;
    case MemberField::Flag3: return 3;
    }
    return 1;
}

size_t nameIndex(MemberField f)
{
    return size_t(f);
}

int listField(MemberField f)
{
    switch (f) {
    case MemberField::Flag1: return MemberOrder::Flag1;
    case MemberField::Flag2: return MemberOrder::Flag2;
    case MemberField::Flag3: return MemberOrder::Flag3;
    case MemberField::Count1: return MemberOrder::Count1;
    case MemberField::Count2: return MemberOrder::Count2;
    case MemberField::Date1: return MemberOrder::Date1;
    case MemberField::Date2: return MemberOrder::Date2;
    }
    return -1;
}

BulkUpdateRecords::Field column(MemberField f)
{
    using BulkUpdateRecords::Field;
    switch (f) {
    case MemberField::Flag1: return Field::Flg1;
    case MemberField::Flag2: return Field::Flg2;
    case MemberField::Flag3: return Field::Flg3;
    case MemberField::Count1: return Field::Count1;
    case MemberField::Count2: return Field::Count2;
    case MemberField::Date1: return Field::UserDate1;
    case MemberField::Date2: return Field::UserDate2;
    }
    return Field::Flg1;
}

int menuTag(MemberField f)
{
    return number(f);
}

int resetTag(MemberField f)
{
    return int(nameIndex(f)) + 1;
}

} // namespace MemberFields

#include "maintenance/UBulkUpdate.h"

#include "members/UMemberOrder.h"

namespace BulkUpdate {

using BulkUpdateRecords::Field;
using BulkUpdateRecords::Op;

namespace {

QString yyyymmdd(const QDate &day)
{
    // An invalid day is written as an empty text, never as NULL.
    const QString text = day.toString(QStringLiteral("yyyyMMdd"));
    return text.isNull() ? QStringLiteral("") : text;
}

} // namespace

bool isFlagTag(int tag)
{
    return (tag >= 1 && tag <= 3) || (tag >= 11 && tag <= 13);
}

bool flagTagSetsOn(int tag)
{
    return tag <= 10;
}

int flagField(int tag)
{
    return MemberOrder::Flag1 + (tag % 10) - 1;
}

Change flagChange(int tag)
{
    const Field field = tag % 10 == 3 ? Field::Flg3 : tag % 10 == 2 ? Field::Flg2 : Field::Flg1;
    return {field, Op::Set, flagTagSetsOn(tag) ? 1 : 0};
}

Change counterChange(int counter, int mode, qint64 value)
{
    const Op op = mode == AddValue ? Op::Add : mode == SubtractValue ? Op::Subtract : Op::Set;
    return {counter == 2 ? Field::Count2 : Field::Count1, op, value};
}

int counterField(int counter)
{
    return MemberOrder::Count1 + counter - 1;
}

Change dateChange(int date, const QDate &day)
{
    return {date == 2 ? Field::UserDate2 : Field::UserDate1, Op::Set, yyyymmdd(day)};
}

int dateField(int date)
{
    return MemberOrder::Date1 + date - 1;
}

std::optional<ResetTarget> resetTarget(int tag)
{
    static constexpr Field kFields[7] = {Field::Flg1,   Field::Flg2,      Field::Flg3,     Field::Count1,
                                         Field::Count2, Field::UserDate1, Field::UserDate2};
    switch (tag) {
    case 1:
    case 2:
    case 3: return ResetTarget{kFields[tag - 1], MemberOrder::Flag1 + tag - 1, tag - 1, false};
    case 4:
    case 5: return ResetTarget{kFields[tag - 1], MemberOrder::Count1 + tag - 4, tag - 1, false};
    case 6:
    case 7: return ResetTarget{kFields[tag - 1], MemberOrder::Date1 + tag - 6, tag - 1, true};
    default: return std::nullopt;
    }
}

Change resetChange(const ResetTarget &target, const QDate &day)
{
    return {target.column, Op::Set, target.needsDate ? QVariant(yyyymmdd(day)) : QVariant(0)};
}

QString resetQuestion(const QString &fieldName)
{
    return QStringLiteral("メンバーすべてのフィールド「%1」を変更します。よろしいですか？").arg(fieldName);
}

int resetAll(const Change &change, int magIdx)
{
    return BulkUpdateRecords::updateAll(change, magIdx);
}

} // namespace BulkUpdate

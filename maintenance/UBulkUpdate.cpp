#include "maintenance/UBulkUpdate.h"

namespace BulkUpdate {

using BulkUpdateRecords::Op;

namespace {

QString yyyymmdd(const QDate &day)
{
    // An invalid day is written as an empty text, never as NULL.
    const QString text = day.toString(QStringLiteral("yyyyMMdd"));
    return text.isNull() ? QStringLiteral("") : text;
}

} // namespace

Change flagChange(MemberField flag, bool on)
{
    return {MemberFields::column(flag), Op::Set, on ? 1 : 0};
}

Change counterChange(MemberField counter, int mode, qint64 value)
{
    const Op op = mode == AddValue ? Op::Add : mode == SubtractValue ? Op::Subtract : Op::Set;
    return {MemberFields::column(counter), op, value};
}

Change dateChange(MemberField date, const QDate &day)
{
    return {MemberFields::column(date), Op::Set, yyyymmdd(day)};
}

Change resetChange(MemberField field, const QDate &day)
{
    return {MemberFields::column(field), Op::Set,
            MemberFields::isDate(field) ? QVariant(yyyymmdd(day)) : QVariant(0)};
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

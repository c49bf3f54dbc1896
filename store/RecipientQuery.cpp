#include "store/RecipientQuery.h"

#include "store/PreparedStatement.h"
#include "store/Sql.h"

namespace {

QString columnName(MemberColumn column)
{
    switch (column) {
    case MemberColumn::AddDate: return QStringLiteral("AddDate");
    case MemberColumn::Flg1: return QStringLiteral("Flg1");
    case MemberColumn::Flg2: return QStringLiteral("Flg2");
    case MemberColumn::Flg3: return QStringLiteral("Flg3");
    case MemberColumn::Count1: return QStringLiteral("Count1");
    case MemberColumn::Count2: return QStringLiteral("Count2");
    case MemberColumn::UserDate1: return QStringLiteral("UserDate1");
    case MemberColumn::UserDate2: return QStringLiteral("UserDate2");
    }
    return {};
}

QString operatorText(Comparison op)
{
    switch (op) {
    case Comparison::AtLeast: return QStringLiteral(" >= ");
    case Comparison::AtMost: return QStringLiteral(" <= ");
    case Comparison::Equals: return QStringLiteral(" = ");
    }
    return {};
}

QString base()
{
    return QStringLiteral(" where U.Sleep = 0 and U.MagIdx = ?");
}

} // namespace

namespace Recipients {

RecipientQuery all(int magIdx)
{
    return {base(), {magIdx}};
}

RecipientQuery flag(int magIdx, MemberColumn column, bool on)
{
    return {base() + QStringLiteral(" and U.") + columnName(column) + (on ? QStringLiteral(" = 1") : QStringLiteral(" = 0")),
            {magIdx}};
}

RecipientQuery compare(int magIdx, MemberColumn column, Comparison op, qint64 value)
{
    return {base() + QStringLiteral(" and U.") + columnName(column) + operatorText(op) + QStringLiteral("?"),
            {magIdx, value}};
}

RecipientQuery compare(int magIdx, MemberColumn column, Comparison op, const QString &value)
{
    return {base() + QStringLiteral(" and U.") + columnName(column) + operatorText(op) + QStringLiteral("?"),
            {magIdx, TextValue(value)}};
}

RecipientQuery monthAndDay(int magIdx, MemberColumn column, const QString &monthDay)
{
    return {base() + QStringLiteral(" and Mid(U.") + columnName(column) + QStringLiteral(" ,5,4) = ?"),
            {magIdx, TextValue(monthDay)}};
}

RecipientQuery sentIssue(int magIdx, int magCnt)
{
    return {QStringLiteral(",MagHist H where U.Sleep = 0 and U.MagIdx = ? and H.MagCnt = ?"
                           " and U.UserIdx = H.MagUser and H.MagIdx = U.MagIdx"),
            {magIdx, magCnt}};
}

RecipientQuery notSentIssue(int magIdx, int magCnt)
{
    // A sub-select keeps the clause directly after "from maguser U" and selects each member
    // once, however many rows the issue has. UserIdx repeats across magazines, so a
    // recipient row only counts for a member of its own magazine.
    return {base() + QStringLiteral(" and not exists (select 1 from MagHist H where H.MagCnt = ?"
                                    " and H.MagUser = U.UserIdx and H.MagIdx = U.MagIdx)"),
            {magIdx, magCnt}};
}

RecipientQuery matching(int magIdx, const FreeClause &condition)
{
    if (!condition.ok())
        return nobody(magIdx);
    return {QStringLiteral(" where (") + condition.sql() + QStringLiteral(") and U.Sleep = 0 and U.MagIdx = ?"), {magIdx},
            true};
}

RecipientQuery nobody(int magIdx)
{
    return {QStringLiteral(" where 0 = 1 and U.MagIdx = ?"), {magIdx}};
}

} // namespace Recipients

QString TargetCountStatement(const RecipientQuery &query)
{
    return QStringLiteral("select count(*) from maguser U ") + query.clause;
}

int CountTargets(const RecipientQuery &query)
{
    return RunSelection(query, ClauseBounds::checking(), [&] {
        PreparedStatement s(TargetCountStatement(query));
        s.bindFrom(0, query.values);
        s.exec();
        const int count = s.next() ? s.value(0).toInt() : 0;
        s.finish();
        return count;
    });
}

QList<TargetLine> ListTargets(const RecipientQuery &query, int magIdx)
{
    return RunSelection(query, ClauseBounds::checking(), [&] {
        PreparedStatement s(Sql::lines({QStringLiteral("select U.UserName,U.UserAdrs from MagUser U"), query.clause,
                                        QStringLiteral("and U.MagIdx = ?")}));
        s.bindFrom(0, query.values);
        s.bind(int(query.values.size()), magIdx);
        s.exec();
        QList<TargetLine> lines;
        while (s.next())
            lines.append({s.value(0).toString(), s.value(1).toString()});
        return lines;
    });
}

#include "members/MemberBounceColumns.h"

#include "store/MemberBounces.h"

#include <QHash>

namespace MemberBounceColumns {

bool isBounceField(int field)
{
    return field == kCount || field == kReason;
}

QList<int> fields()
{
    return {kCount, kReason};
}

QStringList captions()
{
    return {QStringLiteral("不達回数"), QStringLiteral("最後の不達")};
}

void fill(MemberTable &table, int magIdx)
{
    const int countColumn = int(table.fields().indexOf(kCount));
    const int reasonColumn = int(table.fields().indexOf(kReason));
    if (countColumn < 0 && reasonColumn < 0)
        return;
    const QList<MemberBounce> bounces = MemberBounces::forMagazine(magIdx);
    if (bounces.isEmpty())
        return;
    QHash<int, qsizetype> byMember;
    byMember.reserve(bounces.size());
    for (qsizetype i = 0; i < bounces.size(); ++i)
        byMember.insert(bounces[i].userIdx, i);
    // One walk over the rows: a magazine of a million members with many bounces stays linear.
    for (int row = 0; row < table.rowCount(); ++row) {
        const auto it = byMember.constFind(table.userIdx(row));
        if (it == byMember.constEnd())
            continue;
        const MemberBounce &b = bounces[*it];
        if (countColumn >= 0)
            table.setCell(row, countColumn,
                          b.hardBounces == b.bounces ? QString::number(b.bounces)
                                                     : QStringLiteral("%1 (5xx %2)").arg(b.bounces).arg(b.hardBounces));
        if (reasonColumn >= 0)
            table.setCell(row, reasonColumn, QString(b.lastDate + u' ' + b.lastReason).trimmed());
    }
}

} // namespace MemberBounceColumns

#include "members/MagazineEntry.h"

#include "members/UMemberOrder.h"

namespace MagazineEntry {

MagazineRecord blank()
{
    MagazineRecord m;
    m.fieldNames = MagazineSql::defaultFieldNames();
    return m;
}

MagazineRecord stored(int magIdx)
{
    if (auto m = MagazineSql::load(magIdx))
        return *m;
    MagazineRecord m;
    m.magIdx = magIdx;
    return m;
}

Problem missingEntry(const MagazineRecord &m)
{
    if (m.name.isEmpty())
        return {QStringLiteral("マガジン名が未入力です。"), int(Field::Name)};
    if (m.owner.isEmpty())
        return {QStringLiteral("発行者名が未入力です。"), int(Field::Owner)};
    if (m.adrs.isEmpty())
        return {QStringLiteral("メールアドレスが未入力です。"), int(Field::Address)};
    // The second counter's default name has a half-width 2; its warning a full-width one.
    const char *const names[7] = {"フラグ１", "フラグ２", "フラグ３", "数字１", "数字２", "日付１", "日付２"};
    for (int i = 0; i < 7; ++i)
        if (m.fieldNames[size_t(i)].isEmpty())
            return {QStringLiteral("%1名称が未入力です。").arg(QString::fromUtf8(names[i])),
                    int(Field::FieldName1) + i};
    return {};
}

QString nameProblem(const MagazineRecord &m)
{
    if (MagazineSql::countByName(m.name, m.magIdx) > 0)
        return QStringLiteral("同じ名前のマガジン名がすでに存在します。");
    return QString();
}

void save(MagazineRecord &m)
{
    if (m.magIdx != -1) {
        MagazineSql::update(m);
        return;
    }
    m.magIdx = MagazineSql::insertNew(m);
    MemberOrder::save(m.magIdx, MemberOrder::defaultText());
}

} // namespace MagazineEntry

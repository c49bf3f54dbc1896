#include "members/MemberEntry.h"

#include "members/UAddress.h"

#include <QDate>

namespace {

QString today()
{
    return QDate::currentDate().toString(QStringLiteral("yyyyMMdd"));
}

} // namespace

namespace MemberEntry {

MemberRecord blank(int magIdx)
{
    MemberRecord m;
    m.magIdx = magIdx;
    m.date1 = today();
    m.date2 = today();
    return m;
}

MemberRecord stored(int magIdx, int userIdx)
{
    if (auto m = MemberSql::load(magIdx, userIdx))
        return *m;
    MemberRecord m = blank(magIdx);
    m.userIdx = userIdx;
    return m;
}

QString addressProblem(const QString &address)
{
    if (address.isEmpty())
        return QStringLiteral("メールアドレスが未入力です。");
    if (!IsValidAddress(address))
        return QStringLiteral("メールアドレスが間違っています。確認してください。");
    return QString();
}

bool addressTaken(const MemberRecord &m)
{
    return MemberSql::countAddress(m.magIdx, m.address) > 0;
}

void save(MemberRecord &m)
{
    if (m.userIdx != -1) {
        MemberSql::update(m);
        return;
    }
    MemberRecord row = m;
    row.addDate = today();
    row.userIdx = MemberSql::insertNew(row);
    m = row;
}

} // namespace MemberEntry

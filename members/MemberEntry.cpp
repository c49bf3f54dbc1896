#include "members/MemberEntry.h"

#include "members/UAddress.h"
#include "store/BackupScript.h"

#include <QDate>

#include <algorithm>
#include <iterator>
#include <utility>

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

QString lengthProblem(const MemberRecord &m)
{
    if (BackupScript::fitsBackup(QStringLiteral("MagUser"), MemberSql::columnValues(m)))
        return QString();
    // the dialog's own captions
    const std::pair<QString, qsizetype> fields[] = {
        {QStringLiteral("名前"), m.name.size()},
        {QStringLiteral("アドレス"), m.address.size()},
        {QStringLiteral("url"), m.url.size()},
    };
    const auto longest = std::max_element(std::begin(fields), std::end(fields),
                                          [](const auto &a, const auto &b) { return a.second < b.second; });
    return QStringLiteral("「%1」が長すぎます(%2 文字)。バックアップできる長さを超えるため保存できません。"
                          "短くしてください。")
        .arg(longest->first)
        .arg(longest->second);
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

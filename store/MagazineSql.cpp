#include "store/MagazineSql.h"

#include "store/PreparedStatement.h"
#include "store/Database.h"
#include "store/MagazineMailSettings.h"

namespace MagazineSql {

QList<ListEntry> list()
{
    PreparedStatement magazines(QStringLiteral("select M.MagIdx,M.MagName from magzine M order by M.MagIdx"));
    magazines.exec();
    QList<ListEntry> out;
    while (magazines.next()) {
        if (magazines.value(0).isNull())
            continue;
        out.append({magazines.value(0).toInt(), magazines.value(1).toString(), 0});
    }
    magazines.finish();
    PreparedStatement members(QStringLiteral("select count(*) from MagUser where MagIdx = ?"));
    for (ListEntry &e : out)
        e.members = members.scalar({e.magIdx});
    return out;
}

qint64 countByName(const QString &name, int exceptMagIdx)
{
    PreparedStatement s(QStringLiteral("select count(*) as cnt from magzine where MagName = ?"
                                       " and (MagIdx is null or MagIdx <> ?)"));
    s.run({TextValue(name), exceptMagIdx});
    return s.next() ? s.value(0).toLongLong() : 0;
}

qint64 idByName(const QString &name)
{
    PreparedStatement s(QStringLiteral("select MagIdx from Magzine where MagName = ?"));
    return s.scalar({TextValue(name)});
}

qint64 maxIdx()
{
    PreparedStatement s(QStringLiteral("select max(MagIdx) from Magzine"));
    return s.scalar({});
}

namespace {

// Sign is NULL when no signature is chosen.
QVariant signValue(const QString &sign)
{
    return sign.isEmpty() ? QVariant() : QVariant(sign);
}

} // namespace

void insert(const MagazineRecord &m)
{
    PreparedStatement s(QStringLiteral("insert into magzine (MagIdx,MagName,Owner,Adrs,Atena,Sign,Flg1Name,Flg2Name,"
                                       "Flg3Name,count1Name,Count2Name,USerDate1Name,UserDate2Name,UseUserName)"
                                       " values(?,?,?,?,?,?,?,?,?,?,?,?,?,?)"));
    const std::array<QString, 7> &f = m.fieldNames;
    s.run({m.magIdx, TextValue(m.name), TextValue(m.owner), TextValue(m.adrs), TextValue(m.atena),
            signValue(m.sign), TextValue(f[0]), TextValue(f[1]), TextValue(f[2]), TextValue(f[3]), TextValue(f[4]),
            TextValue(f[5]), TextValue(f[6]), FlagValue(m.useUserName)});
}

int insertNew(const MagazineRecord &m)
{
    Transaction t;
    MagazineRecord row = m;
    row.magIdx = int(maxIdx() + 1);
    insert(row);
    t.commit();
    return row.magIdx;
}

void update(const MagazineRecord &m)
{
    PreparedStatement s(QStringLiteral("update magzine set MagName = ?, Owner = ?, Adrs = ?, Atena = ?, Sign = ?,"
                                       " Flg1Name = ?, Flg2Name = ?, Flg3Name = ?, Count1Name = ?, Count2Name = ?,"
                                       " UserDate1Name = ?, UserDate2Name = ?, UseUserName = ? where MagIdx = ?"));
    const std::array<QString, 7> &f = m.fieldNames;
    s.run({TextValue(m.name), TextValue(m.owner), TextValue(m.adrs), TextValue(m.atena), signValue(m.sign),
            TextValue(f[0]), TextValue(f[1]), TextValue(f[2]), TextValue(f[3]), TextValue(f[4]), TextValue(f[5]),
            TextValue(f[6]), FlagValue(m.useUserName), m.magIdx});
}

void removeWithMembers(int magIdx)
{
    Transaction t;
    PreparedStatement magazine(QStringLiteral("delete from Magzine where MagIdx = ?"));
    magazine.run({magIdx});
    PreparedStatement members(QStringLiteral("delete from MagUser where MagIdx = ?"));
    members.run({magIdx});
    PreparedStatement states(QStringLiteral("delete from SendState where MagIdx = ?"));
    states.run({magIdx});
    PreparedStatement locks(QStringLiteral("delete from SendLock where MagIdx = ?"));
    locks.run({magIdx});
    PreparedStatement bounces(QStringLiteral("delete from MemberBounce where MagIdx = ?"));
    bounces.run({magIdx});
    MagazineMailSettings::remove(magIdx);
    t.commit();
}

std::array<QString, 7> defaultFieldNames()
{
    // The second counter's default has a half-width 2; the empty-field warning names it
    // with a full-width one.
    return {QStringLiteral("フラグ１"), QStringLiteral("フラグ２"), QStringLiteral("フラグ３"),
            QStringLiteral("数字１"), QStringLiteral("数字2"), QStringLiteral("日付１"), QStringLiteral("日付２")};
}

std::optional<MagazineRecord> load(int magIdx)
{
    PreparedStatement s(QStringLiteral("select MagIdx,MagName,Owner,Adrs,Atena,Sign,Flg1Name,Flg2Name,Flg3Name,"
                                       "Count1Name,Count2Name,UserDate1Name,UserDate2Name,UseUserName"
                                       " from magzine where magidx = ?"));
    s.run({magIdx});
    if (!s.next())
        return std::nullopt;
    MagazineRecord m;
    m.magIdx = int(s.value(0).toLongLong());
    m.name = s.value(1).toString();
    m.owner = s.value(2).toString();
    m.adrs = s.value(3).toString();
    m.atena = s.value(4).toString();
    m.sign = s.value(5).toString();
    for (int i = 0; i < 7; ++i)
        m.fieldNames[size_t(i)] = s.value(6 + i).toString();
    m.useUserName = s.value(13).toLongLong() == 1;
    s.finish();
    return m;
}

} // namespace MagazineSql

#include "store/MemberRecords.h"

#include "store/Batch.h"
#include "store/Database.h"
#include "store/Sql.h"

namespace {

QString num(qint64 v)
{
    return QString::number(v);
}

int bit(bool on)
{
    return on ? 1 : 0;
}

// A date the member dialog writes: NULL stays NULL.
QVariant dateValue(const std::optional<QString> &d)
{
    return d ? TextValue(*d) : QVariant();
}

// Binds values in order and runs the statement.
void run(PreparedStatement &s, std::initializer_list<QVariant> values)
{
    int i = 0;
    for (const QVariant &v : values)
        s.bind(i++, v);
    s.exec();
}

} // namespace

namespace MemberSql {

QString list(int magIdx)
{
    return Sql::lines({QStringLiteral("select *"), QStringLiteral("from maguser"),
                       QStringLiteral("where magidx = ") + num(magIdx)});
}

QString select(int magIdx, int userIdx)
{
    return Sql::lines({QStringLiteral("select * from maguser"),
                       QStringLiteral("where MagIdx = ") + num(magIdx) + QStringLiteral(" and "),
                       QStringLiteral("UserIdx = ") + num(userIdx)});
}

qint64 countAddress(int magIdx, const QString &address)
{
    PreparedStatement s(QStringLiteral("select count(*) from MagUser where UserAdrs = ? and MagIdx = ?"));
    run(s, {TextValue(address), magIdx});
    return s.next() ? s.value(0).toLongLong() : 0;
}

QString maxUserIdx(int magIdx)
{
    return QStringLiteral("select max(UserIdx) from MagUser where MagIdx = ") + num(magIdx);
}

void insert(const MemberRecord &m)
{
    PreparedStatement s(QStringLiteral("insert into MagUser (MagIdx,UserIdx,UserName,UserAdrs,url,Sleep,flg1,flg2,"
                                       "flg3,Count1,Count2,UserDate1,UserDate2,AddDate)"
                                       " values(?,?,?,?,?,?,?,?,?,?,?,?,?,?)"));
    run(s, {m.magIdx, m.userIdx, TextValue(m.name), TextValue(m.address), TextValue(m.url), bit(m.sleep),
            bit(m.flags[0]), bit(m.flags[1]), bit(m.flags[2]), m.counts[0], m.counts[1], dateValue(m.date1),
            dateValue(m.date2), TextValue(m.addDate)});
}

int insertNew(const MemberRecord &m)
{
    Transaction t;
    MemberRecord row = m;
    row.userIdx = int(Statement().scalar(maxUserIdx(m.magIdx)) + 1);
    insert(row);
    t.commit();
    return row.userIdx;
}

void update(const MemberRecord &m)
{
    PreparedStatement s(QStringLiteral("update MagUser set UserName = ?, UserAdrs = ?, url = ?, Sleep = ?,"
                                       " flg1 = ?, flg2 = ?, flg3 = ?, Count1 = ?, Count2 = ?,"
                                       " UserDate1 = ?, UserDate2 = ? where MagIdx = ? and UserIdx = ?"));
    run(s, {TextValue(m.name), TextValue(m.address), TextValue(m.url), bit(m.sleep), bit(m.flags[0]),
            bit(m.flags[1]), bit(m.flags[2]), m.counts[0], m.counts[1], dateValue(m.date1), dateValue(m.date2),
            m.magIdx, m.userIdx});
}

QString remove(int magIdx, int userIdx)
{
    return Sql::lines({QStringLiteral("delete from MagUser"), QStringLiteral("where MagIdx = ") + num(magIdx),
                       QStringLiteral("and UserIdx = ") + num(userIdx)});
}

QString setSleep(int magIdx, int userIdx, bool sleep)
{
    return Sql::lines({QStringLiteral("update MagUser"),
                       sleep ? QStringLiteral("set Sleep = 1") : QStringLiteral("set Sleep = 0"),
                       QStringLiteral("where MagIdx = ") + num(magIdx),
                       QStringLiteral("and UserIdx = ") + num(userIdx)});
}

QString count(int magIdx)
{
    return QStringLiteral("select count(*) from MagUser where MagIdx = ") + num(magIdx);
}

std::optional<MemberRecord> load(int magIdx, int userIdx)
{
    Statement s;
    s.open(select(magIdx, userIdx));
    if (!s.next())
        return std::nullopt;
    MemberRecord m;
    m.magIdx = magIdx;
    m.userIdx = userIdx;
    m.name = s.text(QStringLiteral("UserName"));
    m.address = s.text(QStringLiteral("UserAdrs"));
    m.url = s.text(QStringLiteral("url"));
    m.sleep = s.integer(QStringLiteral("Sleep")) != 0;
    m.flags = {s.integer(QStringLiteral("Flg1")) != 0, s.integer(QStringLiteral("Flg2")) != 0,
               s.integer(QStringLiteral("Flg3")) != 0};
    m.counts = {s.integer(QStringLiteral("Count1")), s.integer(QStringLiteral("Count2"))};
    if (!s.isNull(QStringLiteral("UserDate1")))
        m.date1 = s.text(QStringLiteral("UserDate1"));
    if (!s.isNull(QStringLiteral("UserDate2")))
        m.date2 = s.text(QStringLiteral("UserDate2"));
    m.addDate = s.text(QStringLiteral("AddDate"));
    s.close();
    return m;
}

} // namespace MemberSql

namespace MagazineSql {

QString list()
{
    return Sql::lines({QStringLiteral("select M.MagIdx,M.MagName"), QStringLiteral("from magzine M"),
                       QStringLiteral("order by M.MagIdx")});
}

QString select(int magIdx)
{
    return Sql::lines({QStringLiteral("select *"), QStringLiteral("from magzine"),
                       QStringLiteral("where magidx = ") + num(magIdx)});
}

qint64 countByName(const QString &name, int exceptMagIdx)
{
    PreparedStatement s(QStringLiteral("select count(*) as cnt from magzine where MagName = ?"
                                       " and (MagIdx is null or MagIdx <> ?)"));
    run(s, {TextValue(name), exceptMagIdx});
    return s.next() ? s.value(0).toLongLong() : 0;
}

QString maxIdx()
{
    return QStringLiteral("select max(MagIdx) from Magzine");
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
    run(s, {m.magIdx, TextValue(m.name), TextValue(m.owner), TextValue(m.adrs), TextValue(m.atena),
            signValue(m.sign), TextValue(f[0]), TextValue(f[1]), TextValue(f[2]), TextValue(f[3]), TextValue(f[4]),
            TextValue(f[5]), TextValue(f[6]), bit(m.useUserName)});
}

int insertNew(const MagazineRecord &m)
{
    Transaction t;
    MagazineRecord row = m;
    row.magIdx = int(Statement().scalar(maxIdx()) + 1);
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
    run(s, {TextValue(m.name), TextValue(m.owner), TextValue(m.adrs), TextValue(m.atena), signValue(m.sign),
            TextValue(f[0]), TextValue(f[1]), TextValue(f[2]), TextValue(f[3]), TextValue(f[4]), TextValue(f[5]),
            TextValue(f[6]), bit(m.useUserName), m.magIdx});
}

QString remove(int magIdx)
{
    return Sql::lines({QStringLiteral("delete from Magzine"), QStringLiteral("where MagIdx = ") + num(magIdx)});
}

QString removeMembers(int magIdx)
{
    return Sql::lines({QStringLiteral("delete from MagUser"), QStringLiteral("where MagIdx = ") + num(magIdx)});
}

std::array<QString, 7> defaultFieldNames()
{
    // The second counter's default has a half-width 2; the empty-field warning names it
    // with a full-width one.
    return {QStringLiteral("フラグ１"), QStringLiteral("フラグ２"), QStringLiteral("フラグ３"),
            QStringLiteral("数字１"), QStringLiteral("数字2"), QStringLiteral("日付１"), QStringLiteral("日付２")};
}

namespace {

MagazineRecord read(Statement &s)
{
    MagazineRecord m;
    m.magIdx = int(s.integer(QStringLiteral("MagIdx")));
    m.name = s.text(QStringLiteral("MagName"));
    m.owner = s.text(QStringLiteral("Owner"));
    m.adrs = s.text(QStringLiteral("Adrs"));
    m.atena = s.text(QStringLiteral("Atena"));
    m.sign = s.text(QStringLiteral("Sign"));
    const char *const names[7] = {"Flg1Name", "Flg2Name", "Flg3Name", "Count1Name", "Count2Name", "UserDate1Name",
                                  "UserDate2Name"};
    for (int i = 0; i < 7; ++i)
        m.fieldNames[i] = s.text(QLatin1String(names[i]));
    m.useUserName = s.integer(QStringLiteral("UseUserName")) == 1;
    return m;
}

} // namespace

std::optional<MagazineRecord> load(int magIdx)
{
    Statement s;
    s.open(select(magIdx));
    if (!s.next())
        return std::nullopt;
    MagazineRecord m = read(s);
    s.close();
    return m;
}

} // namespace MagazineSql

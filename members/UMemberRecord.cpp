#include "members/UMemberRecord.h"

#include "store/Database.h"
#include "store/Sql.h"

namespace {

QString num(qint64 v)
{
    return QString::number(v);
}

QString bit(bool on)
{
    return on ? QStringLiteral("1") : QStringLiteral("0");
}

// A date the member dialog writes: NULL stays NULL, a text is quoted.
QString dateValue(const std::optional<QString> &d)
{
    return d ? Sql::q(*d) : QStringLiteral("NULL");
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

QString duplicateAddressCount(int magIdx, const QString &address)
{
    return QStringLiteral("select count(*) from MagUser where UserAdrs = ") + Sql::q(address)
         + QStringLiteral(" and MagIdx = ") + num(magIdx);
}

QString maxUserIdx(int magIdx)
{
    return QStringLiteral("select max(UserIdx) from MagUser where MagIdx = ") + num(magIdx);
}

QString insert(const MemberRecord &m)
{
    const QString comma = QStringLiteral(",");
    return Sql::lines({
        QStringLiteral("insert into MagUser (MagIdx,UserIdx,UserName,UserAdrs,url,Sleep,flg1,flg2,flg3,Count1,"
                       "Count2,UserDate1,UserDate2,AddDate)"),
        QStringLiteral("values("),
        num(m.magIdx) + comma + num(m.userIdx) + comma + Sql::q(m.name) + comma + Sql::q(m.address) + comma
            + Sql::q(m.url) + comma + bit(m.sleep) + comma,
        bit(m.flags[0]) + comma + bit(m.flags[1]) + comma + bit(m.flags[2]) + comma,
        num(m.counts[0]) + comma + num(m.counts[1]) + comma + dateValue(m.date1) + comma + dateValue(m.date2)
            + comma,
        Sql::q(m.addDate) + QStringLiteral(")"),
    });
}

QString update(const MemberRecord &m)
{
    return Sql::lines({
        QStringLiteral("update MagUser set"),
        QStringLiteral("UserName = ") + Sql::q(m.name) + QStringLiteral(","),
        QStringLiteral("UserAdrs = ") + Sql::q(m.address) + QStringLiteral(","),
        QStringLiteral("url = ") + Sql::q(m.url) + QStringLiteral(","),
        QStringLiteral("Sleep = ") + bit(m.sleep) + QStringLiteral(","),
        QStringLiteral("flg1 = ") + bit(m.flags[0]) + QStringLiteral(","),
        QStringLiteral("flg2 = ") + bit(m.flags[1]) + QStringLiteral(","),
        QStringLiteral("flg3 = ") + bit(m.flags[2]) + QStringLiteral(","),
        QStringLiteral("Count1 = ") + num(m.counts[0]) + QStringLiteral(","),
        QStringLiteral("Count2 = ") + num(m.counts[1]) + QStringLiteral(","),
        QStringLiteral("UserDate1 = ") + dateValue(m.date1) + QStringLiteral(","),
        QStringLiteral("UserDate2 = ") + dateValue(m.date2),
        QStringLiteral("where MagIdx = ") + num(m.magIdx) + QStringLiteral(" and "),
        QStringLiteral("UserIdx = ") + num(m.userIdx),
    });
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

QString selectByName(const QString &name)
{
    return Sql::lines({QStringLiteral("select * from magzine where"), QStringLiteral("MagName = ") + Sql::dq(name)});
}

QString countByName(const QString &name)
{
    return Sql::lines(
        {QStringLiteral("select count(*) as cnt from magzine where"), QStringLiteral("MagName = ") + Sql::dq(name)});
}

QString maxIdx()
{
    return QStringLiteral("select max(MagIdx) from Magzine");
}

QString insert(const MagazineRecord &m)
{
    const QString c = QStringLiteral(",");
    QStringList lines{
        QStringLiteral("insert into magzine (MagIdx,MagName,Owner,Adrs,Atena,Sign,Flg1Name,Flg2Name,Flg3Name,"),
        QStringLiteral("count1Name,Count2Name,USerDate1Name,UserDate2Name,UseUserName)"),
        QStringLiteral("values(") + num(m.magIdx) + c + Sql::q(m.name) + c,
        Sql::q(m.owner) + c,
        Sql::q(m.adrs) + c,
        Sql::q(m.atena) + c,
        m.sign.isEmpty() ? QStringLiteral("NULL,") : Sql::q(m.sign) + c,
    };
    for (const QString &n : m.fieldNames)
        lines << Sql::q(n) + c;
    lines << (m.useUserName ? QStringLiteral("1)") : QStringLiteral("0)"));
    return Sql::lines(lines);
}

QString update(const MagazineRecord &m)
{
    const char *const names[7] = {"Flg1Name", "Flg2Name", "Flg3Name", "Count1Name", "Count2Name", "UserDate1Name",
                                  "UserDate2Name"};
    QStringList lines{
        QStringLiteral("update magzine set MagName = ") + Sql::q(m.name),
        QStringLiteral(",Owner = ") + Sql::q(m.owner),
        QStringLiteral(",Adrs = ") + Sql::q(m.adrs),
        QStringLiteral(",Atena = ") + Sql::q(m.atena),
        m.sign.isEmpty() ? QStringLiteral(",Sign=NULL") : QStringLiteral(",Sign=") + Sql::q(m.sign),
    };
    for (int i = 0; i < 7; ++i)
        lines << QStringLiteral(",") + QLatin1String(names[i]) + QStringLiteral(" = ") + Sql::q(m.fieldNames[i]);
    lines << (m.useUserName ? QStringLiteral(",UseUserName = 1") : QStringLiteral(",UseUserName = 0"));
    lines << QStringLiteral("where MagIdx = ") + num(m.magIdx);
    return Sql::lines(lines);
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

std::optional<MagazineRecord> loadByName(const QString &name)
{
    Statement s;
    s.open(selectByName(name));
    if (!s.next())
        return std::nullopt;
    MagazineRecord m = read(s);
    s.close();
    return m;
}

} // namespace MagazineSql

std::array<QString, 7> AfterSendCaptions(const std::array<QString, 7> &fieldNames)
{
    std::array<QString, 7> out;
    for (size_t i = 0; i < 7; ++i) {
        const QString suffix = i < 3 ? QStringLiteral("をON") : i < 5 ? QStringLiteral("を加算") : QStringLiteral("を今日の日付");
        out[i] = fieldNames[i] + suffix;
    }
    return out;
}

#include "StoreFixture.h"

#include "store/PreparedStatement.h"
#include "store/Database.h"
#include "store/Sql.h"

#include <algorithm>

namespace StoreFixture {

namespace {

QString insertStatement(const QString &table, const Row &row)
{
    QStringList names;
    QStringList marks;
    for (const auto &column : row) {
        names << column.first;
        marks << QStringLiteral("?");
    }
    return QStringLiteral("insert into %1 (%2) values (%3)")
        .arg(table, names.join(QLatin1Char(',')), marks.join(QLatin1Char(',')));
}

void bindRow(PreparedStatement &s, const Row &row)
{
    for (int i = 0; i < row.size(); ++i)
        s.bind(i, row[i].second);
}

// `more` after `row`; a column named again takes the later value, so `more` can change a default.
Row merged(Row row, const Row &more)
{
    for (const auto &column : more) {
        auto same = std::find_if(row.begin(), row.end(), [&](const auto &c) {
            return c.first.compare(column.first, Qt::CaseInsensitive) == 0;
        });
        if (same != row.end())
            same->second = column.second;
        else
            row.append(column);
    }
    return row;
}

} // namespace

void insert(const QString &table, const Row &row)
{
    PreparedStatement s(insertStatement(table, row));
    bindRow(s, row);
    s.exec();
}

void insertMany(const QString &table, int count, const std::function<Row(int)> &rowAt)
{
    if (count <= 0)
        return;
    Transaction t;
    const Row first = rowAt(0);
    PreparedStatement s(insertStatement(table, first));
    bindRow(s, first);
    s.exec();
    for (int i = 1; i < count; ++i) {
        bindRow(s, rowAt(i));
        s.exec();
    }
    t.commit();
}

QStringList defaultFieldNames()
{
    return {QStringLiteral("フラグ１"),   QStringLiteral("フラグ２"),   QStringLiteral("フラグ３"),
            QStringLiteral("カウンタ１"), QStringLiteral("カウンタ２"), QStringLiteral("日付１"),
            QStringLiteral("日付２")};
}

QStringList shopFieldNames()
{
    return {QStringLiteral("既読"),     QStringLiteral("会員"),       QStringLiteral("特典"),
            QStringLiteral("購読回数"), QStringLiteral("ポイント"),   QStringLiteral("最終購読日"),
            QStringLiteral("誕生日")};
}

void addMagazine(int magIdx, const QString &name, const QStringList &fieldNames, const Row &more)
{
    static const char *const fieldColumns[] = {"Flg1Name",   "Flg2Name",      "Flg3Name",     "Count1Name",
                                               "Count2Name", "UserDate1Name", "UserDate2Name"};
    Row row{{QStringLiteral("MagIdx"), magIdx},
            {QStringLiteral("MagName"), TextValue(name)},
            {QStringLiteral("Owner"), QStringLiteral("発行者")},
            {QStringLiteral("Adrs"), QStringLiteral("pub@example.jp")},
            {QStringLiteral("Atena"), QStringLiteral("様")}};
    for (int i = 0; i < 7 && i < fieldNames.size(); ++i)
        row.append({QLatin1String(fieldColumns[i]), TextValue(fieldNames[i])});
    row.append({QStringLiteral("UseUserName"), 0});
    insert(QStringLiteral("Magzine"), merged(row, more));
}

Row memberRow(int magIdx, int userIdx, const QString &name, const QString &address, const Row &more)
{
    return merged({{QStringLiteral("MagIdx"), magIdx},
                   {QStringLiteral("UserIdx"), userIdx},
                   {QStringLiteral("UserName"), TextValue(name)},
                   {QStringLiteral("UserAdrs"), TextValue(address)},
                   {QStringLiteral("AddDate"), QStringLiteral("20240101")}},
                  more);
}

void addMember(int magIdx, int userIdx, const QString &name, const QString &address, const Row &more)
{
    insert(QStringLiteral("MagUser"), memberRow(magIdx, userIdx, name, address, more));
}

Row blankMemberColumns()
{
    const QString empty = QLatin1String("");
    return {{QStringLiteral("Flg1"), 0},
            {QStringLiteral("Flg2"), 0},
            {QStringLiteral("Flg3"), 0},
            {QStringLiteral("Sleep"), 0},
            {QStringLiteral("Count1"), 0},
            {QStringLiteral("Count2"), 0},
            {QStringLiteral("UserDate1"), TextValue(empty)},
            {QStringLiteral("UserDate2"), TextValue(empty)}};
}

Row importedMemberColumns()
{
    return {{QStringLiteral("url"), TextValue(QLatin1String(""))},
            {QStringLiteral("Flg1"), 0},
            {QStringLiteral("Flg2"), 0},
            {QStringLiteral("Flg3"), 0},
            {QStringLiteral("Sleep"), 0},
            {QStringLiteral("Count1"), 0},
            {QStringLiteral("Count2"), 0},
            {QStringLiteral("UserDate1"), QStringLiteral("20240101")},
            {QStringLiteral("UserDate2"), QStringLiteral("20240101")}};
}

void addIssue(int magIdx, int magCnt, const Issue &issue)
{
    insert(QStringLiteral("MagInfo"), {{QStringLiteral("MagIdx"), magIdx},
                                       {QStringLiteral("MagCnt"), magCnt},
                                       {QStringLiteral("AddDate"), TextValue(issue.addDate)},
                                       {QStringLiteral("SendCnt"), issue.sendCnt},
                                       {QStringLiteral("Condition"), TextValue(issue.condition)},
                                       {QStringLiteral("Title"), TextValue(issue.title)},
                                       {QStringLiteral("Body"), TextValue(Sql::escapeBody(issue.body))},
                                       {QStringLiteral("UpdateSQL"), TextValue(issue.updateSql)}});
}

void addRecipient(int magIdx, int magCnt, int userIdx, const Row &more)
{
    insert(QStringLiteral("MagHist"),
           merged({{QStringLiteral("MagIdx"), magIdx}, {QStringLiteral("MagCnt"), magCnt}, {QStringLiteral("MagUser"), userIdx}},
                  more));
}

void addSendStates(int magIdx, int magCnt, const QList<SendResult> &results, const QList<qint64> &sending)
{
    {
        Transaction t;
        SendStates::seed(magIdx, magCnt);
        t.commit();
    }
    if (!results.isEmpty())
        SendStates::record(magIdx, magCnt, QString(), results);
    if (!sending.isEmpty())
        SendStates::markSending(magIdx, magCnt, sending);
}

QStringList commonRowsWithTypes()
{
    QStringList out;
    Statement s;
    s.open("select key1,key2,int1,int2,int3,str1,str2,str3,"
           "typeof(key1),typeof(key2),typeof(int1),typeof(int2),typeof(int3),typeof(str1),typeof(str2),typeof(str3)"
           " from CommonTBL order by key1,key2");
    while (s.next()) {
        QStringList r;
        for (int i = 0; i < 8; ++i)
            r += (s.isNull(i) ? QStringLiteral("NULL") : s.value(i).toString()) + u':' + s.text(i + 8);
        out += r.join(u'|');
    }
    return out;
}

} // namespace StoreFixture

#include "StoreFixture.h"

#include "store/Batch.h"

#include <algorithm>

namespace StoreFixture {

void insert(const QString &table, const Row &row)
{
    QStringList names;
    QStringList marks;
    for (const auto &column : row) {
        names << column.first;
        marks << QStringLiteral("?");
    }
    PreparedStatement s(QStringLiteral("insert into %1 (%2) values (%3)")
                            .arg(table, names.join(QLatin1Char(',')), marks.join(QLatin1Char(','))));
    for (int i = 0; i < row.size(); ++i)
        s.bind(i, row[i].second);
    s.exec();
}

QStringList defaultFieldNames()
{
    return {QStringLiteral("フラグ１"),   QStringLiteral("フラグ２"),   QStringLiteral("フラグ３"),
            QStringLiteral("カウンタ１"), QStringLiteral("カウンタ２"), QStringLiteral("日付１"),
            QStringLiteral("日付２")};
}

void addMagazine(int magIdx, const QString &name, const QStringList &fieldNames)
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
    insert(QStringLiteral("Magzine"), row);
}

void addMember(int magIdx, int userIdx, const QString &name, const QString &address, const Row &more)
{
    Row row{{QStringLiteral("MagIdx"), magIdx},
            {QStringLiteral("UserIdx"), userIdx},
            {QStringLiteral("UserName"), TextValue(name)},
            {QStringLiteral("UserAdrs"), TextValue(address)},
            {QStringLiteral("AddDate"), QStringLiteral("20240101")}};
    // A column named again takes the later value, so `more` can change a default.
    for (const auto &column : more) {
        auto same = std::find_if(row.begin(), row.end(), [&](const auto &c) {
            return c.first.compare(column.first, Qt::CaseInsensitive) == 0;
        });
        if (same != row.end())
            same->second = column.second;
        else
            row.append(column);
    }
    insert(QStringLiteral("MagUser"), row);
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

} // namespace StoreFixture

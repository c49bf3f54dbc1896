#pragma once
// The composer's templates (定型文): the fourteen items and the text each inserts. Date and
// time forms are the Japanese ones (era, weekday names) whatever the machine's locale.
#include <QDateTime>
#include <QString>
#include <QStringList>

namespace Templates {

enum Item {
    FromFile = 0,
    Signature,
    DateFull,       // 2024年1月5日
    DateEra,        // 令和06年1月5日
    DateMonthDay,   // 1月5日
    WeekdayShort,   // (月)
    WeekdayLong,    // 月曜日
    Time,           // 9時05分
    MemberName,
    Count1,
    Count2,
    UserDate1,
    UserDate2,
    Url,
    ItemCount
};

QStringList Items();
// The item whose text this is, -1 when none.
int itemOf(const QString &text);

// The text an item inserts at the given moment; "" for the two file items and unknown items.
QString Text(int item, const QDateTime &now);

// Japanese era name and year of the era for a date ("令和", 6); era "" before Meiji.
struct EraYear {
    QString era;
    int year = 0;
};
EraYear JapaneseEra(const QDate &date);
// 日 月 火 水 木 金 土 (short) or 日曜日 ... (long), for Qt's day of week 1 (Monday) .. 7.
QString WeekdayName(int dayOfWeek, bool longForm);

} // namespace Templates

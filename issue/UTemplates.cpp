#include "issue/UTemplates.h"

namespace Templates {

QStringList Items()
{
    return {QStringLiteral("ファイルから"),
            QStringLiteral("署名"),
            QStringLiteral("日付 - yyyy年mm月dd日"),
            QStringLiteral("日付 - 年号yy年mm月dd日"),
            QStringLiteral("日付 - mm月dd日"),
            QStringLiteral("曜日 - (月)"),
            QStringLiteral("曜日 - 月曜日"),
            QStringLiteral("時間 - hh時mm分"),
            QStringLiteral("メンバー名"),
            QStringLiteral("カウンタ１の値 - 999,999"),
            QStringLiteral("カウンタ２の値 - 999,999"),
            QStringLiteral("日付１の値 - yyyy年mm月dd日"),
            QStringLiteral("日付２の値 - yyyy年mm月dd日"),
            QStringLiteral("url")};
}

int itemOf(const QString &text)
{
    return int(Items().indexOf(text));
}

EraYear JapaneseEra(const QDate &date)
{
    // First day of each era, newest first.
    struct Era {
        int y, m, d;
        const char16_t *name;
    };
    static const Era eras[] = {
        {2019, 5, 1, u"令和"}, {1989, 1, 8, u"平成"}, {1926, 12, 25, u"昭和"},
        {1912, 7, 30, u"大正"}, {1868, 9, 8, u"明治"},
    };
    for (const Era &e : eras)
        if (date >= QDate(e.y, e.m, e.d))
            return {QString::fromUtf16(e.name), date.year() - e.y + 1};
    return {QString(), date.year()};
}

QString WeekdayName(int dayOfWeek, bool longForm)
{
    static const char16_t *const names[7] = {u"月", u"火", u"水", u"木", u"金", u"土", u"日"};
    if (dayOfWeek < 1 || dayOfWeek > 7)
        return {};
    const QString n = QString::fromUtf16(names[dayOfWeek - 1]);
    return longForm ? n + QStringLiteral("曜日") : n;
}

QString Text(int item, const QDateTime &now)
{
    const QDate d = now.date();
    const QTime t = now.time();
    const auto monthDay = [&d]() -> QString {
        return QString::number(d.month()) + QStringLiteral("月") + QString::number(d.day()) + QStringLiteral("日");
    };
    switch (item) {
    case DateFull: return QString::number(d.year()) + QStringLiteral("年") + monthDay();
    case DateEra: {
        const EraYear e = JapaneseEra(d);
        return e.era + QStringLiteral("%1").arg(e.year, 2, 10, QLatin1Char('0')) + QStringLiteral("年") + monthDay();
    }
    case DateMonthDay: return monthDay();
    case WeekdayShort: return QStringLiteral("(") + WeekdayName(d.dayOfWeek(), false) + QStringLiteral(")");
    case WeekdayLong: return WeekdayName(d.dayOfWeek(), true);
    case Time:
        return QString::number(t.hour()) + QStringLiteral("時") + QStringLiteral("%1").arg(t.minute(), 2, 10, QLatin1Char('0'))
             + QStringLiteral("分");
    case MemberName: return QStringLiteral("[member name]");
    case Count1: return QStringLiteral("[count1 value]");
    case Count2: return QStringLiteral("[count2 value]");
    case UserDate1: return QStringLiteral("[user date1 yyyy/mm/dd]");
    case UserDate2: return QStringLiteral("[user date2 yyyy/mm/dd]");
    case Url: return QStringLiteral("[url]");
    default: return {};
    }
}

} // namespace Templates

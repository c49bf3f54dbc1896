#pragma once
// Per-member placeholders in an issue's body. The six placeholders are replaced in a fixed
// order on a working copy ("[member name]", "[url]", "[count1 value]", "[count2 value]",
// "[user date1 yyyy/mm/dd]", "[user date2 yyyy/mm/dd]"), each only when it occurs in the body
// as written, so a value put in by an earlier step is searched by the later ones.
#include <QByteArray>
#include <QDate>
#include <QString>
#include <QStringList>

// One member's values as the recipient query reads them (a NULL counter is 0; a NULL or empty
// date stands for the day of sending).
struct MemberValues
{
    QString UserName;
    QString url;
    qint64 count1 = 0;
    qint64 count2 = 0;
    QString UserDate1; // "yyyymmdd"
    QString UserDate2;
};

// True when the body holds at least one of the six placeholders (spelled exactly, case-sensitive).
bool HasPlaceholders(const QString &body);

// The body with the member's values put in. Counters are written with thousands separators,
// dates as "yyyy年m月d日" (an empty date as today). A stored date that is not a valid yyyymmdd
// cannot be written as a date: its placeholder is left as typed, and listed in *unformatted,
// so one bad record never stops a delivery and the caller can still report it.
QString Personalize(const QString &body, const MemberValues &member, const QDate &today,
                    QStringList *unformatted = nullptr);
// 1234567 -> "1,234,567", -5 -> "-5".
QString FormatCount(qint64 value);
// "20240305" -> "2024年3月5日"; "" -> today in the same form; anything else -> empty, *ok false.
QString FormatUserDate(const QString &stored, const QDate &today, bool *ok = nullptr);

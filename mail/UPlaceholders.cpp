#include "mail/UPlaceholders.h"

#include <array>

namespace {

enum Field { Name, Url, Count1, Count2, Date1, Date2 };

// In the order they are replaced.
constexpr std::array<const char *, 6> Placeholders = {
    "[member name]",           "[url]", "[count1 value]", "[count2 value]",
    "[user date1 yyyy/mm/dd]", "[user date2 yyyy/mm/dd]",
};

// Valid yyyymmdd (surrounding blanks tolerated), or an invalid date.
QDate parseStored(const QString &stored)
{
    const QString s = stored.trimmed();
    if (s.size() != 8)
        return {};
    for (QChar c : s)
        if (c < u'0' || c > u'9')
            return {};
    return QDate(s.left(4).toInt(), s.mid(4, 2).toInt(), s.mid(6, 2).toInt());
}

// The date of a placeholder, or an invalid date when the stored text is not one.
QDate userDate(const QString &stored, const QDate &today)
{
    return stored.trimmed().isEmpty() ? today : parseStored(stored);
}

QByteArray countAscii(qint64 value)
{
    // Magnitude as unsigned, so the most negative value still prints.
    quint64 v = value < 0 ? quint64(0) - quint64(value) : quint64(value);
    char buf[32];
    char *d = buf + sizeof buf;
    int digits = 0;
    do {
        if (digits && digits % 3 == 0)
            *--d = ',';
        *--d = char('0' + v % 10);
        v /= 10;
        ++digits;
    } while (v);
    if (value < 0)
        *--d = '-';
    return QByteArray(d, buf + sizeof buf - d);
}

} // namespace

QString FormatCount(qint64 value)
{
    return QString::fromLatin1(countAscii(value));
}

QString FormatUserDate(const QString &stored, const QDate &today, bool *ok)
{
    const QDate d = userDate(stored, today);
    if (ok)
        *ok = d.isValid();
    if (!d.isValid())
        return {};
    return QStringLiteral("%1年%2月%3日").arg(d.year(), 4, 10, QChar(u'0')).arg(d.month()).arg(d.day());
}

bool HasPlaceholders(const QString &body)
{
    for (const char *ph : Placeholders)
        if (body.contains(QLatin1String(ph)))
            return true;
    return false;
}

QString Personalize(const QString &body, const MemberValues &member, const QDate &today, QStringList *unformatted)
{
    QString work = body;
    for (int f = Name; f <= Date2; ++f) {
        const QLatin1String ph(Placeholders[size_t(f)]);
        if (!body.contains(ph))
            continue;
        QString value;
        switch (f) {
        case Name: value = member.UserName; break;
        case Url: value = member.url; break;
        case Count1: value = FormatCount(member.count1); break;
        case Count2: value = FormatCount(member.count2); break;
        case Date1:
        case Date2: {
            bool ok = false;
            value = FormatUserDate(f == Date1 ? member.UserDate1 : member.UserDate2, today, &ok);
            if (!ok) {
                if (unformatted)
                    unformatted->append(ph);
                continue;
            }
            break;
        }
        }
        work.replace(ph, value);
    }
    return work;
}

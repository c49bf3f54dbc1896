#include "mail/UPlaceholders.h"

#include "store/Codec.h"

#include <array>
#include <cstring>

namespace {

enum Field { Name, Url, Count1, Count2, Date1, Date2 };

// In the order they are replaced.
constexpr std::array<const char *, 6> Placeholders = {
    "[member name]",           "[url]", "[count1 value]", "[count2 value]",
    "[user date1 yyyy/mm/dd]", "[user date2 yyyy/mm/dd]",
};

constexpr bool isLead(unsigned char b) { return (b >= 0x81 && b <= 0x9F) || (b >= 0xE0 && b <= 0xFC); }

// True when pos starts a character of the CP932 text. Bytes that can lead a double-byte
// character pair up from the last byte before them that cannot; an odd count before pos means
// pos is a trail byte (ー is 81 5B: its trail byte is "[").
bool atBoundary(const unsigned char *p, qsizetype pos)
{
    qsizetype leads = 0;
    for (qsizetype i = pos - 1; i >= 0 && isLead(p[i]); --i)
        ++leads;
    return leads % 2 == 0;
}

// Position of needle in CP932 text from `from`, never inside a double-byte character.
qsizetype findSjis(const QByteArray &text, const char *needle, qsizetype needleLen, qsizetype from)
{
    const char *base = text.constData();
    const char *end = base + text.size();
    for (const char *at = base + from; end - at >= needleLen; ++at) {
        at = static_cast<const char *>(std::memchr(at, needle[0], size_t(end - at - needleLen + 1)));
        if (!at)
            return -1;
        if (std::memcmp(at, needle, size_t(needleLen)) == 0
            && atBoundary(reinterpret_cast<const unsigned char *>(base), at - base))
            return at - base;
    }
    return -1;
}

void replaceAllSjis(QByteArray &text, const char *needle, const QByteArray &value)
{
    const auto len = qsizetype(std::strlen(needle));
    qsizetype at = findSjis(text, needle, len, 0);
    if (at < 0)
        return;
    QByteArray out;
    out.reserve(text.size() + value.size() * 4);
    qsizetype done = 0;
    while (at >= 0) {
        out.append(text.constData() + done, at - done);
        out.append(value);
        done = at + len;
        at = findSjis(text, needle, len, done);
    }
    out.append(text.constData() + done, text.size() - done);
    text = std::move(out);
}

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

QByteArray dateSjis(const QDate &d)
{
    // 年 月 日 in CP932
    return QByteArray::number(d.year()).rightJustified(4, '0') + "\x94\x4E" + QByteArray::number(d.month())
        + "\x8C\x8E" + QByteArray::number(d.day()) + "\x93\xFA";
}

// A name or url in CP932; most are ASCII, which needs no converter.
QByteArray cp932(const QString &text)
{
    for (QChar c : text)
        if (c.unicode() >= 0x80)
            return Codec::toCp932(text);
    return text.toLatin1();
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

bool HasPlaceholders(const QByteArray &sjisBody)
{
    for (const char *ph : Placeholders)
        if (findSjis(sjisBody, ph, qsizetype(std::strlen(ph)), 0) >= 0)
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

QByteArray PersonalizeSjis(const QByteArray &sjisBody, const MemberValues &member, const QDate &today,
                           QStringList *unformatted)
{
    QByteArray work = sjisBody;
    for (int f = Name; f <= Date2; ++f) {
        const char *ph = Placeholders[size_t(f)];
        if (findSjis(sjisBody, ph, qsizetype(std::strlen(ph)), 0) < 0)
            continue;
        QByteArray value;
        switch (f) {
        case Name: value = cp932(member.UserName); break;
        case Url: value = cp932(member.url); break;
        case Count1: value = countAscii(member.count1); break;
        case Count2: value = countAscii(member.count2); break;
        case Date1:
        case Date2: {
            const QDate d = userDate(f == Date1 ? member.UserDate1 : member.UserDate2, today);
            if (!d.isValid()) {
                if (unformatted)
                    unformatted->append(QLatin1String(ph));
                continue;
            }
            value = dateSjis(d);
            break;
        }
        }
        replaceAllSjis(work, ph, value);
    }
    return work;
}

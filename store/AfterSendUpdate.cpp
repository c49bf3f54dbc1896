#include "store/AfterSendUpdate.h"

#include <QStringView>

namespace {

// Each piece as it is stored; the dates are followed by the day in double quotes.
constexpr const char *kPieces[7] = {
    "flg1 = 1", "flg2 = 1", "flg3 = 1", "Count1 = Count1 + 1", "Count2 = Count2 + 1", "UserDate1 = ", "UserDate2 = ",
};

bool isDatePiece(size_t i)
{
    return i >= 5;
}

bool isDay(QStringView s)
{
    if (s.size() != 8)
        return false;
    for (const QChar c : s) {
        if (c < u'0' || c > u'9')
            return false;
    }
    return QDate::fromString(s.toString(), QStringLiteral("yyyyMMdd")).isValid();
}

QString joined(const std::array<bool, 7> &pieces, const QString &dayText)
{
    QString out;
    for (size_t i = 0; i < 7; ++i) {
        if (!pieces[i])
            continue;
        out += (out.isEmpty() ? QStringLiteral("set ") : QStringLiteral(",")) + QLatin1String(kPieces[i]);
        if (isDatePiece(i))
            out += dayText;
    }
    return out;
}

} // namespace

bool AfterSendUpdate::isEmpty() const
{
    for (const bool p : pieces) {
        if (p)
            return false;
    }
    return true;
}

QString AfterSendUpdate::text(const std::array<bool, 7> &pieces, const QDate &today)
{
    return joined(pieces, QLatin1Char('"') + today.toString(QStringLiteral("yyyyMMdd")) + QLatin1Char('"'));
}

std::optional<AfterSendUpdate> AfterSendUpdate::read(const QString &stored)
{
    AfterSendUpdate u;
    if (stored.isEmpty())
        return u;
    QStringView rest(stored);
    const QLatin1String set("set ");
    if (!rest.startsWith(set))
        return std::nullopt;
    rest = rest.mid(set.size());
    size_t next = 0; // pieces come once each, in the order they are written
    bool first = true;
    while (first || !rest.isEmpty()) {
        if (!first) {
            if (!rest.startsWith(u','))
                return std::nullopt;
            rest = rest.mid(1);
        }
        first = false;
        size_t i = next;
        while (i < 7 && !rest.startsWith(QLatin1String(kPieces[i])))
            ++i;
        if (i == 7)
            return std::nullopt;
        rest = rest.mid(qsizetype(qstrlen(kPieces[i])));
        if (isDatePiece(i)) {
            if (rest.size() < 10 || rest[0] != u'"' || rest[9] != u'"' || !isDay(rest.mid(1, 8)))
                return std::nullopt;
            const QString day = rest.mid(1, 8).toString();
            // both dates of one update are set to the same day
            if (!u.day.isEmpty() && u.day != day)
                return std::nullopt;
            u.day = day;
            rest = rest.mid(10);
        }
        u.pieces[i] = true;
        next = i + 1;
    }
    return u;
}

QString AfterSendUpdate::setClause() const
{
    return joined(pieces, QStringLiteral("?"));
}

int AfterSendUpdate::dayMarks() const
{
    return int(pieces[5]) + int(pieces[6]);
}

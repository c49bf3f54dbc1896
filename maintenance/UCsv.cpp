#include "maintenance/UCsv.h"

#include <QRegularExpression>

#include <limits>

namespace {

const QChar kQuote = QLatin1Char('"');
const QChar kComma = QLatin1Char(',');

bool isBlank(QChar c)
{
    return c.unicode() <= 0x20 || c.unicode() == 0x7F;
}

QStringView trimmedBlank(QStringView s)
{
    qsizetype b = 0;
    qsizetype e = s.size();
    while (b < e && isBlank(s[b]))
        ++b;
    while (e > b && isBlank(s[e - 1]))
        --e;
    return s.mid(b, e - b);
}

// A quoted field that is complete: it ends with a quote that closes it (the quotes in it
// pair up: the opening one, doubled ones, the closing one).
bool closesQuoted(QStringView field)
{
    if (field.size() < 2 || !field.endsWith(kQuote))
        return false;
    return field.count(kQuote) % 2 == 0;
}

// The value of a field: a quoted field loses its quotes and its doubled quotes read as
// one; an unquoted one loses a trailing quote only.
QString fieldValue(QStringView field)
{
    if (!field.startsWith(kQuote)) {
        if (field.endsWith(kQuote))
            return field.left(field.size() - 1).toString();
        return field.toString();
    }
    QString out;
    out.reserve(field.size());
    const qsizetype n = field.size();
    qsizetype i = 1;
    while (i < n) {
        const qsizetype q = field.indexOf(kQuote, i);
        if (q < 0) {
            out += field.mid(i);
            break;
        }
        out += field.mid(i, q - i);
        if (q + 1 < n && field[q + 1] == kQuote) {
            out += kQuote; // a doubled quote reads as one
            i = q + 2;
        } else if (q + 1 == n) {
            break; // the closing quote
        } else {
            out += kQuote; // a quote on its own stays
            i = q + 1;
        }
    }
    return out;
}

} // namespace

QStringList SplitCsvLine(const QString &line)
{
    QStringList fields;
    const qsizetype n = line.size();
    const QChar *d = line.constData();
    // Every character is looked at a bounded number of times, so a long line full of
    // commas inside quotes costs its length, not its length squared. A quoted field closes
    // at the first piece end (a "," or the line end) whose last non-blank character is a
    // quote with an even number of quotes from the field's start: that is, where the
    // number of quotes before the piece end has the parity it had at the field's start.
    // A search that found no such end for one parity stays answered for every later
    // field that starts at the same parity.
    qsizetype parityPos = 0;
    bool parity = false; // quotes in line[0, parityPos) are odd
    bool noCloseFor[2] = {false, false};
    const auto parityAt = [&](qsizetype at) {
        for (; parityPos < at; ++parityPos)
            if (d[parityPos] == kQuote)
                parity = !parity;
        return parity;
    };

    qsizetype pos = 0;
    while (pos < n) {
        qsizetype comma = line.indexOf(kComma, pos);
        if (comma < 0) {
            fields << fieldValue(QStringView(line).mid(pos));
            break;
        }
        QStringView field = trimmedBlank(QStringView(line).mid(pos, comma - pos));
        bool toEnd = false;
        if (field.startsWith(kQuote) && (field.size() == 1 || !closesQuoted(field))) {
            // The quoted text holds commas: it runs on to the piece end that closes it.
            const bool startParity = parityAt(pos);
            qsizetype closeAt = -1; // the closing piece end (a comma, or n)
            if (!noCloseFor[startParity]) {
                bool odd = false;
                for (qsizetype k = pos; k < comma; ++k)
                    if (d[k] == kQuote)
                        odd = !odd;
                qsizetype c = comma;
                for (;;) {
                    qsizetype next = line.indexOf(kComma, c + 1);
                    const qsizetype pieceEnd = next < 0 ? n : next;
                    for (qsizetype k = c + 1; k < pieceEnd; ++k)
                        if (d[k] == kQuote)
                            odd = !odd;
                    qsizetype last = pieceEnd - 1;
                    while (last > c && isBlank(d[last]))
                        --last;
                    if (!odd && last > c && d[last] == kQuote) {
                        closeAt = pieceEnd;
                        break;
                    }
                    if (next < 0)
                        break;
                    c = next;
                }
                if (closeAt < 0)
                    noCloseFor[startParity] = true;
            }
            if (closeAt >= 0 && closeAt < n) {
                field = trimmedBlank(QStringView(line).mid(pos, closeAt - pos));
                comma = closeAt;
            } else if (closeAt == n || field.size() > 1) {
                // the field runs to the end of the line; the first piece was trimmed, what
                // follows keeps its blanks unless they only trail the closing quote
                toEnd = true;
                const QStringView rest = QStringView(line).mid(pos);
                field = rest.mid(qMax<qsizetype>(0, rest.indexOf(kQuote)));
                if (closeAt == n)
                    field = trimmedBlank(field);
            }
            // else: a lone double quote that nothing closes is an empty field of its own
        }
        fields << fieldValue(field);
        if (toEnd)
            break;
        pos = comma + 1;
    }
    return fields;
}

QString ToFlagValue(const QString &field)
{
    return field == QLatin1String("1") ? QStringLiteral("1") : QStringLiteral("0");
}

QString ToCountValue(const QString &field, bool *isNumber)
{
    bool hasDigit = false;
    for (const QChar c : field)
        if (c >= QLatin1Char('0') && c <= QLatin1Char('9')) {
            hasDigit = true;
            break;
        }
    if (!hasDigit) {
        if (isNumber)
            *isNumber = true;
        return QStringLiteral("0");
    }
    QString value = field;
    value.remove(kComma);
    if (isNumber) {
        bool ok = false;
        const qint64 n = value.trimmed().toLongLong(&ok, 10);
        *isNumber = ok && n >= std::numeric_limits<qint32>::min() && n <= std::numeric_limits<qint32>::max();
    }
    return value;
}

QString ToDateValue(const QString &field, const QDate &today)
{
    static const QRegularExpression ymd(QStringLiteral("([0-9]{4})/([0-9]{1,2})/([0-9]{1,2})"));
    static const QRegularExpression whole(QStringLiteral("^\\s*([0-9]{4})/([0-9]{1,2})/([0-9]{1,2})\\s*$"));
    static const QRegularExpression eight(QStringLiteral("^[0-9]{8}$"));
    if (ymd.match(field).hasMatch()) {
        const QRegularExpressionMatch m = whole.match(field);
        if (m.hasMatch()) {
            const QDate d(m.captured(1).toInt(), m.captured(2).toInt(), m.captured(3).toInt());
            if (d.isValid())
                return d.toString(QStringLiteral("yyyyMMdd"));
        }
        QString value = field;
        value.remove(QLatin1Char('/'));
        return value;
    }
    if (eight.match(field).hasMatch())
        return field;
    return today.toString(QStringLiteral("yyyyMMdd"));
}

QString CsvQuote(const QString &value)
{
    QString out = value;
    out.replace(kQuote, QLatin1String("\"\""));
    return kQuote + out + kQuote;
}

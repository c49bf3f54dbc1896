#include "maintenance/UCsv.h"

#include "members/UAddress.h"

#include <QRegularExpression>

#include <limits>

namespace {

const QChar kQuote = QLatin1Char('"');
const QChar kComma = QLatin1Char(',');

bool isBlank(QChar c)
{
    return c.unicode() <= 0x20 || c.unicode() == 0x7F;
}

QString trimmedBlank(QStringView s)
{
    qsizetype b = 0;
    qsizetype e = s.size();
    while (b < e && isBlank(s[b]))
        ++b;
    while (e > b && isBlank(s[e - 1]))
        --e;
    return s.mid(b, e - b).toString();
}

// A quoted field that is complete: it ends with a quote that closes it (the quotes in it
// pair up: the opening one, doubled ones, the closing one).
bool closesQuoted(const QString &field)
{
    if (field.size() < 2 || !field.endsWith(kQuote))
        return false;
    return field.count(kQuote) % 2 == 0;
}

// The value of a field: a quoted field loses its quotes and its doubled quotes read as
// one; an unquoted one loses a trailing quote only.
QString fieldValue(const QString &field)
{
    if (!field.startsWith(kQuote)) {
        if (field.endsWith(kQuote))
            return field.left(field.size() - 1);
        return field;
    }
    QString out;
    out.reserve(field.size());
    const qsizetype n = field.size();
    for (qsizetype i = 1; i < n; ++i) {
        const QChar c = field[i];
        if (c == kQuote) {
            if (i + 1 < n && field[i + 1] == kQuote) {
                out += kQuote;
                ++i;
                continue;
            }
            if (i + 1 == n)
                break; // the closing quote
        }
        out += c;
    }
    return out;
}

} // namespace

QStringList SplitCsvLine(const QString &line)
{
    QStringList fields;
    const qsizetype n = line.size();
    qsizetype pos = 0;
    while (pos < n) {
        qsizetype comma = line.indexOf(kComma, pos);
        if (comma < 0) {
            fields << fieldValue(line.mid(pos));
            break;
        }
        QString field = trimmedBlank(QStringView(line).mid(pos, comma - pos));
        bool toEnd = false;
        if (field.startsWith(kQuote) && (field.size() == 1 || !closesQuoted(field))) {
            // The quoted text holds commas: take further pieces up to the closing quote.
            const qsizetype firstComma = comma;
            QString joined = line.mid(pos, comma - pos);
            bool closed = false;
            for (;;) {
                const qsizetype next = line.indexOf(kComma, comma + 1);
                if (next < 0) {
                    joined += line.mid(comma);
                    toEnd = true;
                    closed = closesQuoted(trimmedBlank(joined));
                    break;
                }
                joined += line.mid(comma, next - comma);
                comma = next;
                if (closesQuoted(trimmedBlank(joined))) {
                    closed = true;
                    break;
                }
            }
            if (field.size() == 1 && !closed) {
                // a lone double quote that nothing closes is an empty field of its own
                comma = firstComma;
                toEnd = false;
            } else if (toEnd) {
                // the first piece was trimmed; what follows keeps its blanks unless they
                // only trail the closing quote
                field = joined.mid(qMax<qsizetype>(0, joined.indexOf(kQuote)));
                if (closed)
                    field = trimmedBlank(field);
            } else {
                field = trimmedBlank(joined);
            }
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

bool IsImportableAddress(const QString &field)
{
    if (!IsValidAddress(field))
        return false;
    for (const QChar c : field)
        if (c.unicode() >= 0x80)
            return IsSingleByteText(field);
    return true;
}

QString CsvQuote(const QString &value)
{
    QString out = value;
    out.replace(kQuote, QLatin1String("\"\""));
    return kQuote + out + kQuote;
}

#include "store/Sql.h"

namespace Sql {

QString q(const QString &value)
{
    QString out;
    out.reserve(value.size() + 2);
    appendQuoted(out, value);
    return out;
}

void appendQuoted(QString &out, QStringView value)
{
    out += QLatin1Char('\'');
    qsizetype from = 0;
    for (qsizetype k = value.indexOf(QLatin1Char('\'')); k >= 0; k = value.indexOf(QLatin1Char('\''), from)) {
        out += value.mid(from, k + 1 - from);
        out += QLatin1Char('\'');
        from = k + 1;
    }
    out += value.mid(from);
    out += QLatin1Char('\'');
}

QString dq(const QString &value)
{
    QString out = value;
    out.replace(QLatin1Char('"'), QLatin1String("\"\""));
    return QLatin1Char('"') + out + QLatin1Char('"');
}

QString marks(qsizetype count)
{
    QString out;
    out.reserve(count * 2);
    for (qsizetype i = 0; i < count; ++i) {
        if (i)
            out += QLatin1Char(',');
        out += QLatin1Char('?');
    }
    return out;
}

QString lines(const QStringList &parts)
{
    return parts.join(QLatin1String("\r\n"));
}

QString escapeBody(const QString &body)
{
    QString out = body;
    out.replace(QLatin1Char('\''), QLatin1String("\\~"));
    out.replace(QLatin1Char('"'), QLatin1String("\\^"));
    return out;
}

QString unescapeBody(const QString &stored)
{
    QString out = stored;
    out.replace(QLatin1String("\\~"), QLatin1String("'"));
    out.replace(QLatin1String("\\^"), QLatin1String("\""));
    return out;
}

} // namespace Sql

#include "store/Sql.h"

namespace Sql {

QString q(const QString &value)
{
    QString out = value;
    out.replace(QLatin1Char('\''), QLatin1String("''"));
    return QLatin1Char('\'') + out + QLatin1Char('\'');
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

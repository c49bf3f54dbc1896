#include "issue/UComposeText.h"

#include "store/Codec.h"

namespace ComposeText {

QString WithCrLf(const QString &plainText)
{
    QString t = plainText;
    t.replace(QLatin1String("\r\n"), QLatin1String("\n"));
    t.replace(QLatin1Char('\r'), QLatin1Char('\n'));
    t.replace(QChar::ParagraphSeparator, QLatin1Char('\n'));
    t.replace(QChar::LineSeparator, QLatin1Char('\n'));
    t.replace(QLatin1Char('\n'), QLatin1String("\r\n"));
    return t;
}

int ByteCount(const QString &body)
{
    return int(Codec::toCp932(WithCrLf(body)).size());
}

QString Ruler(int columns)
{
    const int n = qMax(0, 2 * columns);
    QString r(n, QLatin1Char('-'));
    int digits = 0;
    for (int i = 0; i < n; i += 10)
        r[i] = QChar(QLatin1Char('0' + (digits++ % 10)));
    return r;
}

} // namespace ComposeText

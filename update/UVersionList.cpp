#include "update/UVersionList.h"

#include "store/Codec.h"

#include <QStringDecoder>

namespace VersionList {

QString decode(const QByteArray &body)
{
    QStringDecoder utf8(QStringDecoder::Utf8, QStringDecoder::Flag::Stateless);
    const QString text = utf8.decode(body);
    if (!utf8.hasError())
        return text.startsWith(QChar(0xFEFF)) ? text.mid(1) : text;
    return Codec::fromCp932(body);
}

QList<Line> parse(const QString &body)
{
    QList<Line> out;
    const qsizetype n = body.size();
    qsizetype start = 0;
    while (start < n) {
        qsizetype end = start;
        while (end < n && body[end] != QLatin1Char('\r') && body[end] != QLatin1Char('\n'))
            ++end;
        const QStringView line = QStringView(body).mid(start, end - start);

        Line l;
        const qsizetype tab1 = line.indexOf(QLatin1Char('\t'));
        if (tab1 < 0) {
            l.fileName = line.toString();
        } else {
            l.version = line.left(tab1).toString();
            const qsizetype tab2 = line.indexOf(QLatin1Char('\t'), tab1 + 1);
            if (tab2 < 0) {
                l.fileName = line.mid(tab1 + 1).toString();
            } else {
                l.note = line.mid(tab1 + 1, tab2 - tab1 - 1).toString();
                l.fileName = line.mid(tab2 + 1).toString();
            }
        }
        out.append(l);

        // CR LF is one break; a lone CR or LF is one as well.
        if (end < n && body[end] == QLatin1Char('\r') && end + 1 < n && body[end + 1] == QLatin1Char('\n'))
            ++end;
        start = end + 1;
    }
    return out;
}

bool isVersionText(const QString &text)
{
    if (text.size() != 6)
        return false;
    for (const QChar c : text)
        if (c < QLatin1Char('0') || c > QLatin1Char('9'))
            return false;
    return true;
}

QString versionText(int major, int minor, int release)
{
    return QString::asprintf("%.2d%.2d%.2d", major, minor, release);
}

bool isPlausibleStep(const QString &version, const QString &running)
{
    if (!isVersionText(version))
        return false;
    if (!isVersionText(running))
        return true;
    return QStringView(version).left(2).toInt() <= QStringView(running).left(2).toInt() + 1;
}

bool isSafeFileName(const QString &name)
{
    if (name.isEmpty() || name == QLatin1String(".") || name.contains(QLatin1String("..")))
        return false;
    if (name.contains(QLatin1Char('/')) || name.contains(QLatin1Char('\\')))
        return false;
    for (const QChar c : name)
        if (c.unicode() < 0x20 || c.unicode() == 0x7f)
            return false;
    // Most file systems stop at 255 bytes per name.
    return name.toUtf8().size() <= 255;
}

} // namespace VersionList

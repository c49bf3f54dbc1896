#include "issue/UTextFile.h"

#include "store/Codec.h"

#include <QFile>
#include <QFileInfo>
#include <QSaveFile>

namespace TextFile {

QStringList splitLines(const QString &text)
{
    if (text.isEmpty())
        return {};
    QString t = text;
    t.replace(QLatin1String("\r\n"), QLatin1String("\n"));
    t.replace(QLatin1Char('\r'), QLatin1Char('\n'));
    t.replace(QChar::ParagraphSeparator, QLatin1Char('\n'));
    QStringList lines = t.split(QLatin1Char('\n'));
    if (t.endsWith(QLatin1Char('\n')))
        lines.removeLast();
    return lines;
}

QString joinCrLf(const QStringList &lines)
{
    QString out;
    for (const QString &l : lines)
        out += l + QLatin1String("\r\n");
    return out;
}

bool readLines(const QString &path, QStringList *lines, QString *error)
{
    QFile f(path);
    if (!f.open(QIODevice::ReadOnly)) {
        if (error)
            *error = f.errorString() + QStringLiteral(" (") + path + QStringLiteral(")");
        return false;
    }
    *lines = splitLines(Codec::fromFileBytes(f.readAll()));
    return true;
}

bool writeLines(const QString &path, const QStringList &lines, QString *error)
{
    int unmappable = 0;
    const QByteArray bytes = Codec::toCp932(joinCrLf(lines), &unmappable);
    if (unmappable > 0) {
        if (error)
            *error = QStringLiteral("Shift-JISで保存できない文字が%1文字あります。").arg(unmappable);
        return false;
    }
    QSaveFile f(path);
    if (!f.open(QIODevice::WriteOnly) || f.write(bytes) != bytes.size() || !f.commit()) {
        if (error)
            *error = f.errorString() + QStringLiteral(" (") + path + QStringLiteral(")");
        return false;
    }
    return true;
}

} // namespace TextFile

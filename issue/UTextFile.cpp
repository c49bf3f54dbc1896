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

bool readText(const QString &path, QString *text, QString *error, qint64 maxBytes)
{
    QFile f(path);
    if (!f.open(QIODevice::ReadOnly)) {
        if (error)
            *error = f.errorString() + QStringLiteral(" (") + path + QStringLiteral(")");
        return false;
    }
    // One byte more than allowed tells a file that is too long from one that just fits,
    // whatever the file claims its size is (a pipe or a device claims none).
    const QByteArray bytes = maxBytes < 0 ? f.readAll() : f.read(maxBytes + 1);
    if (f.error() != QFileDevice::NoError) {
        if (error)
            *error = f.errorString() + QStringLiteral(" (") + path + QStringLiteral(")");
        return false;
    }
    if (maxBytes >= 0 && bytes.size() > maxBytes) {
        if (error)
            *error = QStringLiteral("ファイルが大きすぎます(上限 %1 バイト) (%2)").arg(maxBytes).arg(path);
        return false;
    }
    *text = Codec::fromFileBytes(bytes);
    return true;
}

bool readLines(const QString &path, QStringList *lines, QString *error, qint64 maxBytes)
{
    QString text;
    if (!readText(path, &text, error, maxBytes))
        return false;
    *lines = splitLines(text);
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

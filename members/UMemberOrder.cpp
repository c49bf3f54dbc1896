#include "members/UMemberOrder.h"

#include "store/AppSettings.h"

namespace MemberOrder {
namespace {

const char *const kCodes[FieldCount] = {"M", "A", "U", "F1", "F2", "F3", "C1", "C2", "D1", "D2", "S"};

QString settingName(int magIdx)
{
    return QStringLiteral("MemberOrder") + QString::number(magIdx);
}

} // namespace

QString code(int field)
{
    return field >= 0 && field < FieldCount ? QString::fromLatin1(kCodes[field]) : QString();
}

QString defaultText()
{
    return QStringLiteral("M:1,A:1,U:0,F1:0,F2:0,F3:0,C1:0,C2:0,D1:0,D2:0,S:0,");
}

std::array<QString, 7> placeholderFieldNames()
{
    return {QStringLiteral("フラグ１"), QStringLiteral("フラグ２"), QStringLiteral("フラグ３"),
            QStringLiteral("カウンタ１"), QStringLiteral("カウンタ２"), QStringLiteral("日付１"),
            QStringLiteral("日付２")};
}

QStringList captions(const std::array<QString, 7> &fieldNames)
{
    QStringList out{QStringLiteral("メンバー名"), QStringLiteral("メールアドレス"), QStringLiteral("url")};
    for (const QString &n : fieldNames)
        out << n;
    out << QStringLiteral("登録日");
    return out;
}

QStringList items(const QString &text)
{
    QStringList out;
    qsizetype from = 0;
    while (from < text.size()) {
        const qsizetype comma = text.indexOf(QLatin1Char(','), from);
        // A last item without its comma still counts, rather than being lost.
        const qsizetype end = comma < 0 ? text.size() : comma + 1;
        out << text.mid(from, end - from);
        from = end;
    }
    return out;
}

int itemField(const QString &item)
{
    for (int f = 0; f < FieldCount; ++f)
        if (item.contains(QLatin1String(kCodes[f]) + QLatin1Char(':')))
            return f;
    return -1;
}

bool itemShown(const QString &item)
{
    const qsizetype colon = item.indexOf(QLatin1Char(':'));
    return colon >= 0 && colon + 1 < item.size() && item.at(colon + 1) == QLatin1Char('1');
}

QList<int> shownColumns(const QString &text, int maxColumns)
{
    QList<int> out;
    for (const QString &item : items(text)) {
        if (out.size() >= maxColumns)
            break;
        const int f = itemField(item);
        if (f >= 0 && itemShown(item))
            out << f;
    }
    return out;
}

QList<Entry> readEntries(const std::optional<QString> &setting, const QStringList &captions)
{
    QList<Entry> entries;
    for (const QString &c : captions)
        entries.append({c, !setting.has_value()});
    if (!setting)
        return entries;
    qsizetype p = 0;
    for (const QString &item : items(*setting)) {
        if (p >= entries.size())
            break;
        const int f = itemField(item);
        if (f < 0 || f >= captions.size())
            continue;
        qsizetype l = -1;
        for (qsizetype i = 0; i < entries.size(); ++i) {
            if (entries[i].caption == captions[f]) {
                l = i;
                break;
            }
        }
        if (l < 0)
            continue;
        entries.swapItemsAt(p, l);
        entries[p].checked = itemShown(item);
        ++p;
    }
    return entries;
}

QString formatEntries(const QList<Entry> &entries, const QStringList &captions)
{
    QString out;
    for (const Entry &e : entries) {
        const qsizetype f = captions.indexOf(e.caption);
        if (f < 0 || f >= FieldCount)
            continue;
        out += code(int(f)) + QLatin1Char(':') + (e.checked ? QLatin1String("1,") : QLatin1String("0,"));
    }
    return out;
}

std::optional<QString> load(int magIdx)
{
    const auto settings = AppSettings::open();
    const QString name = settingName(magIdx);
    if (!settings->contains(name))
        return std::nullopt;
    // A text edited by hand without quotes reads back as a list split at the commas.
    const QVariant v = settings->value(name);
    if (v.typeId() == QMetaType::QStringList)
        return v.toStringList().join(QLatin1Char(','));
    return v.toString();
}

void save(int magIdx, const QString &text)
{
    AppSettings::writeString(settingName(magIdx), text);
}

} // namespace MemberOrder

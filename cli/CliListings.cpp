#include "cli/CliListings.h"

#include "maintenance/UCsv.h"
#include "store/MemberSql.h"
#include "store/MagazineSql.h"

#include <QCommandLineParser>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QStringList>

#include <cstdio>

namespace {

// A CSV field: quoted when it holds a comma, a quote or a line break, inner quotes doubled.
QString csvField(const QString &text)
{
    if (!text.contains(u',') && !text.contains(u'"') && !text.contains(u'\n') && !text.contains(u'\r'))
        return text;
    return CsvQuote(text);
}

// A tab or line break inside a value would break the line for people: shown as a blank.
QString textField(const QString &text)
{
    QString out = text;
    for (QChar &c : out)
        if (c == u'\t' || c == u'\n' || c == u'\r')
            c = u' ';
    return out;
}

QByteArray lines(const QList<QStringList> &rows, ListingFormat format)
{
    QString out;
    for (const QStringList &row : rows) {
        QStringList cells;
        for (const QString &cell : row)
            cells << (format == ListingFormat::Csv ? csvField(cell) : textField(cell));
        out += cells.join(format == ListingFormat::Csv ? u',' : u'\t');
        out += format == ListingFormat::Csv ? QStringLiteral("\r\n") : QStringLiteral("\n");
    }
    return out.toUtf8();
}

// The listing's member keys, in the order of memberValues().
const char *const kKeys[] = {"userIdx", "name", "address", "url", "flag1", "flag2", "flag3", "sleep",
                             "count1", "count2", "date1", "date2", "addDate"};

// A member's values in the order of kKeys: numbers for the index, flags and counters, text
// for the rest (an empty date for none).
QVariantList memberValues(const MemberRecord &m)
{
    const auto flag = [](bool on) { return QVariant(qint64(on ? 1 : 0)); };
    QVariantList values{qint64(m.userIdx), m.name, m.address, m.url};
    values << flag(m.flags[0]) << flag(m.flags[1]) << flag(m.flags[2]) << flag(m.sleep);
    values << m.counts[0] << m.counts[1];
    values << m.date1.value_or(QString()) << m.date2.value_or(QString()) << m.addDate;
    return values;
}

} // namespace

QByteArray MagazineListing(ListingFormat format)
{
    const QList<MagazineSql::ListEntry> magazines = MagazineSql::list();
    if (format == ListingFormat::Json) {
        QJsonArray all;
        for (const auto &m : magazines)
            all.append(QJsonObject{{"MagIdx", m.magIdx}, {"name", m.name}, {"members", m.members}});
        return QJsonDocument(QJsonObject{{"magazines", all}}).toJson(QJsonDocument::Indented);
    }
    QList<QStringList> rows;
    rows << QStringList{QStringLiteral("MagIdx"), QStringLiteral("マガジン名"), QStringLiteral("メンバー数")};
    for (const auto &m : magazines)
        rows << QStringList{QString::number(m.magIdx), m.name, QString::number(m.members)};
    return lines(rows, format);
}

QByteArray MemberListing(int magIdx, ListingFormat format)
{
    QJsonArray all;
    QList<QStringList> rows;
    QStringList heading;
    for (const char *key : kKeys)
        heading << QLatin1String(key);
    rows << heading;
    MemberSql::forEachMember(magIdx, [&](const MemberRecord &m) {
        const QVariantList values = memberValues(m);
        if (format == ListingFormat::Json) {
            QJsonObject member;
            for (int k = 0; k < int(std::size(kKeys)); ++k)
                member.insert(QLatin1String(kKeys[k]), QJsonValue::fromVariant(values.at(k)));
            all.append(member);
            return;
        }
        QStringList row;
        for (const QVariant &value : values)
            row << value.toString();
        rows << row;
    });
    if (format == ListingFormat::Json)
        return QJsonDocument(QJsonObject{{"MagIdx", magIdx}, {"members", all}}).toJson(QJsonDocument::Indented);
    return lines(rows, format);
}

namespace Cli {

namespace {

void addFormatOption(QCommandLineParser &p)
{
    p.addOption({QStringLiteral("format"), QStringLiteral("出力の形式"), QStringLiteral("text|csv|json")});
}

std::optional<ListingFormat> listingFormat(const QCommandLineParser &p)
{
    const QString f = p.value(QStringLiteral("format"));
    if (f.isEmpty() || f == QLatin1String("text"))
        return ListingFormat::Text;
    if (f == QLatin1String("csv"))
        return ListingFormat::Csv;
    if (f == QLatin1String("json"))
        return ListingFormat::Json;
    say(QStringLiteral("--format は text、csv、json のどれかです。"));
    return std::nullopt;
}

void write(const QByteArray &out)
{
    std::fwrite(out.constData(), 1, size_t(out.size()), stdout);
}

} // namespace

void addMagazinesOptions(QCommandLineParser &p)
{
    addFormatOption(p);
}

CommandStart startMagazines(const QCommandLineParser &p)
{
    const std::optional<ListingFormat> format = listingFormat(p);
    if (!format)
        return std::nullopt;
    return [format] {
        write(MagazineListing(*format));
        return kDone;
    };
}

void addMembersOptions(QCommandLineParser &p)
{
    addFormatOption(p);
    addMagazineOption(p);
}

CommandStart startMembers(const QCommandLineParser &p)
{
    const std::optional<ListingFormat> format = listingFormat(p);
    if (!format)
        return std::nullopt;
    const QString magazine = p.value(QStringLiteral("magazine"));
    if (magazine.isEmpty()) {
        say(QStringLiteral("--magazine でマガジン名を指定してください。"));
        return std::nullopt;
    }
    return [format, magazine] {
        const std::optional<int> magIdx = magazineNamed(magazine);
        if (!magIdx)
            return kRefused;
        write(MemberListing(*magIdx, *format));
        return kDone;
    };
}

} // namespace Cli

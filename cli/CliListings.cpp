#include "cli/CliListings.h"

#include "maintenance/UCsv.h"
#include "store/MemberSql.h"
#include "store/MagazineSql.h"
#include "store/RowCursor.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QStringList>

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

// Member columns as the member table holds them (select * by position).
constexpr int kUserIdx = 1;
const char *const kKeys[] = {"userIdx", "name", "address", "url", "flag1", "flag2", "flag3", "sleep",
                             "count1", "count2", "date1", "date2", "addDate"};

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
    const std::unique_ptr<RowCursor> cursor = MemberSql::rows(magIdx);
    QJsonArray all;
    QList<QStringList> rows;
    QStringList heading;
    for (const char *key : kKeys)
        heading << QLatin1String(key);
    rows << heading;
    while (cursor->next()) {
        QStringList row;
        QJsonObject member;
        for (int k = 0; k < int(std::size(kKeys)); ++k) {
            const int column = kUserIdx + k;
            const bool number = k == 0 || (k >= 4 && k <= 9);
            if (number) {
                row << QString::number(cursor->integer(column));
                member.insert(QLatin1String(kKeys[k]), cursor->integer(column));
            } else {
                row << cursor->text(column).toString();
                member.insert(QLatin1String(kKeys[k]), row.last());
            }
        }
        if (format == ListingFormat::Json)
            all.append(member);
        else
            rows << row;
    }
    if (format == ListingFormat::Json)
        return QJsonDocument(QJsonObject{{"MagIdx", magIdx}, {"members", all}}).toJson(QJsonDocument::Indented);
    return lines(rows, format);
}

#include "maintenance/UExport.h"

#include "maintenance/UCsv.h"
#include "maintenance/UTextOut.h"
#include "store/Database.h"
#include "store/MemberSql.h"

#include <QSaveFile>
#include <QStringList>

namespace {

void writeMembers(int magIdx, const std::array<QString, 7> &fieldNames, TextFileWriter &w, int &members)
{
    members = 0;
    QStringList heading = {QStringLiteral("メンバー名"), QStringLiteral("メールアドレス"), QStringLiteral("url")};
    for (const QString &name : fieldNames)
        heading << name;
    heading << QStringLiteral("登録日");
    for (QString &h : heading)
        h = CsvQuote(h);
    w.write(heading.join(QLatin1Char(',')) + QStringLiteral("\r\n"));

    // Texts are quoted; flags and counters are bare, NULL as nothing.
    constexpr bool kQuoted[11] = {true, true, true, false, false, false, false, false, true, true, true};
    MemberSql::forEachExchangeRow(magIdx, [&](const MemberSql::ExchangeRow &row) {
        QString line;
        for (int i = 0; i < int(row.size()); ++i) {
            if (i)
                line += QLatin1Char(',');
            const QVariant &v = row[size_t(i)];
            if (kQuoted[i])
                line += CsvQuote(v.toString());
            else if (!v.isNull())
                line += v.toString();
        }
        w.write(line + QStringLiteral("\r\n"));
        ++members;
    });
}

} // namespace

ExportOutcome ExportMembers(int magIdx, const std::array<QString, 7> &fieldNames, QSaveFile &file)
{
    ExportOutcome out;
    try {
        out.utf8 = TextFileWriter::writeFile(
            file, [&](TextFileWriter &w) { writeMembers(magIdx, fieldNames, w, out.members); });
    } catch (const StoreError &e) {
        out.error = e.text();
        file.cancelWriting();
        return out;
    }
    out.ok = file.commit();
    if (!out.ok)
        out.error = file.errorString();
    return out;
}

#include "maintenance/UExport.h"

#include "maintenance/UCsv.h"
#include "maintenance/UTextOut.h"
#include "store/Database.h"

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

    Statement s;
    s.open(QStringLiteral("select * from Maguser\r\nwhere MagIdx = ") + QString::number(magIdx));
    const auto quoted = [&](const char *column) { return CsvQuote(s.text(QLatin1String(column))); };
    const auto bare = [&](const char *column) {
        return s.isNull(QLatin1String(column)) ? QString() : s.text(QLatin1String(column));
    };
    const QChar comma = QLatin1Char(',');
    while (s.next()) {
        w.write(quoted("UserName") + comma + quoted("UserAdrs") + comma + quoted("url") + comma + bare("Flg1") + comma
                + bare("Flg2") + comma + bare("Flg3") + comma + bare("Count1") + comma + bare("Count2") + comma
                + quoted("UserDate1") + comma + quoted("UserDate2") + comma + quoted("AddDate")
                + QStringLiteral("\r\n"));
        ++members;
    }
    s.close();
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

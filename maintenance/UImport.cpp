#include "maintenance/UImport.h"

#include "store/Batch.h"
#include "maintenance/UCsv.h"
#include "maintenance/UTextLines.h"
#include "store/Codec.h"
#include "store/Database.h"

#include <QHash>
#include <QIODevice>

#include <memory>

namespace {

const char *const kColumns[11] = {"UserName", "UserAdrs", "url",       "Flg1",      "Flg2",   "Flg3",
                                  "Count1",   "Count2",   "UserDate1", "UserDate2", "AddDate"};

enum class Rule { Text, Address, Flag, Count, Date };

Rule ruleOf(int code)
{
    switch (code) {
    case 1: return Rule::Address;
    case 3: case 4: case 5: return Rule::Flag;
    case 6: case 7: return Rule::Count;
    case 8: case 9: case 10: return Rule::Date;
    default: return Rule::Text;
    }
}

} // namespace

QString ImportColumn(int code)
{
    return code >= 0 && code < 11 ? QString::fromLatin1(kColumns[code]) : QString();
}

MemberImport::MemberImport(int magIdx, const ImportSettings &settings, const QDate &today)
    : m_magIdx(magIdx), m_settings(settings), m_todayDate(today), m_today(today.toString(QStringLiteral("yyyyMMdd")))
{
    for (int code = 0; code < 11; ++code)
        m_column[code] = int(settings.order.indexOf(code));
}

ImportOutcome MemberImport::run(TextLineReader &lines, QIODevice *log, const std::function<void(int)> &progress)
{
    ImportOutcome out;
    QString line;
    if (m_settings.heading)
        lines.readLine(line);

    TransactionGroups groups;
    try {
        // UserIdx is given here rather than left to the store: the same value the store would
        // assign (above every UserIdx of the table), without its after-insert update.
        PreparedStatement insert(QStringLiteral("insert into MagUser (MagIdx,UserName,UserAdrs,url,Flg1,Flg2,Flg3,Count1,Count2,"
                                                "UserDate1,UserDate2,AddDate,Sleep,UserIdx) values(?,?,?,?,?,?,?,?,?,?,?,?,0,?)"));
        PreparedStatement maxUserIdx(QStringLiteral("select max(UserIdx) from MagUser"));
        qint64 nextUserIdx = -1; // read once per transaction group, inside it
        std::unique_ptr<PreparedStatement> lookup;
        if (m_settings.replace && m_column[1] >= 0)
            lookup = std::make_unique<PreparedStatement>(
                QStringLiteral("select UserIdx from MagUser where MagIdx = ? and UserAdrs = ?"));
        QHash<int, std::shared_ptr<PreparedStatement>> updates; // by the set of items a line holds

        QVariant values[11];
        while (lines.readLine(line)) {
            ++out.lines;
            if (progress)
                progress(out.lines);
            if (line.isEmpty())
                continue;
            if (groups.beginRow()) {
                maxUserIdx.exec();
                nextUserIdx = (maxUserIdx.next() ? maxUserIdx.value(0).toLongLong() : 0) + 1;
                maxUserIdx.finish();
            }

            const QStringList fields = SplitCsvLine(line);
            int present = 0;
            bool rejected = false;
            QString badCount;
            for (int code = 0; code < 11; ++code) {
                const int col = m_column[code];
                if (col < 0 || col >= fields.size())
                    continue;
                present |= 1 << code;
                const QString &field = fields.at(col);
                switch (ruleOf(code)) {
                case Rule::Text: values[code] = TextValue(field); break;
                case Rule::Address:
                    rejected = !IsImportableAddress(field);
                    values[code] = TextValue(field);
                    break;
                case Rule::Flag: values[code] = ToFlagValue(field).toInt(); break;
                case Rule::Count: {
                    bool isNumber = false;
                    const QString v = ToCountValue(field, &isNumber);
                    if (!isNumber && badCount.isNull())
                        badCount = field;
                    values[code] = v.trimmed().toLongLong();
                    break;
                }
                case Rule::Date: values[code] = ToDateValue(field, m_todayDate); break;
                }
            }

            if (rejected) {
                ++out.rejected;
                if (log)
                    log->write(Codec::toCp932(QStringLiteral("line %1  ").arg(out.lines) + fields.at(m_column[1])
                                              + QStringLiteral("\r\n")));
                continue;
            }
            if (!badCount.isNull()) {
                out.stopped = true;
                out.errorLine = out.lines;
                out.error = QStringLiteral("%1 行目: カウンタの値「%2」は数値ではありません。").arg(out.lines).arg(badCount);
                break;
            }

            qint64 userIdx = -1;
            if (lookup && (present & (1 << 1))) {
                lookup->bind(0, m_magIdx);
                lookup->bind(1, values[1]);
                lookup->exec();
                if (lookup->next())
                    userIdx = lookup->value(0).toLongLong();
                lookup->finish();
            }

            if (userIdx >= 0) {
                std::shared_ptr<PreparedStatement> &update = updates[present];
                if (!update) {
                    QStringList sets;
                    for (int code = 0; code < 11; ++code)
                        if (present & (1 << code))
                            sets << QString::fromLatin1(kColumns[code]) + QStringLiteral(" = ?");
                    update = std::make_shared<PreparedStatement>(QStringLiteral("Update MagUser set ") + sets.join(QLatin1Char(','))
                                                        + QStringLiteral(" where MagIdx = ? and UserIdx = ?"));
                }
                int i = 0;
                for (int code = 0; code < 11; ++code)
                    if (present & (1 << code))
                        update->bind(i++, values[code]);
                update->bind(i++, m_magIdx);
                update->bind(i, userIdx);
                update->exec();
                ++out.updated;
            } else {
                insert.bind(0, m_magIdx);
                for (int code = 0; code < 11; ++code) {
                    QVariant v;
                    if (present & (1 << code))
                        v = values[code];
                    else if (code <= 2)
                        v = QVariant();
                    else if (code <= 7)
                        v = 0;
                    else
                        v = m_today;
                    insert.bind(code + 1, v);
                }
                insert.bind(12, nextUserIdx);
                insert.exec();
                ++nextUserIdx;
                ++out.inserted;
            }

            groups.endRow();
        }
        if (!out.stopped && lines.failed()) {
            // a file that could not be read further did not end there
            out.stopped = true;
            out.errorLine = out.lines;
            out.error = QStringLiteral("ファイルを最後まで読めませんでした。");
        }
    } catch (const StoreError &e) {
        out.stopped = true;
        out.errorLine = out.lines;
        out.error = e.text();
    }

    // A failed statement undoes only itself: what the lines before it did is kept.
    try {
        groups.commit();
    } catch (const StoreError &e) {
        out.stopped = true;
        if (out.errorLine == 0)
            out.errorLine = out.lines;
        out.error = out.error.isEmpty() ? e.text() : out.error + QStringLiteral("\n") + e.text();
    }
    return out;
}

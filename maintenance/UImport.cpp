#include "maintenance/UImport.h"

#include "maintenance/UCsv.h"
#include "members/UAddress.h"
#include "maintenance/UTextLines.h"
#include "store/BackupScript.h"
#include "store/Codec.h"
#include "store/Database.h"
#include "store/MemberImportRows.h"

#include <QIODevice>

#include <memory>

namespace {

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

// What each item is called in the log: the import dialog's names for them.
QString itemName(int code)
{
    static const char *const names[11] = {"メンバー名", "メールアドレス", "url", "フラグ1", "フラグ2", "フラグ3",
                                          "カウンタ1", "カウンタ2", "日付1", "日付2", "登録日"};
    return code >= 0 && code < 11 ? QString::fromUtf8(names[code]) : QString();
}

// An updated member's row may pass what a backup carries only with the values it already
// holds when the line's own values are at least this long; below it they are not read.
constexpr qsizetype kLineAloneFits = qsizetype(1) << 20;

// The longest item when the member's row after the line would be longer than a backup
// carries; -1 when it fits.
int tooLongItem(const MemberImportRows &rows, const MemberImportRows::Values &member)
{
    if (BackupScript::fitsBackup(QStringLiteral("MagUser"), rows.columnValues(member)))
        return -1;
    int longest = 0;
    for (int code = 1; code < MemberImportRows::kItems; ++code)
        if (member[size_t(code)].toString().size() > member[size_t(longest)].toString().size())
            longest = code;
    return longest;
}

// A value as the log names it: the beginning of a long one.
QString logged(const QString &value)
{
    return value.size() > 100 ? value.left(100) + QStringLiteral("…") : value;
}

} // namespace

QString TooLongLinesText(int lines, const QString &where)
{
    return QStringLiteral("バックアップできないほど長い値のある行が %1 件ありました。これらの行はインポートされていません。"
                          "%2を確認してください。")
        .arg(lines)
        .arg(where);
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
    if (m_settings.heading) {
        QString heading;
        lines.readLine(heading);
    }

    std::unique_ptr<MemberImportRows> rows;
    ImportOutcome before; // the counts of the lines before the open group
    MemberImportRows::Values values;
    MemberImportRows::Values row;
    const auto apply = [&](const QString &line) {
        rows->beginRow();

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
                rejected = !IsValidAddress(field);
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
            return;
        }
        if (!badCount.isNull()) {
            out.stop(QStringLiteral("%1 行目: カウンタの値「%2」は数値ではありません。").arg(out.lines).arg(badCount));
            return;
        }

        const qint64 userIdx = (present & (1 << 1)) ? rows->find(values[1]) : -1;
        if (userIdx >= 0) {
            // the member as the line leaves it: its items, and the stored ones only when
            // the line's alone could come near the limit
            for (int code = 0; code < 11; ++code)
                row[code] = (present & (1 << code)) ? values[code] : QVariant();
            if (BackupScript::rowStatementLength(QStringLiteral("MagUser"), rows->columnValues(row)) > kLineAloneFits) {
                const MemberImportRows::Values stored = rows->stored(userIdx);
                for (int code = 0; code < 11; ++code)
                    if (!(present & (1 << code)))
                        row[code] = stored[code];
            }
        } else {
            // An item the file does not hold: no text, a zero flag or counter, today's date.
            for (int code = 0; code < 11; ++code) {
                if (present & (1 << code))
                    row[code] = values[code];
                else if (code <= 2)
                    row[code] = QVariant();
                else if (code <= 7)
                    row[code] = 0;
                else
                    row[code] = m_today;
            }
        }
        // A row a backup could not carry would make every later backup fail.
        if (const int item = tooLongItem(*rows, row); item >= 0) {
            ++out.tooLong;
            if (log)
                log->write(Codec::toCp932(QStringLiteral("line %1  %2  「%3」が長すぎます(バックアップできない長さです)\r\n")
                                              .arg(out.lines)
                                              .arg(logged((present & (1 << 1)) ? values[1].toString() : QString()),
                                                   itemName(item))));
            return;
        }
        if (userIdx >= 0) {
            rows->update(userIdx, present, values);
            ++out.updated;
        } else {
            rows->insert(row);
            ++out.inserted;
        }

        rows->endRow();
    };
    RunLineJob(out, lines, progress,
               {.begin =
                    [&] {
                        rows = std::make_unique<MemberImportRows>(m_magIdx, m_settings.replace && m_column[1] >= 0);
                    },
                .apply = apply,
                .commit =
                    [&] {
                        if (rows)
                            rows->commit();
                    },
                .groupOpen = [&] { return rows && rows->groupOpen(); },
                .groupBegins = [&] { before = out; },
                .groupLost =
                    [&] {
                        out.inserted = before.inserted;
                        out.updated = before.updated;
                    }});
    return out;
}

#include "maintenance/UBackup.h"

#include "maintenance/UTextLines.h"
#include "maintenance/UTextOut.h"
#include "store/BackupScript.h"
#include "store/Database.h"

#include <QSaveFile>
#include <QStringList>

namespace {

bool isBlankText(const QString &text)
{
    for (const QChar c : text)
        if (!c.isSpace())
            return false;
    return true;
}

} // namespace

BackupOutcome WriteBackup(QSaveFile &file, const BackupScript::Progress &progress)
{
    BackupOutcome out;
    try {
        // a text without a CP932 code writes the file again as UTF-8: the progress then
        // runs a second time, which is the time it takes
        bool complete = true;
        out.utf8 = TextFileWriter::writeFile(file, [&](TextFileWriter &w) {
            complete = BackupScript::write(
                [&w](const QString &statement) {
                    w.write(statement);
                    w.write(QStringLiteral("\r\n"));
                },
                progress);
        });
        if (!complete) {
            out.cancelled = true;
            file.cancelWriting();
            return out;
        }
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

RestoreOutcome RestoreBackup(TextLineReader &lines, const BackupScript::Progress &progress)
{
    RestoreOutcome out;
    QString buffer;
    const qint64 size = progress ? lines.deviceSize() : 0;
    try {
        BackupScript::Restore restore;
        const auto execute = [&] {
            if (!restore.run(buffer)) {
                out.error = QStringLiteral("バックアップファイルの文ではありません。");
                throw StoreError(out.error);
            }
            ++out.statements;
            buffer.clear();
            if (progress && !progress(lines.bytesRead(), size)) {
                out.cancelled = true;
                throw StoreError(QString());
            }
        };

        // Pieces of the statement being read; refused once longer than a backup writes.
        const auto append = [&](QStringView piece) {
            if (buffer.size() + piece.size() > kLongestBackupStatement) {
                out.error = QStringLiteral("バックアップファイルの文としては長すぎます。");
                throw StoreError(out.error);
            }
            buffer += piece;
        };

        bool quoted = false;
        bool skipLf = false;       // the line end after a statement's ";" belongs to it
        bool semicolonEnd = false; // the last block ended with a ";" outside quotes
        QString block;
        while (lines.readBlock(block)) {
            const qsizetype n = block.size();
            qsizetype from = 0;
            if (semicolonEnd && n > 0) {
                // the ";" ends its statement when its line ends right after it
                semicolonEnd = false;
                if (block[0] == QLatin1Char('\r') || block[0] == QLatin1Char('\n')) {
                    execute();
                    skipLf = block[0] == QLatin1Char('\r');
                    from = 1;
                }
            }
            for (qsizetype k = from; k < n; ++k) {
                const QChar c = block[k];
                if (skipLf) {
                    skipLf = false;
                    if (c == QLatin1Char('\n')) {
                        from = k + 1;
                        continue;
                    }
                }
                if (c == QLatin1Char('\'')) {
                    quoted = !quoted;
                } else if (!quoted && c == QLatin1Char(';')) {
                    if (k + 1 == n) {
                        semicolonEnd = true; // what follows in the next block decides
                    } else if (block[k + 1] == QLatin1Char('\r') || block[k + 1] == QLatin1Char('\n')) {
                        append(QStringView(block).mid(from, k + 1 - from));
                        execute();
                        ++k; // the line end
                        skipLf = block[k] == QLatin1Char('\r');
                        from = k + 1;
                    }
                }
            }
            if (from < n)
                append(QStringView(block).mid(from));
        }
        if (semicolonEnd && !lines.failed())
            execute(); // the file ends right after it
        if (lines.failed()) {
            out.error = QStringLiteral("ファイルを最後まで読めませんでした。");
            throw StoreError(out.error);
        }
        if (!isBlankText(buffer)) {
            // a statement without its end: the file was cut short or is no backup
            out.error = QStringLiteral("ファイルが途中で終わっています。");
            throw StoreError(out.error);
        }
        out.settlement = restore.commit();
        out.ok = true;
        out.buffer.clear();
    } catch (const StoreError &e) {
        out.ok = false;
        if (out.cancelled)
            return out;
        out.buffer = buffer;
        if (out.error.isEmpty())
            out.error = e.text();
    }
    return out;
}

QString RestoreSettlementText(const BackupScript::RestoreSettlement &settled)
{
    QStringList lines;
    if (settled.interrupted + settled.reserved > 0)
        lines << QStringLiteral("配信の途中で取ったバックアップでした。送信中だった %1 人は結果が分からないため「不明」とし、"
                                "送信を予約されていた %2 人は「待機」に戻しました。")
                     .arg(settled.interrupted)
                     .arg(settled.reserved);
    if (settled.departed > 0)
        lines << QStringLiteral("メンバーがいない配信の記録 %1 件を「スキップ」にしました。").arg(settled.departed);
    if (settled.dropped > 0)
        lines << QStringLiteral("状態が範囲外か、号やメンバーのない配信の記録 %1 件は復元しませんでした。").arg(settled.dropped);
    return lines.join(QStringLiteral("\r\n"));
}

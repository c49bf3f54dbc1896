#include "maintenance/URemoveList.h"

#include "store/Batch.h"
#include "maintenance/UTextLines.h"
#include "store/Database.h"

RemoveOutcome RemoveListedMembers(int magIdx, TextLineReader &lines, const std::function<void(int)> &progress)
{
    RemoveOutcome out;
    TransactionGroups groups;
    try {
        PreparedStatement remove(QStringLiteral("Delete from MagUser where UserAdrs = ? and MagIdx = ?"));
        QString line;
        while (lines.readLine(line)) {
            ++out.lines;
            if (progress)
                progress(out.lines);
            if (line.isEmpty())
                continue;
            groups.beginRow();
            remove.bind(0, line);
            remove.bind(1, magIdx);
            remove.exec();
            out.removed += qMax(0, remove.rowsAffected());
            groups.endRow();
        }
        if (lines.failed()) {
            out.stopped = true;
            out.errorLine = out.lines;
            out.error = QStringLiteral("ファイルを最後まで読めませんでした。");
        }
    } catch (const StoreError &e) {
        out.stopped = true;
        out.errorLine = out.lines;
        out.error = e.text();
    }
    try {
        groups.commit();
    } catch (const StoreError &e) {
        out.stopped = true;
        out.error = out.error.isEmpty() ? e.text() : out.error + QStringLiteral("\n") + e.text();
    }
    return out;
}

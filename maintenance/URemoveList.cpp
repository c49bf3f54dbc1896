#include "maintenance/URemoveList.h"

#include "maintenance/UTextLines.h"
#include "store/Database.h"
#include "store/MemberRemoval.h"

#include <memory>

RemoveOutcome RemoveListedMembers(int magIdx, TextLineReader &lines, const std::function<void(int)> &progress)
{
    RemoveOutcome out;
    std::unique_ptr<MemberRemoval> removal;
    try {
        removal = std::make_unique<MemberRemoval>(magIdx);
        QString line;
        while (lines.readLine(line)) {
            ++out.lines;
            if (progress)
                progress(out.lines);
            if (line.isEmpty())
                continue;
            out.removed += removal->remove(line);
        }
        if (lines.failed()) {
            out.stopped = true;
            out.errorLine = out.lines;
            out.error = QStringLiteral("ファイルを最後まで読めませんでした。");
        }
    } catch (const StoreError &e) {
        out.storeFailed = true;
        out.stopped = true;
        out.errorLine = out.lines;
        out.error = e.text();
    }
    try {
        if (removal)
            removal->commit();
    } catch (const StoreError &e) {
        out.storeFailed = true;
        out.stopped = true;
        out.error = out.error.isEmpty() ? e.text() : out.error + QStringLiteral("\n") + e.text();
    }
    return out;
}

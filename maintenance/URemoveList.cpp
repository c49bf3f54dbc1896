#include "maintenance/URemoveList.h"

#include "maintenance/UTextLines.h"
#include "store/Database.h"
#include "store/MemberRemoval.h"

#include <memory>

RemoveOutcome RemoveListedMembers(int magIdx, TextLineReader &lines, const std::function<void(int)> &progress)
{
    RemoveOutcome out;
    std::unique_ptr<MemberRemoval> removal;
    RunLineJob(
        out, lines,
        [&] {
            removal = std::make_unique<MemberRemoval>(magIdx);
            QString line;
            while (lines.readLine(line)) {
                ++out.lines;
                if (progress)
                    progress(out.lines);
                if (line.isEmpty())
                    continue;
                out.applying(removal->groupOpen());
                out.removed += removal->remove(line);
            }
        },
        [&] {
            if (removal)
                removal->commit();
        },
        [&] { return removal && removal->groupOpen(); });
    return out;
}

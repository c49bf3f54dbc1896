#include "maintenance/URemoveList.h"

#include "maintenance/UTextLines.h"
#include "store/MemberRemoval.h"

#include <memory>

RemoveOutcome RemoveListedMembers(int magIdx, TextLineReader &lines, const std::function<void(int)> &progress)
{
    RemoveOutcome out;
    std::unique_ptr<MemberRemoval> removal;
    int removedBefore = 0; // by the lines before the open group
    RunLineJob(out, lines, progress,
               {.begin = [&] { removal = std::make_unique<MemberRemoval>(magIdx); },
                .apply = [&](const QString &address) { out.removed += removal->remove(address); },
                .commit =
                    [&] {
                        if (removal)
                            removal->commit();
                    },
                .groupOpen = [&] { return removal && removal->groupOpen(); },
                .groupBegins = [&] { removedBefore = out.removed; },
                .groupLost = [&] { out.removed = removedBefore; }});
    return out;
}

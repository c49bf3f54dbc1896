#include "maintenance/LineJobOutcome.h"

#include "maintenance/UTextLines.h"
#include "store/Database.h"

#include <QtGlobal>

namespace {

// The work from uncommittedFrom on was rolled back with its group: the job stopped there at
// the latest, whatever line it was at, and did none of it.
void lostFromUncommitted(LineJobOutcome &out, const LineJob &job)
{
    if (out.uncommittedFrom == 0)
        return;
    out.errorLine = qMin(out.errorLine, out.uncommittedFrom);
    if (job.groupLost)
        job.groupLost();
}

} // namespace

void LineJobOutcome::stop(const QString &why)
{
    stopped = true;
    errorLine = qMax(1, lines);
    error = why;
}

void RunLineJob(LineJobOutcome &out, TextLineReader &lines, const std::function<void(int)> &progress,
                const LineJob &job)
{
    try {
        job.begin();
        QString line;
        while (!out.stopped && lines.readLine(line)) {
            ++out.lines;
            if (progress)
                progress(out.lines);
            if (line.isEmpty())
                continue;
            if (!job.groupOpen()) {
                out.uncommittedFrom = out.lines;
                if (job.groupBegins)
                    job.groupBegins();
            }
            job.apply(line);
        }
        // a file that could not be read further did not end there
        if (!out.stopped && lines.failed())
            out.stop(QStringLiteral("ファイルを最後まで読めませんでした。"));
    } catch (const StoreError &e) {
        out.stop(e.text());
        out.storeFailed = true;
        // a group that failed to commit is gone; a failed statement undid only itself
        if (!job.groupOpen())
            lostFromUncommitted(out, job);
    }

    // A failed statement undoes only itself: what the lines before it did is kept.
    const bool open = job.groupOpen();
    try {
        job.commit();
    } catch (const StoreError &e) {
        if (out.stopped)
            out.error += QStringLiteral("\n") + e.text();
        else
            out.stop(e.text());
        out.storeFailed = true;
        if (open)
            lostFromUncommitted(out, job);
    }
}

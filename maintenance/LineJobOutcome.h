#pragma once
// How a job over the lines of a file ended (an import, a removal by list), and the one loop
// both run in. Their lines are applied in groups of transactions; when one fails, what the
// lines before it did is kept and the job stops there, and a group lost with its commit stops
// it where that group's work began.
#include <QString>

#include <functional>

class TextLineReader;

struct LineJobOutcome {
    int lines = 0;        // lines read, empty ones included
    bool stopped = false; // ended early at errorLine; the lines before it stay done
    int errorLine = 0;    // 1 or more once stopped
    QString error;
    bool storeFailed = false; // the store refused or was locked, rather than a line being bad
    // The first line whose work is not committed yet; 0 until a line opened a group.
    int uncommittedFrom = 0;

    // Stops the job at the line read last (the first line when none was read yet).
    void stop(const QString &why);
};

// What a job does, on the store's side.
struct LineJob {
    std::function<void()> begin;                // before the first line (prepares the statements)
    std::function<void(const QString &)> apply; // one non-empty line; may stop the outcome
    std::function<void()> commit;               // keeps what is still open
    std::function<bool()> groupOpen;            // some work is not committed yet
    // Optional: a group begins (everything before is committed), and that group was lost, so
    // that the job's own counts come back to what the store holds.
    std::function<void()> groupBegins;
    std::function<void()> groupLost;
};

// Reads the lines to the end, counting them and calling progress with the counter after each
// line, and applies the non-empty ones, until the job stops; then commits what is open, also
// after a stop. A StoreError from the job, or a file that could not be read to its end, stops
// it: at the line read last, or where the work that the failure took with it began.
void RunLineJob(LineJobOutcome &out, TextLineReader &lines, const std::function<void(int)> &progress,
                const LineJob &job);

#pragma once
// How a job over the lines of a file ended (an import, a removal by list). Its lines are
// applied in groups of transactions; when one fails, what the lines before it did is kept and
// the job stops there. Both jobs end through RunLineJob, so they say the same of a stop.
#include <QString>

#include <functional>

class TextLineReader;

struct LineJobOutcome {
    int lines = 0;            // lines read, empty ones included
    bool stopped = false;     // ended early at errorLine; the lines before it stay done
    int errorLine = 0;        // 1 or more once stopped
    QString error;
    bool storeFailed = false; // the store refused or was locked, rather than a line being bad
    // The first line whose work is not committed yet: a group lost with its commit takes the
    // work from there on with it. 0 until a line opened a group.
    int uncommittedFrom = 0;

    // Stops the job at the line read last (the first line when none was read yet).
    void stop(const QString &why);
    // Call before the statements of the line read last, with whether a group was open before
    // them: when none was, the line's work begins a new one.
    void applying(bool groupOpen);
};

// Runs a job over lines: `apply` reads the lines and applies them (counting them in out.lines,
// calling out.applying before each line's statements, stopping out at a bad line), then
// `commit` keeps what is still open, also after apply ended early; `groupOpen` tells whether
// some work is not committed yet. A store failure in either, or a file that could not be read
// to its end, stops the job: at the line read last, or where the work the failure lost begins.
void RunLineJob(LineJobOutcome &out, const TextLineReader &lines, const std::function<void()> &apply,
                const std::function<void()> &commit, const std::function<bool()> &groupOpen);

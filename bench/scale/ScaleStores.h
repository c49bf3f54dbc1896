#pragma once
// The two large stores the scale benchmarks measure, built once with the program's own
// schema and kept between runs (a build takes minutes; a run should not):
//   members: magazine 1 "百万人" of 1,000,000 members, with issue 1 recorded to every one of
//            them through the program's own issue recording (MagHist and SendState rows).
//   history: magazine 1 "五年分" of 100,000 members and 260 weekly issues sent to all of them
//            (26,000,000 MagHist rows, SendComplete = 1, as a store of older issues holds).
// Members carry names, addresses, urls, flags (Flg1 on every 3rd), counters (Count1 = i % 10),
// dates and Sleep on every 20th, so conditions select real subsets.
//
// The cache lives in $TSUBAME_BENCH_CACHE, or ~/.cache/tsubame-bench. A store is built into a
// ".part" file and renamed when complete, so an interrupted build is never taken for a store.
#include <QByteArray>
#include <QString>

#include <functional>

namespace ScaleStores {

enum class Kind { Members, History };

// The path of the cached store, building it first when it is missing.
QString cached(Kind kind);

// A fresh copy of the cached store in dir, for steps that change it (deletes, restores).
// The copy is made outside any timing.
QString copyTo(Kind kind, const QString &dir);

// The sqlite3 tool, for the side-by-side figures ("sqlite3" on PATH; tools/setup installs it).
QString sqlite3();

// Runs the sqlite3 tool on the store with the script on stdin and returns the seconds it took
// (its output is discarded unless out is given).
double runSqlite3(const QString &store, const QByteArray &script, QByteArray *out = nullptr);

// The median of three runs of work, in seconds, or the one run when it took over a minute
// (a restore of the history store); prepare runs before each, untimed.
struct Timing {
    double seconds = 0;
    int runs = 0;
};
Timing timed(const std::function<void()> &work, const std::function<void()> &prepare = {});
// " (median of 3)" or " (one run: over a minute)", for the figure's line.
QString runsNote(const Timing &timing);
// timed(...).seconds.
double medianOf3(const std::function<void()> &work, const std::function<void()> &prepare = {});

// The peak resident memory of this process so far, in MB (VmHWM).
double peakMemoryMb();

} // namespace ScaleStores

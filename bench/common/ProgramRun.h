#pragma once
// The program itself run as a user runs it, watched from outside: how long it took, the
// peak of its resident memory as the kernel counted it (wait4's ru_maxrss, so a short run is
// measured as exactly as a long one), and the largest size a file reached while it ran (the
// store's write-ahead log, polled every few milliseconds).
#include <QByteArray>
#include <QString>
#include <QStringList>

struct ProgramRun {
    int exitCode = -1;      // -1 when it did not end normally
    double seconds = 0;
    double peakRssMb = 0;
    qint64 peakWatchedBytes = 0;
    QByteArray err;         // what it said on stderr
};

struct ProgramRunOptions {
    QStringList wrapper;        // a program the run goes through (strace ...), or none
    QString watchedFile;        // polled for its size; none when empty
    QString stdoutFile = QStringLiteral("/dev/null");
};

// Runs the program built beside the benchmarks with args, in this process's environment.
ProgramRun RunProgram(const QStringList &args, const ProgramRunOptions &options = {});

// The path of the program the benchmarks run.
QString ProgramPath();

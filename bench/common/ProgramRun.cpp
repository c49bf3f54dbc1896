#include "ProgramRun.h"

#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QTemporaryFile>

#include <algorithm>
#include <fcntl.h>
#include <spawn.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <vector>

extern char **environ;

QString ProgramPath()
{
    return QStringLiteral(TSUBAME_PROGRAM);
}

ProgramRun RunProgram(const QStringList &args, const ProgramRunOptions &options)
{
    ProgramRun run;
    QTemporaryFile errFile;
    if (!errFile.open())
        qFatal("cannot make a file for the program's stderr");
    const QStringList command = options.wrapper + QStringList{ProgramPath()} + args;
    std::vector<QByteArray> argBytes;
    for (const QString &a : command)
        argBytes.push_back(a.toLocal8Bit());
    std::vector<char *> argv;
    for (QByteArray &a : argBytes)
        argv.push_back(a.data());
    argv.push_back(nullptr);

    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    const QByteArray out = QFile::encodeName(options.stdoutFile);
    const QByteArray err = QFile::encodeName(errFile.fileName());
    posix_spawn_file_actions_addopen(&actions, 1, out.constData(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
    posix_spawn_file_actions_addopen(&actions, 2, err.constData(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
    posix_spawn_file_actions_addopen(&actions, 0, "/dev/null", O_RDONLY, 0);
    QElapsedTimer timer;
    timer.start();
    pid_t pid = 0;
    const int spawned = posix_spawn(&pid, argv[0], &actions, nullptr, argv.data(), environ);
    posix_spawn_file_actions_destroy(&actions);
    if (spawned != 0)
        qFatal("cannot start %s", argv[0]);

    int status = 0;
    rusage usage{};
    for (;;) {
        const pid_t done = wait4(pid, &status, WNOHANG, &usage);
        if (done == pid)
            break;
        if (!options.watchedFile.isEmpty()) {
            const qint64 size = QFileInfo(options.watchedFile).size();
            run.peakWatchedBytes = std::max(run.peakWatchedBytes, size);
        }
        usleep(5000);
    }
    run.seconds = double(timer.nsecsElapsed()) / 1e9;
    run.exitCode = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    run.peakRssMb = double(usage.ru_maxrss) / 1024.0;
    run.err = errFile.readAll();
    return run;
}

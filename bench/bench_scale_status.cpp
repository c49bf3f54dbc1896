// "tsubame status --json" on an issue of 1,000,000 failed recipients (issue 1 of the cached
// 1,000,000-member store, every record turned failed with a reply): the answer is written as
// it is read, so the peak memory of the program stays small whatever the size.
//   scale.status_json_1m.rss_peak   MB, peak resident memory (wait4's ru_maxrss)
//   scale.status_json_1m.time       s, one run, output to a file
//   scale.status_json_1m.bytes      MB written
//   scale.status_json_limit_1m.*    the same with --limit 100
#include "ScaleStores.h"
#include "common/ProgramRun.h"
#include "fakes/TestEnv.h"
#include "store/PreparedStatement.h"
#include "store/Database.h"
#include "store/Folders.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>

#include <cstdio>

namespace {

void measure(const char *name, const QStringList &args, const QString &out)
{
    ProgramRunOptions options;
    options.stdoutFile = out;
    const ProgramRun run = RunProgram(args, options);
    if (run.exitCode != 0)
        qFatal("status ended with %d: %s", run.exitCode, run.err.constData());
    std::printf("scale.%s.rss_peak: %.1f MB\n", name, run.peakRssMb);
    std::printf("scale.%s.time: %.2f s\n", name, run.seconds);
    std::printf("scale.%s.bytes: %.1f MB\n", name, double(QFileInfo(out).size()) / (1024.0 * 1024.0));
    std::fflush(stdout);
}

} // namespace

int main(int argc, char **argv)
{
    QCoreApplication app(argc, argv);
    TestEnv env;
    const QString store = Folders::storeFile(Folders::dataDir());
    QDir().mkpath(Folders::dataDir());
    QFile::remove(store);
    const QString copy = ScaleStores::copyTo(ScaleStores::Kind::Members, Folders::dataDir());
    if (!QFile::rename(copy, store))
        qFatal("cannot move %s into place", qPrintable(copy));
    QString why;
    if (!Store::open(store, &why))
        qFatal("cannot open %s: %s", qPrintable(store), qPrintable(why));
    {
        Transaction t;
        PreparedStatement fail(QStringLiteral("update SendState set State = 4, Attempts = 3,"
                                              " Reply = ? where MagIdx = 1 and MagCnt = 1"));
        fail.run({QStringLiteral("550 5.1.1 <user@example.jp>: Recipient address rejected: \"User unknown\"")});
        t.commit();
    }
    Statement().exec(QStringLiteral("pragma wal_checkpoint(truncate)"));
    Store::close();

    const QString out = QDir::tempPath() + QStringLiteral("/tsubame-bench-status.json");
    measure("status_json_1m", {QStringLiteral("status"), QStringLiteral("--json")}, out);
    measure("status_json_limit_1m", {QStringLiteral("status"), QStringLiteral("--json"), QStringLiteral("--limit"),
                                     QStringLiteral("100")},
            out);
    QFile::remove(out);
    return 0;
}

// Backup and restore of the store with five years of weekly issues (100,000 members, 260
// issues, 26,000,000 MagHist rows), side by side with the sqlite3 tool doing the same work
// on the same store in the same run.
//
//   scale.backup.time                 our backup as the window makes it (counting the rows
//                                     for its progress, every row written, the file
//                                     committed), seconds
//   scale.backup.size                 the backup file, MB
//   ratio scale.backup_vs_sqlite3     our time / sqlite3 `.dump` into a file
//   ratio scale.backup_size_vs_dump   our file's size / the `.dump` file's
//   scale.restore.time                our restore of that backup into a fresh copy of the
//                                     store (the copy made outside the timing), seconds
//   ratio scale.restore_vs_sqlite3    our time / sqlite3 `.read` of the `.dump` into a fresh
//                                     empty file
//
// Each is the median of three runs; a step that takes over a minute runs once and says so.
#include "ScaleStores.h"
#include "fakes/TestEnv.h"
#include "maintenance/UBackup.h"
#include "maintenance/UTextLines.h"
#include "store/Database.h"

#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QSaveFile>
#include <QTemporaryDir>

#include <algorithm>
#include <cstdio>
#include <vector>

namespace {

using ScaleStores::runsNote;
using ScaleStores::timed;
using ScaleStores::Timing;

double megabytes(const QString &path)
{
    return double(QFileInfo(path).size()) / (1024.0 * 1024.0);
}

void removeStore(const QString &path)
{
    for (const char *suffix : {"", "-wal", "-shm", "-journal"})
        QFile::remove(path + QLatin1StringView(suffix));
}

} // namespace

int main(int argc, char **argv)
{
    QCoreApplication app(argc, argv);
    // the cached store lives in the real home; the test environment below replaces it
    const QString history = ScaleStores::cached(ScaleStores::Kind::History);
    qputenv("TSUBAME_BENCH_CACHE", QFileInfo(history).absolutePath().toUtf8());
    TestEnv env;
    QTemporaryDir work(QFileInfo(history).absolutePath() + QStringLiteral("/backup-XXXXXX"));
    if (!work.isValid())
        qFatal("no work folder");

    // the store backed up: a copy, since opening a store may add what an older build lacks
    const QString source = ScaleStores::copyTo(ScaleStores::Kind::History, work.path());
    const QString dumpFile = work.filePath(QStringLiteral("dump.sql"));
    const QString backupFile = work.filePath(QStringLiteral("backup.bak"));
    QString why;
    if (!Store::open(source, &why))
        qFatal("cannot open %s: %s", qPrintable(source), qPrintable(why));

    const Timing backup = timed([&] {
        QSaveFile file(backupFile);
        if (!file.open(QIODevice::WriteOnly))
            qFatal("cannot write %s", qPrintable(backupFile));
        qint64 calls = 0;
        const BackupOutcome out = WriteBackup(file, [&](qint64, qint64) { return ++calls > 0; });
        if (!out.ok)
            qFatal("backup failed: %s", qPrintable(out.error));
    });
    Store::close();
    const Timing dump = timed([&] {
        ScaleStores::runSqlite3(source, QStringLiteral(".output %1\n.dump\n").arg(dumpFile).toUtf8());
    });
    std::printf("scale.backup.time: %.2f s%s\n", backup.seconds, qPrintable(runsNote(backup)));
    std::printf("sqlite3.dump.time: %.2f s%s\n", dump.seconds, qPrintable(runsNote(dump)));
    std::printf("scale.backup.size: %.0f MB\n", megabytes(backupFile));
    std::printf("sqlite3.dump.size: %.0f MB\n", megabytes(dumpFile));
    std::printf("ratio scale.backup_vs_sqlite3: %.2f\n", backup.seconds / dump.seconds);
    std::printf("ratio scale.backup_size_vs_dump: %.2f\n", megabytes(backupFile) / megabytes(dumpFile));
    std::fflush(stdout);
    removeStore(source);

    QString target;
    const Timing restore = timed(
        [&] {
            QFile file(backupFile);
            if (!file.open(QIODevice::ReadOnly))
                qFatal("cannot read %s", qPrintable(backupFile));
            TextLineReader reader(file);
            qint64 calls = 0;
            const RestoreOutcome out = RestoreBackup(reader, [&](qint64, qint64) { return ++calls > 0; });
            if (!out.ok)
                qFatal("restore failed: %s / %s", qPrintable(out.error), qPrintable(out.buffer.left(200)));
        },
        [&] {
            Store::close();
            if (!target.isEmpty())
                removeStore(target);
            target = ScaleStores::copyTo(ScaleStores::Kind::History, work.path());
            if (!Store::open(target, &why))
                qFatal("cannot open %s: %s", qPrintable(target), qPrintable(why));
        });
    Store::close();
    removeStore(target);
    const QString fresh = work.filePath(QStringLiteral("fresh.sqlite"));
    const Timing read = timed([&] { ScaleStores::runSqlite3(fresh, QStringLiteral(".read %1\n").arg(dumpFile).toUtf8()); },
                              [&] { removeStore(fresh); });
    removeStore(fresh);
    std::printf("scale.restore.time: %.2f s%s\n", restore.seconds, qPrintable(runsNote(restore)));
    std::printf("sqlite3.read.time: %.2f s%s\n", read.seconds, qPrintable(runsNote(read)));
    std::printf("ratio scale.restore_vs_sqlite3: %.2f\n", restore.seconds / read.seconds);
    return 0;
}

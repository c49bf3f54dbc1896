#include "ScaleStores.h"

#include "store/PreparedStatement.h"
#include "store/Database.h"
#include "store/IssueRecords.h"
#include "store/RecipientQuery.h"

#include <QDate>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QProcess>
#include <QStandardPaths>

#include <algorithm>
#include <cstdio>
#include <vector>

namespace ScaleStores {

namespace {

QString cacheDir()
{
    QString dir = qEnvironmentVariable("TSUBAME_BENCH_CACHE");
    if (dir.isEmpty())
        dir = QDir::homePath() + QStringLiteral("/.cache/tsubame-bench");
    QDir().mkpath(dir);
    return dir;
}

QString fileName(Kind kind)
{
    return kind == Kind::Members ? QStringLiteral("scale-members-v1.sqlite") : QStringLiteral("scale-history-v1.sqlite");
}

void exec(const QString &sql)
{
    Statement().exec(sql);
}

// Members 1..count of magazine 1, in one statement.
void addMembers(int count)
{
    exec(QStringLiteral(
             "with recursive n(i) as (select 1 union all select i + 1 from n where i < %1)"
             " insert into MagUser (MagIdx,UserIdx,UserName,UserAdrs,url,Flg1,Flg2,Flg3,Sleep,Count1,Count2,"
             "UserDate1,UserDate2,AddDate)"
             " select 1, i, '会員' || i, 'user' || i || '@example.jp', 'https://example.jp/' || i,"
             " i % 3 = 0, i % 5 = 0, 0, i % 20 = 0, i % 10, i % 7,"
             " printf('%04d%02d%02d', 1960 + i % 50, 1 + i % 12, 1 + i % 28), null,"
             " printf('%04d%02d%02d', 2015 + i % 10, 1 + i % 12, 1 + i % 28) from n")
             .arg(count));
}

void addMagazine(const QString &name)
{
    exec(QStringLiteral("insert into Magzine (MagIdx,MagName,Owner,Adrs,Atena,Sign,Flg1Name,Flg2Name,Flg3Name,"
                        "Count1Name,Count2Name,UserDate1Name,UserDate2Name,UseUserName)"
                        " values (1,'%1','発行者','owner@example.jp','様','','特典','休眠','予備','開封','クリック',"
                        "'誕生日','更新日',1)")
             .arg(name));
}

void buildMembers()
{
    addMagazine(QStringLiteral("百万人"));
    addMembers(1000000);
    IssueRow row;
    row.MagIdx = 1;
    row.AddDate = QStringLiteral("2026/01/05 10:00:00");
    row.Condition = QStringLiteral("すべて（無条件）");
    row.Title = QStringLiteral("創刊号");
    row.Body = QStringLiteral("%name% 様\r\n本文です。\r\n");
    InsertIssue(row, Recipients::all(1));
}

void buildHistory()
{
    addMagazine(QStringLiteral("五年分"));
    addMembers(100000);
    Transaction t;
    const QDate first(2021, 12, 6);
    for (int cnt = 1; cnt <= 260; ++cnt) {
        PreparedStatement issue(QStringLiteral("insert into MagInfo (MagIdx,MagCnt,AddDate,SendCnt,Condition,Title,Body,"
                                               "UpdateSQL) values (1,?,?,?,?,?,?,'')"));
        const QString date = first.addDays(7 * (cnt - 1)).toString(QStringLiteral("yyyy/MM/dd"));
        issue.run({cnt, TextValue(date + QStringLiteral(" 10:00:00")), 100000, TextValue(QStringLiteral("すべて（無条件）")),
                   TextValue(QStringLiteral("第%1号").arg(cnt)),
                   TextValue(QStringLiteral("%name% 様\r\n第%1号の本文です。\r\n").arg(cnt))});
        exec(QStringLiteral("insert into MagHist (MagIdx,MagCnt,MagUser,SendComplete) select 1, %1, UserIdx, 1"
                            " from MagUser where MagIdx = 1")
                 .arg(cnt));
    }
    t.commit();
}

} // namespace

QString cached(Kind kind)
{
    const QString path = cacheDir() + u'/' + fileName(kind);
    if (QFile::exists(path))
        return path;
    const QString part = path + QStringLiteral(".part");
    QFile::remove(part);
    std::fprintf(stderr, "building %s (once; kept for later runs)...\n", qPrintable(path));
    QElapsedTimer timer;
    timer.start();
    QString why;
    if (!Store::open(part, &why))
        qFatal("cannot create %s: %s", qPrintable(part), qPrintable(why));
    if (kind == Kind::Members)
        buildMembers();
    else
        buildHistory();
    exec(QStringLiteral("pragma wal_checkpoint(truncate)"));
    Store::close();
    QFile::remove(part + QStringLiteral("-wal"));
    QFile::remove(part + QStringLiteral("-shm"));
    if (!QFile::rename(part, path))
        qFatal("cannot rename %s", qPrintable(part));
    std::fprintf(stderr, "built in %.0f s\n", double(timer.elapsed()) / 1000.0);
    return path;
}

QString copyTo(Kind kind, const QString &dir)
{
    const QString from = cached(kind);
    const QString to = dir + u'/' + fileName(kind);
    QFile::remove(to);
    QFile::remove(to + QStringLiteral("-wal"));
    QFile::remove(to + QStringLiteral("-shm"));
    if (!QFile::copy(from, to))
        qFatal("cannot copy %s", qPrintable(from));
    QFile(to).setPermissions(QFile::ReadOwner | QFile::WriteOwner);
    return to;
}

QString sqlite3()
{
    const QString tool = QStandardPaths::findExecutable(QStringLiteral("sqlite3"));
    if (tool.isEmpty())
        qFatal("sqlite3 is not installed");
    return tool;
}

double runSqlite3(const QString &store, const QByteArray &script, QByteArray *out)
{
    QProcess p;
    p.setProcessChannelMode(QProcess::SeparateChannels);
    if (!out)
        p.setStandardOutputFile(QProcess::nullDevice());
    QElapsedTimer timer;
    timer.start();
    p.start(sqlite3(), {store});
    p.write(script);
    p.closeWriteChannel();
    QByteArray collected;
    while (!p.waitForFinished(100)) {
        if (out)
            collected += p.readAllStandardOutput();
    }
    const double seconds = double(timer.nsecsElapsed()) / 1e9;
    if (out)
        *out = collected + p.readAllStandardOutput();
    if (p.exitCode() != 0)
        qFatal("sqlite3 failed: %s", p.readAllStandardError().constData());
    return seconds;
}

Timing timed(const std::function<void()> &work, const std::function<void()> &prepare)
{
    std::vector<double> runs;
    for (int i = 0; i < 3; ++i) {
        if (prepare)
            prepare();
        QElapsedTimer timer;
        timer.start();
        work();
        runs.push_back(double(timer.nsecsElapsed()) / 1e9);
        if (runs.front() > 60)
            break;
    }
    std::sort(runs.begin(), runs.end());
    return {runs[runs.size() / 2], int(runs.size())};
}

QString runsNote(const Timing &timing)
{
    return timing.runs == 1 ? QStringLiteral(" (one run: over a minute)") : QStringLiteral(" (median of 3)");
}

double medianOf3(const std::function<void()> &work, const std::function<void()> &prepare)
{
    return timed(work, prepare).seconds;
}

double peakMemoryMb()
{
    QFile status(QStringLiteral("/proc/self/status"));
    if (!status.open(QIODevice::ReadOnly))
        return -1;
    for (const QByteArray &line : status.readAll().split('\n'))
        if (line.startsWith("VmHWM:"))
            return line.mid(6).trimmed().split(' ').value(0).toDouble() / 1024.0;
    return -1;
}

} // namespace ScaleStores

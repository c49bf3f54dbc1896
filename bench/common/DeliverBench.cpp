#include "DeliverBench.h"

#include "ProgramRun.h"
#include "fakes/TestEnv.h"
#include "store/PreparedStatement.h"
#include "store/Database.h"
#include "store/Folders.h"
#include "store/SendStates.h"
#include "store/Sql.h"

#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QProcess>
#include <QRegularExpression>
#include <QStandardPaths>
#include <QTcpServer>
#include <QThread>

#include <cstdio>
#include <optional>
#include <unistd.h>

namespace {

constexpr int kBatch = 51;
constexpr int kIndividualMag = 1;
constexpr int kBatchMag = 2;
constexpr int kIssue = 1;

QString magazineName(int mag)
{
    return mag == kIndividualMag ? QStringLiteral("individual") : QStringLiteral("batch");
}

void say(const QString &text)
{
    std::fprintf(stderr, "%s\n", qPrintable(text));
}

QString tool(const QString &name)
{
    for (const QString &dir : {QStringLiteral("/usr/sbin"), QStringLiteral("/usr/bin")})
        if (QFile::exists(dir + u'/' + name))
            return dir + u'/' + name;
    return QStandardPaths::findExecutable(name);
}

quint16 freePort()
{
    QTcpServer s;
    s.listen(QHostAddress::LocalHost, 0);
    return s.serverPort();
}

// About 2 KB on the wire once encoded, like smtp-source's -l 2048 messages.
QString body()
{
    QString b;
    for (int i = 0; b.size() < 760; ++i)
        b += QStringLiteral("ツバメ便の配信速度を測るための本文です。Line %1 of the body.\r\n").arg(i);
    return b;
}

// Two magazines of `members` members each, one sending a mail per member and one in batches,
// each with issue 1 recorded to all of its members.
void setUpStore(quint16 port, int members)
{
    Transaction t;
    PreparedStatement server(QStringLiteral("insert into CommonTBL values(100,1,?,0,0,'127.0.0.1','','')"));
    server.run({port});
    Statement().exec(QStringLiteral("insert into CommonTBL values(100,2,0,0,0,NULL,NULL,NULL)"));
    for (int mag : {kIndividualMag, kBatchMag}) {
        PreparedStatement magazine(QStringLiteral("insert into Magzine (MagIdx,MagName,Owner,Adrs,Atena,UseUserName)"
                                                  " values(?,?,'ツバメ出版','owner@example.jp','読者各位',?)"));
        magazine.run({mag, magazineName(mag), mag == kIndividualMag ? 1 : 0});
        PreparedStatement issue(QStringLiteral("insert into MagInfo (MagIdx,MagCnt,AddDate,SendCnt,Condition,Title,Body,UpdateSQL)"
                                               " values(?,?,'2026/12/10 10:00:00',?,'',?,?,'')"));
        issue.run({mag, kIssue, members, QStringLiteral("配信速度の測定"), Sql::escapeBody(body())});
        PreparedStatement users(QStringLiteral(
            "with recursive n(i) as (select 1 union all select i + 1 from n where i < ?)"
            " insert into MagUser (MagIdx,UserIdx,UserName,UserAdrs) select ?, i, '会員' || i,"
            " 'member' || i || '@example.com' from n"));
        users.run({members, mag});
        PreparedStatement hist(QStringLiteral("insert into MagHist (MagIdx,MagCnt,MagUser,SendComplete)"
                                              " select MagIdx, ?, UserIdx, 0 from MagUser where MagIdx = ?"));
        hist.run({kIssue, mag});
        SendStates::seed(mag, kIssue);
    }
    t.commit();
}

// Every recipient waiting again, as a freshly recorded issue has them.
void queueAgain(int mag)
{
    Transaction t;
    PreparedStatement hist(QStringLiteral("update MagHist set SendComplete = 0 where MagIdx = ?"));
    hist.run({mag});
    PreparedStatement rows(QStringLiteral("delete from SendState where MagIdx = ?"));
    rows.run({mag});
    SendStates::seed(mag, kIssue);
    t.commit();
    Statement().exec(QStringLiteral("pragma wal_checkpoint(truncate)"));
}

struct Journal {
    double commits = -1;  // per 1,000 mails; -1 when not known
    double syncs = -1;
};

std::optional<Journal> journalFromCounters(const QByteArray &err)
{
    static const QRegularExpression line(QStringLiteral("journal: commits (\\d+) syncs (\\d+) recipients (\\d+)"));
    const QRegularExpressionMatch m = line.match(QString::fromUtf8(err));
    if (!m.hasMatch() || m.captured(3).toLongLong() == 0)
        return std::nullopt;
    const double mails = m.captured(3).toDouble();
    return Journal{m.captured(1).toDouble() * 1000 / mails, m.captured(2).toDouble() * 1000 / mails};
}

// The syncs of a second delivery under strace, which counts the calls of every thread.
double syncsByStrace(const QStringList &args, int mails)
{
    const QString strace = tool(QStringLiteral("strace"));
    if (strace.isEmpty())
        return -1;
    const QString summary = QDir::tempPath() + QStringLiteral("/tsubame-bench-strace.txt");
    ProgramRunOptions traced;
    traced.wrapper = {strace, QStringLiteral("-f"), QStringLiteral("--seccomp-bpf"), QStringLiteral("-c"),
                      QStringLiteral("-e"), QStringLiteral("trace=fsync,fdatasync"), QStringLiteral("-o"), summary};
    const ProgramRun run = RunProgram(args, traced);
    if (run.exitCode != 0) {
        say(QStringLiteral("the delivery under strace ended with %1: %2").arg(run.exitCode).arg(QString::fromUtf8(run.err.right(500))));
        return -1;
    }
    QFile f(summary);
    if (!f.open(QIODevice::ReadOnly))
        return -1;
    qint64 calls = 0;
    for (const QByteArray &l : f.readAll().split('\n')) {
        const QList<QByteArray> fields = l.simplified().split(' ');
        if (fields.size() >= 5 && (fields.last() == "fsync" || fields.last() == "fdatasync"))
            calls += fields.at(3).toLongLong();
    }
    f.remove();
    return double(calls) * 1000 / mails;
}

double smtpSource(const QString &source, quint16 port, int messages, int recipients)
{
    QProcess p;
    p.setProcessChannelMode(QProcess::MergedChannels);
    QStringList args{QStringLiteral("-s"), QStringLiteral("1"), QStringLiteral("-d"), QStringLiteral("-l"),
                     QStringLiteral("2048"), QStringLiteral("-m"), QString::number(messages), QStringLiteral("-f"),
                     QStringLiteral("owner@example.jp"), QStringLiteral("-t"), QStringLiteral("member@example.com")};
    if (recipients > 1)
        args << QStringLiteral("-r") << QString::number(recipients);
    args += QStringLiteral("127.0.0.1:%1").arg(port);
    QElapsedTimer timer;
    timer.start();
    p.start(source, args);
    p.waitForFinished(-1);
    const double seconds = double(timer.nsecsElapsed()) / 1e9;
    if (p.exitCode() != 0)
        say(QStringLiteral("smtp-source failed: ") + QString::fromLocal8Bit(p.readAll()));
    return messages / seconds;
}

struct Delivery {
    ProgramRun run;
    Journal journal;
    qint64 sent = 0;
};

Delivery deliver(int mag, int members)
{
    queueAgain(mag);
    const QString magazine = magazineName(mag);
    const QStringList args{QStringLiteral("deliver"), QStringLiteral("--magazine"), magazine, QStringLiteral("--issue"),
                           QString::number(kIssue)};
    const QString wal = Folders::storeFile(Folders::dataDir()) + QStringLiteral("-wal");
    Delivery d;
    ProgramRunOptions watched;
    watched.watchedFile = wal;
    d.run = RunProgram(args, watched);
    d.sent = SendStates::counts(mag, kIssue).sent;
    if (d.run.exitCode != 0 || d.sent != members)
        say(QStringLiteral("%1: exit %2, %3 of %4 sent: %5")
                .arg(magazine)
                .arg(d.run.exitCode)
                .arg(d.sent)
                .arg(members)
                .arg(QString::fromUtf8(d.run.err.right(500))));
    if (const std::optional<Journal> j = journalFromCounters(d.run.err)) {
        d.journal = *j;
    } else {
        queueAgain(mag);
        d.journal.syncs = syncsByStrace(args, members);
        say(QStringLiteral("%1: no journal counters from the program; syncs counted by strace, commits unknown").arg(magazine));
    }
    return d;
}

void print(const char *prefix, const QByteArray &name, double value, const char *unit, int decimals = 1)
{
    std::printf("%s.%s: %.*f %s\n", prefix, name.constData(), decimals, value, unit);
}

void printRun(const char *prefix, const char *mode, const Delivery &d)
{
    const QByteArray m(mode);
    print(prefix, m + ".wal_peak", double(d.run.peakWatchedBytes) / (1024.0 * 1024.0), "MB");
    print(prefix, m + ".rss_peak", d.run.peakRssMb, "MB");
    if (d.journal.commits >= 0)
        print(prefix, m + ".journal_commits", d.journal.commits, "per 1000 mails");
    if (d.journal.syncs >= 0)
        print(prefix, m + ".journal_syncs", d.journal.syncs, "per 1000 mails");
}

} // namespace

int RunDeliverBench(int members, const char *prefix)
{
    const QString sinkTool = tool(QStringLiteral("smtp-sink"));
    const QString source = tool(QStringLiteral("smtp-source"));
    if (sinkTool.isEmpty() || source.isEmpty()) {
        say(QStringLiteral("smtp-sink and smtp-source are missing: run this through bench/run, which installs postfix"));
        return 1;
    }
    const quint16 port = freePort();
    QProcess sink;
    sink.setProcessChannelMode(QProcess::ForwardedErrorChannel);
    sink.setStandardOutputFile(QProcess::nullDevice());
    QStringList sinkArgs;
    if (::getuid() == 0)
        sinkArgs << QStringLiteral("-u") << QStringLiteral("nobody");
    sinkArgs << QStringLiteral("127.0.0.1:%1").arg(port) << QStringLiteral("256");
    sink.start(sinkTool, sinkArgs);
    if (!sink.waitForStarted(10000)) {
        say(QStringLiteral("smtp-sink did not start"));
        return 1;
    }
    QThread::msleep(300);

    TestEnv env;
    env.openStore();
    say(QStringLiteral("setting up %1 members in each of two magazines").arg(members));
    setUpStore(port, members);
    qputenv("TSUBAME_JOURNAL_STATS", "1");

    const int batchMessages = (members + kBatch - 1) / kBatch;
    const Delivery individual = deliver(kIndividualMag, members);
    const double sourceIndividual = smtpSource(source, port, members, 1);
    const Delivery batch = deliver(kBatchMag, members);
    const double sourceBatch = smtpSource(source, port, batchMessages, kBatch) * kBatch;

    const double ourIndividual = members / individual.run.seconds;
    const double ourBatchMails = batchMessages / batch.run.seconds;
    const double ourBatchRecipients = members / batch.run.seconds;
    print(prefix, "individual.rate", ourIndividual, "mails/s", 0);
    std::printf("smtp-source.individual.rate: %.0f mails/s\n", sourceIndividual);
    std::printf("ratio %s.individual_vs_smtp-source: %.2f\n", prefix, ourIndividual / sourceIndividual);
    print(prefix, "batch.rate", ourBatchMails, "mails/s");
    print(prefix, "batch.recipients", ourBatchRecipients, "recipients/s", 0);
    std::printf("smtp-source.batch.recipients: %.0f recipients/s\n", sourceBatch);
    std::printf("ratio %s.batch_vs_smtp-source: %.2f\n", prefix, ourBatchRecipients / sourceBatch);
    printRun(prefix, "individual", individual);
    printRun(prefix, "batch", batch);
    std::fflush(stdout);

    sink.terminate();
    sink.waitForFinished(3000);
    const bool complete = individual.sent == members && batch.sent == members;
    return complete ? 0 : 1;
}

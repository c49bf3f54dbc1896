// Delivery speed: the worker sends 10,000 members in individual mode and in batches of 51 to
// Postfix's smtp-sink on loopback; in the same run smtp-source sends as many 2 KB messages
// over one connection to the same sink. The two alternate in rounds (rates on a shared
// machine drift), and the median of the per-round ratios is reported. Memory is read at the
// 1,000th and at the last member of an individual delivery.
//
// smtp-sink and smtp-source come from the Debian postfix package, unpacked (never installed)
// into a cache folder: apt-get download postfix; dpkg -x.
#include "fakes/TestEnv.h"
#include "mail/UMailThread.h"
#include "members/UAddress.h"
#include "store/Database.h"
#include "store/SendStates.h"
#include "store/Sql.h"

#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QProcess>
#include <QSignalSpy>
#include <QStandardPaths>
#include <QTcpServer>
#include <QTemporaryDir>
#include <QThread>

#include <algorithm>
#include <cstdio>
#include <unistd.h>

namespace {

constexpr int kMembers = 10000;
constexpr int kRounds = 5;
constexpr int kIndividualMag = 1;
constexpr int kBatchMag = 2;
constexpr int kIssueOf[] = {0, 11, 12};

void say(const QString &text)
{
    std::fprintf(stderr, "%s\n", qPrintable(text));
}

QString postfixTools()
{
    const QString cache = QStandardPaths::writableLocation(QStandardPaths::GenericCacheLocation)
                          + QStringLiteral("/tsubame-bench/postfix");
    if (QFile::exists(cache + QStringLiteral("/usr/sbin/smtp-sink")))
        return cache;
    QDir().mkpath(cache);
    say(QStringLiteral("fetching smtp-sink and smtp-source (apt-get download postfix) into ") + cache);
    QProcess p;
    p.setWorkingDirectory(cache);
    p.setProcessChannelMode(QProcess::ForwardedChannels);
    p.start(QStringLiteral("sh"), {QStringLiteral("-c"),
                                   QStringLiteral("apt-get download postfix >/dev/null 2>&1 || "
                                                  "(apt-get update -qq && apt-get download postfix) >&2; "
                                                  "dpkg -x postfix_*.deb . && rm -f postfix_*.deb")});
    p.waitForFinished(600000);
    return QFile::exists(cache + QStringLiteral("/usr/sbin/smtp-sink")) ? cache : QString();
}

quint16 freePort()
{
    QTcpServer s;
    s.listen(QHostAddress::LocalHost, 0);
    return s.serverPort();
}

double rssMb()
{
    QFile f(QStringLiteral("/proc/self/statm"));
    if (!f.open(QIODevice::ReadOnly))
        return 0;
    const QList<QByteArray> parts = f.readAll().split(' ');
    return parts.size() > 1 ? parts.at(1).toDouble() * double(sysconf(_SC_PAGESIZE)) / (1024.0 * 1024.0) : 0;
}

double median(QList<double> v)
{
    std::sort(v.begin(), v.end());
    const qsizetype n = v.size();
    return n == 0 ? 0 : (n % 2 ? v.at(n / 2) : (v.at(n / 2 - 1) + v.at(n / 2)) / 2);
}

// About 2 KB on the wire once encoded, like smtp-source's -l 2048 messages.
QString body()
{
    QString b;
    for (int i = 0; b.size() < 760; ++i)
        b += QStringLiteral("ツバメ便の配信速度を測るための本文です。Line %1 of the body.\r\n").arg(i);
    return b;
}

void setUpStore(quint16 port)
{
    Transaction t;
    Statement s;
    s.exec("insert into CommonTBL values(100,1," + QString::number(port) + ",0,0,'127.0.0.1','','')");
    s.exec("insert into CommonTBL values(100,2,0,0,0,NULL,NULL,NULL)");
    for (int mag : {kIndividualMag, kBatchMag}) {
        s.exec("insert into Magzine (MagIdx, MagName, Owner, Adrs, Atena, UseUserName) values(" + QString::number(mag)
               + ",'bench','ツバメ出版','owner@example.jp','読者各位'," + (mag == kIndividualMag ? "1" : "0") + ")");
        s.exec(Sql::lines({"insert into MagInfo (MagIdx,MagCnt,AddDate,SendCnt,Condition,Title,Body,UpdateSQL) values(",
                           QString::number(mag) + "," + QString::number(kIssueOf[mag]) + ",'2026/12/10 10:00:00',"
                               + QString::number(kMembers) + ",''," + Sql::q(QStringLiteral("配信速度の測定"))
                               + "," + Sql::q(Sql::escapeBody(body())) + ",'')"}));
        for (int i = 0; i < kMembers; ++i) {
            const int idx = mag * 100000 + i;
            s.exec("insert into MagUser (MagIdx, UserIdx, UserName, UserAdrs) values(" + QString::number(mag) + ","
                   + QString::number(idx) + ",'会員','member" + QString::number(i) + "@example.com')");
            s.exec("insert into MagHist (MagIdx, MagCnt, MagUser, SendComplete) values(" + QString::number(mag) + ","
                   + QString::number(kIssueOf[mag]) + "," + QString::number(idx) + ",0)");
        }
    }
    t.commit();
}

struct Run {
    double seconds = 0;
    int reported = 0;
    double rssAt1000 = 0;
    double rssAtEnd = 0;
};

// Every member of the issue waiting again, as a freshly recorded issue has them, outside the
// time measured: each round sends the whole issue.
void queueAgain(int mag)
{
    Transaction t;
    Statement s;
    s.exec("update MagHist set SendComplete = 0 where MagIdx = " + QString::number(mag));
    s.exec("delete from SendState where MagIdx = " + QString::number(mag));
    SendStates::seed(mag, kIssueOf[mag]);
    t.commit();
}

Run deliver(int mag, const QString &docDir)
{
    queueAgain(mag);
    TMailThread::Settings settings;
    settings.isValidAddress = IsValidAddress;
    settings.DocDir = docDir;
    TMailThread worker(mag, kIssueOf[mag], settings);
    Run run;
    // Reports arrive on the worker's thread; reading memory there costs microseconds.
    QObject::connect(&worker, &TMailThread::ReportsWaiting, &worker, [&run, &worker] {
        const bool before = run.reported < 1000;
        run.reported += int(worker.takeReports());
        if (before && run.reported >= 1000)
            run.rssAt1000 = rssMb();
        if (run.reported >= kMembers)
            run.rssAtEnd = rssMb();
    }, Qt::DirectConnection);
    QSignalSpy done(&worker, &QThread::finished);
    QElapsedTimer timer;
    timer.start();
    worker.start();
    done.wait(600000);
    run.seconds = timer.nsecsElapsed() / 1e9;
    return run;
}

double smtpSource(const QString &tools, quint16 port, int messages, int recipients)
{
    QProcess p;
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert(QStringLiteral("LD_LIBRARY_PATH"), tools + QStringLiteral("/usr/lib/postfix"));
    p.setProcessEnvironment(env);
    p.setProcessChannelMode(QProcess::ForwardedErrorChannel);
    QStringList args{QStringLiteral("-s"), QStringLiteral("1"), QStringLiteral("-d"), QStringLiteral("-l"),
                     QStringLiteral("2048"), QStringLiteral("-m"), QString::number(messages), QStringLiteral("-f"),
                     QStringLiteral("owner@example.jp"), QStringLiteral("-t"), QStringLiteral("member@example.com")};
    if (recipients > 1)
        args << QStringLiteral("-r") << QString::number(recipients);
    args += QStringLiteral("127.0.0.1:%1").arg(port);
    QElapsedTimer timer;
    timer.start();
    p.start(tools + QStringLiteral("/usr/sbin/smtp-source"), args);
    p.waitForFinished(600000);
    const double seconds = timer.nsecsElapsed() / 1e9;
    if (p.exitCode() != 0)
        say(QStringLiteral("smtp-source failed: ") + QString::fromLocal8Bit(p.readAllStandardOutput()));
    return messages / seconds;
}

} // namespace

int main(int argc, char **argv)
{
    QCoreApplication app(argc, argv);
    const QString tools = postfixTools();
    if (tools.isEmpty()) {
        say(QStringLiteral("smtp-sink/smtp-source not available (apt-get download postfix failed)"));
        return 1;
    }

    const quint16 port = freePort();
    QProcess sink;
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert(QStringLiteral("LD_LIBRARY_PATH"), tools + QStringLiteral("/usr/lib/postfix"));
    sink.setProcessEnvironment(env);
    sink.setProcessChannelMode(QProcess::ForwardedChannels);
    QStringList sinkArgs;
    if (::getuid() == 0)
        sinkArgs << QStringLiteral("-u") << QStringLiteral("nobody");
    sinkArgs << QStringLiteral("127.0.0.1:%1").arg(port) << QStringLiteral("256");
    sink.start(tools + QStringLiteral("/usr/sbin/smtp-sink"), sinkArgs);
    if (!sink.waitForStarted(10000)) {
        say(QStringLiteral("smtp-sink did not start"));
        return 1;
    }
    QThread::msleep(300);

    TestEnv testEnv;
    testEnv.openStore();
    say(QStringLiteral("setting up %1 members in each of two magazines").arg(kMembers));
    setUpStore(port);
    const int batchMessages = (kMembers + TMailThread::kBatchSize - 1) / TMailThread::kBatchSize;

    QList<double> ours[2], theirs[2], ratios[2];
    double growth = 0;
    for (int round = 0; round < kRounds; ++round) {
        const Run individual = deliver(kIndividualMag, testEnv.docDir());
        const double sourceIndividual = smtpSource(tools, port, kMembers, 1);
        const Run batch = deliver(kBatchMag, testEnv.docDir());
        const double sourceBatch = smtpSource(tools, port, batchMessages, TMailThread::kBatchSize);
        if (individual.reported != kMembers || batch.reported != kMembers)
            say(QStringLiteral("round %1: only %2 / %3 members reported sent")
                    .arg(round)
                    .arg(individual.reported)
                    .arg(batch.reported));
        const double rate[2] = {kMembers / individual.seconds, batchMessages / batch.seconds};
        const double source[2] = {sourceIndividual, sourceBatch};
        for (int k = 0; k < 2; ++k) {
            ours[k] += rate[k];
            theirs[k] += source[k];
            ratios[k] += rate[k] / source[k];
        }
        if (round == 0)
            growth = individual.rssAtEnd - individual.rssAt1000;
        say(QStringLiteral("round %1: individual %2 vs %3 mails/s, batch %4 vs %5 mails/s, rss %6 -> %7 MB")
                .arg(round)
                .arg(rate[0], 0, 'f', 0)
                .arg(source[0], 0, 'f', 0)
                .arg(rate[1], 0, 'f', 1)
                .arg(source[1], 0, 'f', 1)
                .arg(individual.rssAt1000, 0, 'f', 1)
                .arg(individual.rssAtEnd, 0, 'f', 1));
    }
    QDir(testEnv.docDir() + QStringLiteral("/エラーログ")).removeRecursively();

    std::printf("deliver.individual.rate: %.0f mails/s\n", median(ours[0]));
    std::printf("deliver.batch.rate: %.1f mails/s\n", median(ours[1]));
    std::printf("smtp-source.individual.rate: %.0f mails/s\n", median(theirs[0]));
    std::printf("smtp-source.batch.rate: %.1f mails/s\n", median(theirs[1]));
    std::printf("ratio deliver.individual_vs_smtp-source: %.2f\n", median(ratios[0]));
    std::printf("ratio deliver.batch_vs_smtp-source: %.2f\n", median(ratios[1]));
    std::printf("deliver.memory_growth: %.1f MB\n", growth);
    std::fflush(stdout);

    sink.terminate();
    sink.waitForFinished(3000);
    return 0;
}

// A store in everyday use, for about two minutes: a paced "tsubame send" to 3,000 members
// while, over and over, "tsubame inbox" processes an unsubscribe request from a POP3 box on
// loopback, "tsubame import" adds a member to another magazine, a second magazine's issue is
// sent, the window starts, and the window's update check records the versions it was
// offered, each of them a writer on the same store. The delivery is killed with SIGKILL at
// random moments and "tsubame resume --all" goes on with it. Judged from the sink's own log (every recipient it
// accepted), from the exit statuses and from "status --json":
//   - nobody receives an issue twice, and nobody is missing once resumed;
//   - every issue ends with nothing left to send: done, or only its unknown recipients open;
//   - at most one mail per kill is unknown (one batch in batch mode);
//   - no writer stopped another: every command did its work.
// Every check is run and every broken one named before the test fails.
#include "fakes/MailServers.h"
#include "fakes/FakeHttpServer.h"
#include "fakes/RunProgram.h"
#include "fakes/StoreFixture.h"
#include "fakes/TestEnv.h"
#include "mail/UnsubscribeToken.h"
#include "store/Database.h"
#include "store/InboxSettings.h"
#include "store/SendSettings.h"
#include "store/UnsubscribeKey.h"
#include "store/UpdateRows.h"
#include "update/UGetVersion.h"

#include <QDeadlineTimer>
#include <QElapsedTimer>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>
#include <QRandomGenerator>
#include <QRegularExpression>
#include <QtTest>

#include <functional>
#include <memory>
#include <signal.h>

namespace {

constexpr int kBusy = 1;      // the magazine delivered while the others write
constexpr int kSecond = 2;    // the second magazine, sent over and over
constexpr int kImports = 3;   // the magazine members are imported into and unsubscribed from
constexpr int kBusyMembers = 3000;
constexpr int kSecondMembers = 40;
constexpr int kImportMembers = 60;
constexpr int kKills = 3;
constexpr int kBatch = 51;
const QString kUser = QStringLiteral("news");
const QString kPassword = QStringLiteral("secret");

QString busyAddress(int i)
{
    return QStringLiteral("a%1@example.com").arg(i, 4, 10, QLatin1Char('0'));
}

QString secondAddress(int i)
{
    return QStringLiteral("b%1@example.com").arg(i, 3, 10, QLatin1Char('0'));
}

// One command started over and over while the delivery runs, each run when the one before
// has ended; what each run came to is kept for the checks.
struct Lane {
    QString name;
    std::function<QStringList()> prepare;           // the run's arguments, its input made ready
    std::function<bool()> done = [] { return false; }; // ends a run that would not end by itself
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    std::unique_ptr<QProcess> process;
    QElapsedTimer started;
    QElapsedTimer ended;  // a short breath between runs, as a user or a timer would leave
    int runs = 0;
    QStringList failures;
    bool endedByUs = false;
};

} // namespace

class TestCliSoak : public QObject
{
    Q_OBJECT

    std::unique_ptr<TestEnv> env;
    std::unique_ptr<SmtpSink> sink;
    std::unique_ptr<Pop3TestServer> pop3;
    std::unique_ptr<FakeHttpServer> vendor;
    QList<std::shared_ptr<Lane>> lanes;
    bool lanesRunning = false;
    QTemporaryDir files;
    int nextImport = 0;
    int nextUnsubscribe = 1;
    qint64 versionsBefore = 0;
    QByteArray versionList;  // every version offered so far: any check records those missing
    int versionsOffered = 0;
    // The update check as the window runs it, in this process on a connection of its own.
    std::unique_ptr<TGetVersion> checker;
    QElapsedTimer checkerStarted;
    QElapsedTimer checkerEnded;
    qint64 checkerExpects = 0;
    int checks = 0;
    QStringList checkFailures;
    int windowsRecorded = 0;
    // The whole round's time, so that a store that stops every delivery still ends the test
    // in its time with the checks named.
    QDeadlineTimer budget;

    static QString oneLine(const QByteArray &err)
    {
        return QString::fromUtf8(err).trimmed().replace(u'\n', QStringLiteral(" / "));
    }

    // Offers one more version in the vendor's list; returns how many rows the store should
    // hold once a check has read it.
    qint64 offerVersion()
    {
        ++versionsOffered;
        versionList += QByteArray::number(900000 + versionsOffered) + "\tsoak\tTsubame" + QByteArray::number(versionsOffered)
                       + ".zip\r\n";
        vendor->setReply(QStringLiteral("/tsubame/softver.php"), FakeHttpServer::body(versionList));
        return versionsBefore + versionsOffered;
    }

    void pumpChecker()
    {
        if (checker && checker->isFinished()) {
            if (UpdateRows::known().size() < checkerExpects)
                checkFailures << QStringLiteral("update check %1: the offered version was not recorded").arg(checks);
            checker.reset();
            checkerEnded.start();
        } else if (checker && checkerStarted.elapsed() > 30000) {
            checkFailures << QStringLiteral("update check %1: still running after 30 s").arg(checks);
            checker->stop(5000);
            checker.reset();
            checkerEnded.start();
        }
        if (!checker && lanesRunning && (!checkerEnded.isValid() || checkerEnded.elapsed() > 1000)) {
            ++checks;
            checkerExpects = offerVersion();
            // A program newer than every version offered: the check records them and has
            // nothing to download.
            checker = std::make_unique<TGetVersion>(QStringLiteral("999999"));
            checker->setBaseUrl(vendor->baseUrl());
            checkerStarted.start();
            checker->start();
        }
    }

    // Starts the lanes' next runs and collects the ended ones; called while the test waits.
    void pump()
    {
        pumpChecker();
        for (const std::shared_ptr<Lane> &lane : std::as_const(lanes)) {
            if (lane->process && lane->process->state() == QProcess::NotRunning) {
                const int code = lane->process->exitStatus() == QProcess::NormalExit ? lane->process->exitCode() : -1;
                if (!lane->endedByUs && code != 0)
                    lane->failures << QStringLiteral("%1 run %2: exit %3: %4")
                                          .arg(lane->name)
                                          .arg(lane->runs)
                                          .arg(code)
                                          .arg(oneLine(lane->process->readAllStandardError()));
                lane->process.reset();
                lane->ended.start();
            }
            if (lane->process && !lane->endedByUs) {
                if (lane->done()) {
                    lane->endedByUs = true;
                    lane->process->terminate();
                } else if (lane->started.elapsed() > 30000) {
                    lane->failures << QStringLiteral("%1 run %2: still running after 30 s").arg(lane->name).arg(lane->runs);
                    lane->endedByUs = true;
                    lane->process->kill();
                }
            }
            if (!lane->process && lanesRunning && (!lane->ended.isValid() || lane->ended.elapsed() > 300)) {
                ++lane->runs;
                lane->endedByUs = false;
                lane->process = StartProgram(lane->prepare(), lane->env);
                lane->started.start();
            }
        }
    }

    // Waits, keeping the lanes going, until the condition holds; false after the time.
    bool waitFor(const std::function<bool()> &condition, int timeoutMs)
    {
        const QDeadlineTimer deadline(std::min<qint64>(timeoutMs, std::max<qint64>(budget.remainingTime(), 1000)));
        while (!deadline.hasExpired()) {
            pump();
            if (condition())
                return true;
            QTest::qWait(50);
        }
        return condition();
    }

    bool waitForProcess(QProcess *p, int timeoutMs)
    {
        return waitFor([p] { return p->state() == QProcess::NotRunning; }, timeoutMs);
    }

    void stopLanes()
    {
        lanesRunning = false;
        budget.setRemainingTime(60000);
        waitFor([this] {
            if (checker)
                return false;
            for (const std::shared_ptr<Lane> &lane : std::as_const(lanes))
                if (lane->process)
                    return false;
            return true;
        }, 60000);
    }

    int acceptedOf(const QString &prefix) const
    {
        int n = 0;
        for (const SmtpSink::Entry &e : sink->entries())
            n += e.kind == QLatin1String("accepted") && e.address.startsWith(prefix) ? 1 : 0;
        return n;
    }

    void setUpStore(bool batch)
    {
        const StoreFixture::Row blank = StoreFixture::blankMemberColumns();
        StoreFixture::addMagazine(kBusy, QStringLiteral("週刊ツバメ"), StoreFixture::defaultFieldNames(),
                                  {{"UseUserName", batch ? 0 : 1}});
        StoreFixture::addMagazine(kSecond, QStringLiteral("月刊ツバメ"), StoreFixture::defaultFieldNames(), {{"UseUserName", 1}});
        StoreFixture::addMagazine(kImports, QStringLiteral("ツバメ通信"));
        StoreFixture::insertMany("MagUser", kBusyMembers, [&](int i) {
            return StoreFixture::memberRow(kBusy, i + 1, QStringLiteral("会員%1").arg(i), busyAddress(i), blank);
        });
        StoreFixture::insertMany("MagUser", kSecondMembers, [&](int i) {
            return StoreFixture::memberRow(kSecond, i + 1, QStringLiteral("読者%1").arg(i), secondAddress(i), blank);
        });
        StoreFixture::insertMany("MagUser", kImportMembers, [&](int i) {
            return StoreFixture::memberRow(kImports, i + 1, QStringLiteral("通信%1").arg(i),
                                           QStringLiteral("c%1@example.com").arg(i), blank);
        });
        Statement s;
        s.exec("delete from CommonTBL where key1 = 100");
        s.exec(QStringLiteral("insert into CommonTBL values(100,1,%1,0,0,'127.0.0.1',NULL,NULL)").arg(sink->port()));
        s.exec("insert into CommonTBL values(100,2,0,0,0,NULL,NULL,NULL)");
        // Slow enough that the kills land at random points of a minute-long delivery.
        DeliverySettings settings;
        if (batch)
            settings.pacing.pauseBetweenGroupsMs = 900;
        else
            settings.pacing.perMinute = 3000;
        SendSettings::save(settings);
        InboxSettings inbox;
        inbox.useOwn = true;
        inbox.host = QStringLiteral("127.0.0.1");
        inbox.port = pop3->port();
        inbox.user = kUser;
        inbox.password = kPassword;
        InboxSettings::save(inbox);
        versionsBefore = UpdateRows::known().size();
    }

    QString writeFile(const QString &name, const QByteArray &bytes)
    {
        QFile f(files.filePath(name));
        f.open(QIODevice::WriteOnly);
        f.write(bytes);
        return f.fileName();
    }

    void addLanes()
    {
        auto inbox = std::make_shared<Lane>();
        inbox->name = QStringLiteral("inbox");
        const QByteArray key = UnsubscribeKey::load();
        inbox->prepare = [this, key] {
            const int member = nextUnsubscribe++ % kImportMembers + 1;
            pop3->deliver(kUser, "From: reader@example.org\r\nSubject: unsubscribe "
                                     + UnsubscribeToken::make(key, kImports, member).toLatin1() + "\r\n\r\n\r\n");
            return QStringList{QStringLiteral("inbox")};
        };
        auto importer = std::make_shared<Lane>();
        importer->name = QStringLiteral("import");
        importer->prepare = [this] {
            const int n = nextImport++;
            const QString file = writeFile(QStringLiteral("import%1.csv").arg(n),
                                           QStringLiteral("新会員%1,new%1@example.com\r\n").arg(n).toUtf8());
            return QStringList{QStringLiteral("import"), QStringLiteral("--magazine"), QStringLiteral("ツバメ通信"), file,
                               QStringLiteral("--columns"), QStringLiteral("0,1"), QStringLiteral("--no-heading")};
        };
        auto second = std::make_shared<Lane>();
        second->name = QStringLiteral("second magazine's send");
        const QString body = writeFile(QStringLiteral("body.txt"), "月刊ツバメの本文です。\r\n");
        second->prepare = [body] {
            return QStringList{QStringLiteral("send"), QStringLiteral("--magazine"), QStringLiteral("月刊ツバメ"),
                               QStringLiteral("--subject"), QStringLiteral("月刊ツバメ"), QStringLiteral("--body-file"), body};
        };
        // The window starts: it reads the store, settles what it finds, offers to resume an
        // open issue and runs its update check, which records the version offered. Once that
        // is recorded it is closed; a window that waits on its resume question is closed after
        // a while (nobody answers it).
        auto window = std::make_shared<Lane>();
        window->name = QStringLiteral("window start");
        window->env.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("offscreen"));
        window->env.insert(QStringLiteral("TSUBAME_VENDOR_URL"), vendor->baseUrl().toString());
        auto expected = std::make_shared<qint64>(0);
        window->prepare = [this, expected] {
            *expected = offerVersion();
            return QStringList{};
        };
        Lane *w = window.get();
        window->done = [this, w, expected] {
            if (UpdateRows::known().size() >= *expected) {
                ++windowsRecorded;
                return true;
            }
            return w->started.elapsed() > 15000;
        };
        lanes = {inbox, importer, second, window};
    }

    QJsonObject status()
    {
        std::unique_ptr<QProcess> p = StartProgram({QStringLiteral("status"), QStringLiteral("--json")});
        p->waitForFinished(60000);
        return QJsonDocument::fromJson(p->readAllStandardOutput()).object();
    }

private Q_SLOTS:
    void init()
    {
        env = std::make_unique<TestEnv>();
        env->openStore();
        sink = std::make_unique<SmtpSink>();
        QVERIFY2(sink->start({}), qPrintable(sink->error()));
        pop3 = std::make_unique<Pop3TestServer>();
        QVERIFY2(pop3->start(kUser, kPassword), qPrintable(pop3->error()));
        vendor = std::make_unique<FakeHttpServer>();
        QVERIFY(vendor->listen());
        versionList.clear();
        versionsOffered = 0;
        checks = 0;
        checkFailures.clear();
        checkerEnded.invalidate();
        windowsRecorded = 0;
        nextImport = 0;
        nextUnsubscribe = 1;
        QVERIFY(files.isValid());
    }
    void cleanup()
    {
        lanesRunning = false;
        if (checker)
            checker->stop(5000);
        checker.reset();
        for (const std::shared_ptr<Lane> &lane : std::as_const(lanes))
            if (lane->process) {
                lane->process->kill();
                lane->process->waitForFinished(5000);
            }
        lanes.clear();
        vendor.reset();
        pop3.reset();
        sink.reset();
        env.reset();
    }

    void deliveryUnderConcurrentWriters_data()
    {
        QTest::addColumn<bool>("batch");
        QTest::newRow("individual") << false;
        QTest::newRow("batch") << true;
    }
    void deliveryUnderConcurrentWriters()
    {
        QFETCH(bool, batch);
        setUpStore(batch);
        addLanes();
        QStringList broken;
        const QString body = writeFile(QStringLiteral("busy.txt"), "週刊ツバメの本文です。\r\n");

        budget.setRemainingTime(170000);
        lanesRunning = true;
        std::unique_ptr<QProcess> delivery = StartProgram({QStringLiteral("send"), QStringLiteral("--magazine"),
                                                    QStringLiteral("週刊ツバメ"), QStringLiteral("--subject"),
                                                    QStringLiteral("週刊ツバメ"), QStringLiteral("--body-file"), body});
        // Kills spread over the delivery, each at a random point of its stretch.
        int kills = 0;
        for (int k = 1; k <= kKills; ++k) {
            const int target = k * kBusyMembers / (kKills + 2)
                               + int(QRandomGenerator::global()->bounded(kBusyMembers / (kKills + 2)));
            if (!waitFor([&] { return acceptedOf("a") >= target || delivery->state() == QProcess::NotRunning; }, 60000)) {
                broken << QStringLiteral("the delivery did not reach %1 mails in time (%2 so far)").arg(target).arg(acceptedOf("a"));
                break;
            }
            if (delivery->state() == QProcess::NotRunning) {
                broken << QStringLiteral("the delivery ended by itself before kill %1, exit %2: %3")
                              .arg(k)
                              .arg(delivery->exitCode())
                              .arg(oneLine(delivery->readAllStandardError()));
            } else {
                ::kill(pid_t(delivery->processId()), SIGKILL);
                delivery->waitForFinished(10000);
                ++kills;
            }
            delivery = StartProgram({QStringLiteral("resume"), QStringLiteral("--all")});
        }
        if (!waitForProcess(delivery.get(), 120000)) {
            broken << QStringLiteral("the last resume did not end in time");
            delivery->kill();
            delivery->waitForFinished(10000);
        }
        const int lastCode = delivery->exitCode();
        const QString lastErr = oneLine(delivery->readAllStandardError());
        // Exit 2 is the truth when the second magazine's own send still holds its issue: the
        // busy magazine's issue must not be the one named busy.
        const bool secondBusy = lastCode == 2 && lastErr.contains(QStringLiteral("ほかの配信が送信中"))
                                && !lastErr.contains(QRegularExpression(QStringLiteral("週刊ツバメ 第\\d+号はほかの配信")));
        if (lastCode != 0 && lastCode != 3 && !secondBusy)
            broken << QStringLiteral("the last resume --all exited %1: %2").arg(lastCode).arg(lastErr);
        stopLanes();
        for (const std::shared_ptr<Lane> &lane : std::as_const(lanes)) {
            broken += lane->failures;
            qInfo("%s: %d runs", qPrintable(lane->name), lane->runs);
        }
        broken += checkFailures;
        qInfo("update checks: %d; window starts that recorded their update list: %d", checks, windowsRecorded);

        // Whatever a writer left open is finished now, with nobody else writing.
        std::unique_ptr<QProcess> last = StartProgram({QStringLiteral("resume"), QStringLiteral("--all")});
        if (!last->waitForFinished(120000)) {
            broken << QStringLiteral("a final resume --all did not end within 120 s");
            last->kill();
            last->waitForFinished(10000);
        } else if (last->exitCode() != 0 && last->exitCode() != 3) {
            broken << QStringLiteral("a final resume --all exited %1: %2").arg(last->exitCode()).arg(oneLine(last->readAllStandardError()));
        }

        // What status says, issue by issue.
        const QJsonObject answer = status();
        QSet<QString> unknown;
        int secondIssues = 0;
        const QJsonArray issues = answer.value("issues").toArray();
        if (issues.isEmpty())
            broken << QStringLiteral("status --json lists no issue");
        for (const QJsonValue v : issues) {
            const QJsonObject issue = v.toObject();
            const QString name = QStringLiteral("%1 第%2号").arg(issue.value("magazine").toString()).arg(issue.value("issue").toInt());
            const QJsonObject c = issue.value("counts").toObject();
            const bool busy = issue.value("MagIdx").toInt() == kBusy;
            secondIssues += issue.value("MagIdx").toInt() == kSecond ? 1 : 0;
            const int open = c.value("waiting").toInt() + c.value("sending").toInt() + c.value("deferred").toInt();
            if (open > 0 || c.value("failed").toInt() > 0)
                broken << QStringLiteral("%1 is not finished: %2").arg(name, QString::fromUtf8(QJsonDocument(c).toJson(QJsonDocument::Compact)));
            const QString state = issue.value("state").toString();
            const bool onlyUnknownLeft = state == QLatin1String("partial") && c.value("unknown").toInt() > 0;
            if (state != QLatin1String("done") && !(busy && onlyUnknownLeft))
                broken << QStringLiteral("%1 is %2, not done").arg(name, state);
            if (!busy)
                continue;
            for (const QJsonValue r : issue.value("recipients").toArray())
                if (r.toObject().value("state").toString() == QLatin1String("unknown"))
                    unknown += r.toObject().value("address").toString();
        }
        const int unknownBound = kills * (batch ? kBatch : 1);
        if (unknown.size() > unknownBound)
            broken << QStringLiteral("%1 recipients are unknown after %2 kills (at most %3)").arg(unknown.size()).arg(kills).arg(unknownBound);

        // What the sink accepted: the busy issue once to everyone (an unknown one at most
        // once), every issue of the second magazine once to each of its members.
        const QHash<QString, int> accepted = sink->acceptedCounts();
        int twice = 0, missing = 0;
        for (int i = 0; i < kBusyMembers; ++i) {
            const int n = accepted.value(busyAddress(i));
            twice += n > 1 ? 1 : 0;
            missing += n == 0 && !unknown.contains(busyAddress(i)) ? 1 : 0;
        }
        if (twice > 0)
            broken << QStringLiteral("%1 members of the delivered magazine received it more than once").arg(twice);
        if (missing > 0)
            broken << QStringLiteral("%1 members of the delivered magazine never received it").arg(missing);
        int wrongCount = 0;
        for (int i = 0; i < kSecondMembers; ++i)
            wrongCount += accepted.value(secondAddress(i)) != secondIssues ? 1 : 0;
        if (wrongCount > 0)
            broken << QStringLiteral("%1 members of the second magazine did not receive each of its %2 issues exactly once")
                          .arg(wrongCount)
                          .arg(secondIssues);

        for (const QString &b : std::as_const(broken))
            qWarning("%s", qPrintable(b));
        QVERIFY2(broken.isEmpty(), qPrintable(QStringLiteral("%1 checks broken (see above)").arg(broken.size())));
    }
};

QTEST_GUILESS_MAIN(TestCliSoak)
#include "tst_cli_soak.moc"

// The program's command line end to end: the real binary against a sink on loopback that
// logs every recipient it accepts, the store read back as the window reads it.
#include "fakes/MailServers.h"
#include "fakes/StoreFixture.h"
#include "fakes/TestEnv.h"
#include "store/Batch.h"
#include "store/Database.h"
#include "store/SendSettings.h"
#include "store/SendStates.h"
#include "store/Sql.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>
#include <QRandomGenerator>
#include <QtTest>

#include <signal.h>

namespace {

const int kMag = 3;
const int kIssue = 7;

QString addr(int i)
{
    return QStringLiteral("member%1@example.com").arg(i, 4, 10, QLatin1Char('0'));
}

struct Run {
    int code = -1;
    QString err;
    QByteArray out;
};

} // namespace

class TestCliDelivery : public QObject
{
    Q_OBJECT

    std::unique_ptr<TestEnv> env;

    // A magazine that sends one mail per member (or batches), its members and a recorded issue
    // with every recipient waiting.
    void setUpIssue(const QStringList &addresses, bool individual = true)
    {
        Transaction t;
        StoreFixture::insert("Magzine", {{"MagIdx", kMag}, {"MagName", "週刊ツバメ"}, {"Owner", "ツバメ出版"},
                                         {"Adrs", "owner@example.jp"}, {"Atena", "読者各位"},
                                         {"UseUserName", individual ? 1 : 0}});
        QList<StoreFixture::Row> members;
        for (int i = 0; i < addresses.size(); ++i) {
            StoreFixture::addMember(kMag, 100 + i, QStringLiteral("会員%1").arg(i), addresses.at(i));
            StoreFixture::addRecipient(kMag, kIssue, 100 + i, {{"SendComplete", 0}});
        }
        StoreFixture::addIssue(kMag, kIssue,
                               {.addDate = "2026/12/10 10:00:00",
                                .sendCnt = int(addresses.size()),
                                .title = "お知らせ",
                                .body = "こんにちは。\r\n",
                                .updateSql = "set flg2 = 1"});
        SendStates::seed(kMag, kIssue);
        t.commit();
    }

    static void setServer(quint16 port)
    {
        Statement s;
        s.exec("delete from CommonTBL where key1 = 100");
        s.exec("insert into CommonTBL values(100,1," + QString::number(port) + ",0,0,'127.0.0.1',NULL,NULL)");
        s.exec("insert into CommonTBL values(100,2,0,0,0,NULL,NULL,NULL)");
    }

    static QProcess *startProgram(const QStringList &args)
    {
        auto *p = new QProcess;
        p->start(QStringLiteral(TSUBAME_PROGRAM), args);
        p->waitForStarted(10000);
        return p;
    }

    static Run runProgram(const QStringList &args, int timeoutMs = 120000)
    {
        std::unique_ptr<QProcess> p(startProgram(args));
        Run r;
        if (!p->waitForFinished(timeoutMs)) {
            p->kill();
            p->waitForFinished();
            r.err = QStringLiteral("<time-out>");
            return r;
        }
        r.code = p->exitStatus() == QProcess::NormalExit ? p->exitCode() : -1;
        r.err = QString::fromUtf8(p->readAllStandardError());
        r.out = p->readAllStandardOutput();
        return r;
    }

    static QStringList deliverArgs()
    {
        return {QStringLiteral("deliver"), QStringLiteral("--magazine"), QStringLiteral("週刊ツバメ"),
                QStringLiteral("--issue"), QString::number(kIssue)};
    }

    static QJsonArray statusRecipients()
    {
        const Run r = runProgram({QStringLiteral("status"), QStringLiteral("--json")});
        if (r.code != 0)
            return {};
        const QJsonArray issues = QJsonDocument::fromJson(r.out).object().value("issues").toArray();
        for (const QJsonValue v : issues)
            if (v.toObject().value("issue").toInt() == kIssue)
                return v.toObject().value("recipients").toArray();
        return {};
    }

private Q_SLOTS:
    void init()
    {
        env = std::make_unique<TestEnv>();
        env->openStore();
    }
    void cleanup() { env.reset(); }

    void refusedAndUnstartable_data()
    {
        QTest::addColumn<QStringList>("args");
        QTest::addColumn<int>("code");
        QTest::newRow("deliver without an issue") << QStringList{"deliver", "--magazine", "週刊ツバメ"} << 1;
        QTest::newRow("unknown magazine") << QStringList{"deliver", "--magazine", "ない", "--issue", "7"} << 1;
        QTest::newRow("unknown issue") << QStringList{"deliver", "--magazine", "週刊ツバメ", "--issue", "8"} << 1;
        QTest::newRow("bad retry schedule") << (deliverArgs() << "--retry-schedule" << "5x") << 1;
        QTest::newRow("unknown option") << QStringList{"status", "--bogus"} << 1;
        QTest::newRow("server unreachable") << deliverArgs() << 2;
    }
    void refusedAndUnstartable()
    {
        QFETCH(QStringList, args);
        QFETCH(int, code);
        setUpIssue({addr(0), addr(1)});
        setServer(FreeLoopbackPort());
        const Run r = runProgram(args);
        QCOMPARE(r.code, code);
        QVERIFY(!r.err.isEmpty());
        // Nothing was sent, and the issue is still there to be sent.
        QCOMPARE(SendStates::counts(kMag, kIssue).waiting, 2);
        QVERIFY(!SendLock::isHeld(kMag, kIssue));
    }

    // A package check or a cron job asks without a display: the answer comes, no window.
    void versionAndHelpWithoutDisplay_data()
    {
        QTest::addColumn<QString>("arg");
        QTest::addColumn<QString>("expected");
        QTest::newRow("version") << "--version"
                                 << QStringLiteral("ツバメ便 %1.%2.%3 (%4)")
                                        .arg(TSUBAME_VERSION_MAJOR)
                                        .arg(TSUBAME_VERSION_MINOR)
                                        .arg(TSUBAME_VERSION_PATCH)
                                        .arg(TSUBAME_BUILD_NUMBER);
        QTest::newRow("help") << "--help" << "tsubame inbox";
    }
    void versionAndHelpWithoutDisplay()
    {
        QFETCH(QString, arg);
        QFETCH(QString, expected);
        QProcess p;
        QProcessEnvironment cron;
        cron.insert("PATH", "/usr/bin:/bin");
        cron.insert("HOME", env->home());
        p.setProcessEnvironment(cron);
        p.start(QStringLiteral(TSUBAME_PROGRAM), {arg});
        QVERIFY(p.waitForFinished(30000));
        QCOMPARE(p.exitCode(), 0);
        QVERIFY2(QString::fromUtf8(p.readAllStandardOutput()).contains(expected), qPrintable(arg));
    }

    // The listings read the store the window uses, in the form asked for, with awkward text
    // kept whole.
    void listings_data()
    {
        QTest::addColumn<QStringList>("args");
        QTest::addColumn<int>("code");
        QTest::addColumn<QString>("expected");
        QTest::newRow("magazines as text") << QStringList{"magazines"} << 0 << "3\t週刊ツバメ\t2\n";
        QTest::newRow("magazines as json") << QStringList{"magazines", "--format", "json"} << 0 << "\"members\": 2";
        QTest::newRow("members as csv") << QStringList{"members", "--magazine", "週刊ツバメ", "--format", "csv"} << 0
                                        << "101,\"会員, \"\"一\"\"\",member0001@example.com,";
        QTest::newRow("members as json") << QStringList{"members", "--magazine", "週刊ツバメ", "--format", "json"} << 0
                                         << "\"address\": \"member0000@example.com\"";
        QTest::newRow("unknown magazine") << QStringList{"members", "--magazine", "ない"} << 1 << "";
        QTest::newRow("no magazine named") << QStringList{"members"} << 1 << "";
        QTest::newRow("unknown format") << QStringList{"magazines", "--format", "xml"} << 1 << "";
    }
    void listings()
    {
        QFETCH(QStringList, args);
        QFETCH(int, code);
        QFETCH(QString, expected);
        setUpIssue({addr(0), addr(1)});
        Statement().exec("update MagUser set UserName = '会員, \"一\"' where UserIdx = 101");
        const Run r = runProgram(args);
        QCOMPARE(r.code, code);
        if (code == 0)
            QVERIFY2(QString::fromUtf8(r.out).contains(expected), r.out.constData());
        else
            QVERIFY(!r.err.isEmpty());
    }

    // The free condition as a send would run it, or the refusal a send would give.
    void checkCondition_data()
    {
        QTest::addColumn<QString>("condition");
        QTest::addColumn<int>("code");
        QTest::addColumn<QString>("expected");  // on stdout when 0, on stderr otherwise
        QTest::newRow("field name") << "購読中 = 1" << 0 << "U.Flg1 = 1";
        QTest::newRow("escaping the parentheses") << "購読中 = 1) or (1 = 1" << 1 << "条件式が間違っています。";
        QTest::newRow("second statement") << "購読中 = 1; delete from MagUser" << 1 << "条件式が間違っています。";
        QTest::newRow("no such column") << "Flg9 = 1" << 1 << "条件式が間違っています。";
    }
    void checkCondition()
    {
        QFETCH(QString, condition);
        QFETCH(int, code);
        QFETCH(QString, expected);
        setUpIssue({addr(0), addr(1)});
        Statement().exec("update Magzine set Flg1Name = '購読中' where MagIdx = 3");
        const Run r = runProgram({"check-condition", "--magazine", "週刊ツバメ", condition});
        QCOMPARE(r.code, code);
        QVERIFY2((code == 0 ? QString::fromUtf8(r.out) : r.err).contains(expected), qPrintable(r.err));
        QCOMPARE(Statement().scalar("select count(*) from MagUser"), 2);
    }

    void noStoreCannotStart()
    {
        env->closeStore();
        QFile::remove(env->dataDir() + "Tsubame.db");
        const Run r = runProgram({QStringLiteral("status")});
        QCOMPARE(r.code, 2);
        QVERIFY(r.err.contains(QStringLiteral("データベース")));
    }

    // The stored connection security reaches the command line's delivery: TLS from the first
    // byte with a login by PLAIN; with "証明書を検証する" a self-signed server is refused with
    // the reason, and nothing is sent.
    void storedSecurityIsUsed_data()
    {
        QTest::addColumn<bool>("verify");
        QTest::newRow("not verified") << false;
        QTest::newRow("verified") << true;
    }
    void storedSecurityIsUsed()
    {
        QFETCH(bool, verify);
        SmtpTestServer::Options o;
        o.implicitTls = true;
        o.mechanisms = QStringList{QStringLiteral("PLAIN")};
        o.authRequired = true;
        SmtpTestServer server;
        QVERIFY2(server.start(o), qPrintable(server.error()));
        setUpIssue({addr(0), addr(1)});
        {
            Statement s;
            s.exec("delete from CommonTBL where key1 = 100");
            PreparedStatement smtp(QStringLiteral("insert into CommonTBL values(100,1,?,1,1,'localhost',?,?)"));
            smtp.run({server.port(), o.user, o.password});
            s.exec("insert into CommonTBL values(100,2,0,0,0,NULL,NULL,NULL)");
            s.exec(QStringLiteral("insert into CommonTBL values(100,3,2,%1,0,NULL,NULL,NULL)").arg(verify ? 1 : 0));
        }
        const Run r = runProgram(deliverArgs());
        if (verify) {
            QCOMPARE(r.code, 2);
            QVERIFY2(r.err.contains(QStringLiteral("サーバの証明書を検証できません（名前: localhost）")), qPrintable(r.err));
            QVERIFY(r.err.contains(QStringLiteral("自己署名の証明書です")));
            QVERIFY(server.received().isEmpty());
            QCOMPARE(SendStates::counts(kMag, kIssue).waiting, 2);
            return;
        }
        QCOMPARE(r.code, 0);
        QVERIFY(server.waitFor(2));
        for (const SmtpTestServer::Received &got : server.received()) {
            QVERIFY(got.tls);
            QCOMPARE(got.authUser, o.user);
        }
    }

    // A partial failure: the refused recipients are failed with the server's reply, and both
    // the exit status and the status command say so.
    void partialFailureIsNamed()
    {
        SmtpSink sink;
        QVERIFY2(sink.start({.deferTenth = false, .reject = {"bad"}}), qPrintable(sink.error()));
        setUpIssue({addr(0), "bad1@example.com", addr(2), "bad3@example.com", addr(4)});
        setServer(sink.port());
        const Run r = runProgram(deliverArgs());
        QCOMPARE(r.code, 3);
        QCOMPARE(sink.acceptedCounts().size(), 3);
        const QJsonArray recipients = statusRecipients();
        QCOMPARE(recipients.size(), 2);
        for (const QJsonValue v : recipients) {
            const QJsonObject o = v.toObject();
            QVERIFY(o.value("address").toString().startsWith("bad"));
            QCOMPARE(o.value("state").toString(), QStringLiteral("failed"));
            QVERIFY2(o.value("reply").toString().contains("550"), qPrintable(o.value("reply").toString()));
        }
        // Delivered again, the issue sends nothing more.
        QCOMPARE(runProgram({QStringLiteral("resume"), QStringLiteral("--all")}).code, 0);
        QCOMPARE(sink.acceptedCounts().size(), 3);
    }

    // A tenth of the recipients answered 451 the first time: retried within the run, every
    // mail arrives once and the second attempt is recorded.
    void temporaryFailuresAreRetried()
    {
        SmtpSink sink;
        QVERIFY2(sink.start({.deferTenth = true, .reject = {}}), qPrintable(sink.error()));
        QStringList addresses;
        for (int i = 0; i < 80; ++i)
            addresses += addr(i);
        setUpIssue(addresses);
        setServer(sink.port());
        const Run r = runProgram(deliverArgs() << "--retry-schedule" << "1s,1s");
        QCOMPARE(r.code, 0);
        const QHash<QString, int> accepted = sink.acceptedCounts();
        QCOMPARE(accepted.size(), 80);
        for (int n : accepted)
            QCOMPARE(n, 1);
        QSet<QString> deferred;
        for (const SmtpSink::Entry &e : sink.entries())
            if (e.kind == "deferred")
                deferred += e.address;
        QVERIFY(!deferred.isEmpty());
        for (const SendStateRow &row : SendStates::rows(kMag, kIssue)) {
            QCOMPARE(row.state, SendState::Sent);
            QCOMPARE(row.attempts, deferred.contains(row.UserAdrs) ? 2 : 1);
        }
    }

    // 600 mails an hour: the sink sees them six seconds apart.
    void perHourSpacesTheMails()
    {
        SmtpSink sink;
        QVERIFY2(sink.start({}), qPrintable(sink.error()));
        setUpIssue({addr(0), addr(1), addr(2), addr(3)});
        setServer(sink.port());
        DeliverySettings settings;
        settings.pacing.perHour = 600;
        SendSettings::save(settings);
        QCOMPARE(runProgram(deliverArgs()).code, 0);
        QList<double> times;
        for (const SmtpSink::Entry &e : sink.entries())
            if (e.kind == "accepted")
                times += e.time;
        QCOMPARE(times.size(), 4);
        for (int i = 1; i < times.size(); ++i)
            QVERIFY2(times[i] - times[i - 1] >= 5.9, qPrintable(QString::number(times[i] - times[i - 1])));
    }

    // Killed at random moments and resumed: nobody receives the mail twice, nobody is lost,
    // and only the group in flight at each kill may be unknown.
    void killedAndResumed()
    {
        SmtpSink sink;
        QVERIFY2(sink.start({}), qPrintable(sink.error()));
        const int n = 2000;
        QStringList addresses;
        for (int i = 0; i < n; ++i)
            addresses += addr(i);
        setUpIssue(addresses);
        setServer(sink.port());
        QList<int> kills;
        for (int k = 1; k <= 3; ++k)
            kills += k * 500 + QRandomGenerator::global()->bounded(300);
        for (int i = 0; i < kills.size(); ++i) {
            std::unique_ptr<QProcess> p(startProgram(i == 0 ? deliverArgs()
                                                            : QStringList{"resume", "--all"}));
            QVERIFY2(sink.waitForAccepted(kills[i], 60000), qPrintable(QString::number(kills[i])));
            ::kill(pid_t(p->processId()), SIGKILL);
            QVERIFY(p->waitForFinished(10000));
        }
        Run last;
        for (int round = 0; round < 3 && last.code != 0 && last.code != 3; ++round)
            last = runProgram({QStringLiteral("resume"), QStringLiteral("--all")});
        QVERIFY2(last.code == 0 || last.code == 3, qPrintable(last.err));

        QSet<QString> unknown;
        for (const QJsonValue v : statusRecipients()) {
            QCOMPARE(v.toObject().value("state").toString(), QStringLiteral("unknown"));
            unknown += v.toObject().value("address").toString();
        }
        QVERIFY(unknown.size() <= kills.size() * 26);
        const QHash<QString, int> accepted = sink.acceptedCounts();
        for (const QString &a : addresses) {
            const int times = accepted.value(a);
            QVERIFY2(times <= 1, qPrintable(a + " twice"));
            QVERIFY2(times == 1 || unknown.contains(a), qPrintable(a + " lost"));
        }
        const SendStateCounts c = SendStates::counts(kMag, kIssue);
        QCOMPARE(c.sent + c.unknown, qint64(n));
    }
};

QTEST_MAIN(TestCliDelivery)
#include "tst_cli_delivery.moc"

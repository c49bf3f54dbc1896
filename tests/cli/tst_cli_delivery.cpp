// The program's command line end to end: the real binary against a sink on loopback that
// logs every recipient it accepts, the store read back as the window reads it.
#include "fakes/MailServers.h"
#include "fakes/RunProgram.h"
#include "fakes/StoreFixture.h"
#include "fakes/TestEnv.h"
#include "store/PreparedStatement.h"
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

    // Another issue of the magazine to its first `members` members, every recipient waiting.
    static void recordIssue(int magCnt, int members)
    {
        Transaction t;
        for (int i = 0; i < members; ++i)
            StoreFixture::addRecipient(kMag, magCnt, 100 + i, {{"SendComplete", 0}});
        StoreFixture::addIssue(kMag, magCnt, {.addDate = "2026/12/11 10:00:00", .sendCnt = members, .title = "続報", .body = "続きです。\r\n"});
        SendStates::seed(kMag, magCnt);
        t.commit();
    }

    // The answer of "status --json" as Python's json module reads it (strictly: no control
    // character in a string, no key twice in an object), written back as plain ASCII JSON.
    static QJsonObject statusByPython(const QStringList &more = {})
    {
        const ProgramResult r = RunProgram(QStringList{QStringLiteral("status"), QStringLiteral("--json")} + more);
        if (r.code != 0)
            return {};
        QProcess py;
        py.start(QStringLiteral("python3"),
                 {QStringLiteral("-c"),
                  QStringLiteral("import json, sys\n"
                                 "def once(pairs):\n"
                                 "    keys = [k for k, _ in pairs]\n"
                                 "    if len(keys) != len(set(keys)): raise ValueError('key twice: %r' % keys)\n"
                                 "    return dict(pairs)\n"
                                 "doc = json.loads(sys.stdin.buffer.read().decode('utf-8'), object_pairs_hook=once)\n"
                                 "json.dump(doc, sys.stdout, ensure_ascii=True)\n")});
        py.waitForStarted();
        py.write(r.out);
        py.closeWriteChannel();
        py.waitForFinished(30000);
        if (py.exitCode() != 0) {
            qWarning("%s", py.readAllStandardError().constData());
            return {};
        }
        return QJsonDocument::fromJson(py.readAllStandardOutput()).object();
    }

    static QJsonObject issueIn(const QJsonObject &status, int magCnt)
    {
        for (const QJsonValue v : status.value("issues").toArray())
            if (v.toObject().value("issue").toInt() == magCnt)
                return v.toObject();
        return {};
    }

    static void setServer(quint16 port)
    {
        Statement s;
        s.exec("delete from CommonTBL where key1 = 100");
        s.exec("insert into CommonTBL values(100,1," + QString::number(port) + ",0,0,'127.0.0.1',NULL,NULL)");
        s.exec("insert into CommonTBL values(100,2,0,0,0,NULL,NULL,NULL)");
    }

    static QStringList deliverArgs()
    {
        return {QStringLiteral("deliver"), QStringLiteral("--magazine"), QStringLiteral("週刊ツバメ"),
                QStringLiteral("--issue"), QString::number(kIssue)};
    }

    static QJsonArray statusRecipients()
    {
        const ProgramResult r = RunProgram({QStringLiteral("status"), QStringLiteral("--json")});
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
        const ProgramResult r = RunProgram(args);
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
        const ProgramResult r = RunProgram({arg}, CronEnvironment(), 30000);
        QCOMPARE(r.code, 0);
        QVERIFY2(QString::fromUtf8(r.out).contains(expected), qPrintable(arg));
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
        const ProgramResult r = RunProgram(args);
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
        const ProgramResult r = RunProgram({"check-condition", "--magazine", "週刊ツバメ", condition});
        QCOMPARE(r.code, code);
        QVERIFY2((code == 0 ? QString::fromUtf8(r.out) : r.err).contains(expected), qPrintable(r.err));
        QCOMPARE(Statement().scalar("select count(*) from MagUser"), 2);
    }

    void noStoreCannotStart()
    {
        env->closeStore();
        QFile::remove(env->dataDir() + "Tsubame.db");
        const ProgramResult r = RunProgram({QStringLiteral("status")});
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
        const ProgramResult r = RunProgram(deliverArgs());
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

    // A live delivery elsewhere holds the issue (this test process takes its lock): resume
    // leaves it alone, names who delivers it and exits 2, after sending the free issues.
    void resumeNamesTheBusyIssue_data()
    {
        QTest::addColumn<QStringList>("args");
        QTest::addColumn<bool>("freeIssue");
        QTest::newRow("the only open issue, --all") << QStringList{"resume", "--all"} << false;
        QTest::newRow("the only open issue") << QStringList{"resume"} << false;
        QTest::newRow("beside a free issue, --all") << QStringList{"resume", "--all"} << true;
        QTest::newRow("beside a free issue") << QStringList{"resume"} << true;
    }
    void resumeNamesTheBusyIssue()
    {
        QFETCH(QStringList, args);
        QFETCH(bool, freeIssue);
        SmtpSink sink;
        QVERIFY2(sink.start({}), qPrintable(sink.error()));
        setUpIssue({addr(0), addr(1), addr(2)});
        if (freeIssue)
            recordIssue(kIssue + 1, 2);
        setServer(sink.port());
        QVERIFY(SendLock::acquire(kMag, kIssue));
        const std::optional<SendLockHolder> holder = SendLock::holder(kMag, kIssue);
        QVERIFY(holder);
        QCOMPARE(holder->pid, qint64(QCoreApplication::applicationPid()));

        const ProgramResult r = RunProgram(args);
        SendLock::release(kMag, kIssue);
        QCOMPARE(r.code, 2);
        QVERIFY2(r.err.contains(QStringLiteral("週刊ツバメ 第%1号").arg(kIssue)), qPrintable(r.err));
        QVERIFY2(r.err.contains(SendLockHolderText(*holder)), qPrintable(r.err));
        QCOMPARE(SendStates::counts(kMag, kIssue).waiting, 3);
        // The free issue went out all the same, to its two recipients only.
        QCOMPARE(sink.acceptedCounts().size(), freeIssue ? 2 : 0);
        if (freeIssue)
            QCOMPARE(SendStates::counts(kMag, kIssue + 1).sent, 2);
    }

    // An issue an older build recorded has recipient rows and no delivery records: deliver
    // makes them as the window does, the members already marked done counting as sent.
    void deliverSeedsAnOlderIssue_data()
    {
        QTest::addColumn<int>("alreadyDone");
        QTest::newRow("never delivered") << 0;
        QTest::newRow("half delivered by the older build") << 3;
    }
    void deliverSeedsAnOlderIssue()
    {
        QFETCH(int, alreadyDone);
        SmtpSink sink;
        QVERIFY2(sink.start({}), qPrintable(sink.error()));
        const QStringList addresses{addr(0), addr(1), addr(2), addr(3), addr(4), addr(5)};
        setUpIssue(addresses);
        Statement().exec("delete from SendState");
        PreparedStatement done(QStringLiteral("update MagHist set SendComplete = 1 where MagIdx = ? and MagCnt = ? and MagUser < ?"));
        done.run({kMag, kIssue, 100 + alreadyDone});
        setServer(sink.port());

        const ProgramResult r = RunProgram(deliverArgs());
        QCOMPARE(r.code, 0);
        const QHash<QString, int> accepted = sink.acceptedCounts();
        QCOMPARE(accepted.size(), addresses.size() - alreadyDone);
        for (int i = 0; i < addresses.size(); ++i)
            QCOMPARE(accepted.value(addresses.at(i)), i < alreadyDone ? 0 : 1);
        const SendStateCounts c = SendStates::counts(kMag, kIssue);
        QCOMPARE(c.sent, qint64(addresses.size()));
        QCOMPARE(c.total(), qint64(addresses.size()));
        QCOMPARE(Statement().scalar("select count(*) from MagHist where SendComplete = 1"), int(addresses.size()));
    }

    // While a live delivery holds an issue, status says who it is and since when, in words
    // and in JSON; a stopped issue names nobody.
    void statusNamesTheHolder()
    {
        setUpIssue({addr(0), addr(1)});
        recordIssue(kIssue + 1, 2);
        QVERIFY(SendLock::acquire(kMag, kIssue));
        const SendLockHolder holder = *SendLock::holder(kMag, kIssue);
        const ProgramResult text = RunProgram({QStringLiteral("status")});
        const QJsonObject json = statusByPython();
        SendLock::release(kMag, kIssue);

        QCOMPARE(text.code, 0);
        const QString out = QString::fromUtf8(text.out);
        QVERIFY2(out.contains(QStringLiteral("配信しているのは ") + SendLockHolderText(holder)), qPrintable(out));
        QCOMPARE(out.count(QStringLiteral("配信しているのは")), 1);
        QVERIFY2(SendLockHolderText(holder).contains(holder.since.toString(QStringLiteral("yyyy/MM/dd HH:mm"))),
                 qPrintable(SendLockHolderText(holder)));

        const QJsonObject running = issueIn(json, kIssue);
        QCOMPARE(running.value("state").toString(), QStringLiteral("running"));
        const QJsonObject h = running.value("holder").toObject();
        QCOMPARE(h.value("host").toString(), holder.host);
        QCOMPARE(h.value("pid").toInteger(), holder.pid);
        QCOMPARE(QDateTime::fromString(h.value("since").toString(), Qt::ISODate), holder.since);
        QVERIFY(QDateTime::fromString(h.value("heartbeat").toString(), Qt::ISODate).isValid());
        const QJsonObject stopped = issueIn(json, kIssue + 1);
        QCOMPARE(stopped.value("state").toString(), QStringLiteral("stopped"));
        QVERIFY(stopped.value("holder").isNull());
    }

    // The JSON answer is written as it is read; Python's json reads every text back exactly,
    // the counts stay whole under --limit, and an issue with nothing to list has an empty list.
    void statusJsonIsExact_data()
    {
        QTest::addColumn<QStringList>("limit");
        QTest::addColumn<int>("listed");
        QTest::newRow("all") << QStringList{} << 5;
        QTest::newRow("limit 2") << QStringList{"--limit", "2"} << 2;
        QTest::newRow("limit 0") << QStringList{"--limit", "0"} << 0;
        QTest::newRow("limit above") << QStringList{"--limit", "999"} << 5;
    }
    void statusJsonIsExact()
    {
        QFETCH(QStringList, limit);
        QFETCH(int, listed);
        const QStringList addresses{addr(0), addr(1), addr(2), addr(3), addr(4), addr(5), addr(6)};
        setUpIssue(addresses);
        recordIssue(kIssue + 1, 1);
        // Replies and names with what JSON must escape: quotes, backslashes, control
        // characters, a line separator, characters beyond the basic plane.
        const QStringList awkward{QStringLiteral("550 \"quoted\" \\path\\"), QStringLiteral("451 tab\there\u0001"),
                                  QStringLiteral("550 line\u2028sep </script>"), QStringLiteral("550 𠮷野家 ツバメ"),
                                  QStringLiteral("452 {\"json\":[1,2]}")};
        PreparedStatement fail(QStringLiteral("update SendState set State = ?, Attempts = ?, NextTry = ?, Reply = ?"
                                              " where MagIdx = ? and MagCnt = ? and MagUser = ?"));
        PreparedStatement name(QStringLiteral("update MagUser set UserName = ? where MagIdx = ? and UserIdx = ?"));
        const QDateTime next = QDateTime::fromSecsSinceEpoch(QDateTime::currentSecsSinceEpoch() + 3600);
        for (int i = 0; i < awkward.size(); ++i) {
            const SendState state = i == 1 ? SendState::Deferred : i == 4 ? SendState::Unknown : SendState::Failed;
            fail.run({int(state), i + 1, state == SendState::Deferred ? QVariant(next.toSecsSinceEpoch()) : QVariant(),
                      awkward.at(i), kMag, kIssue, 100 + i});
            name.run({QStringLiteral("会員\"%1\"\\\n\t").arg(i), kMag, 100 + i});
        }
        Statement().exec("update SendState set State = 2 where MagCnt = 8");
        Statement().exec("update SendState set State = 2 where MagCnt = 7 and MagUser = 105");

        const QJsonObject status = statusByPython(limit);
        QCOMPARE(status.value("issues").toArray().size(), 2);
        const QJsonObject issue = issueIn(status, kIssue);
        const QJsonObject counts = issue.value("counts").toObject();
        QCOMPARE(counts.value("failed").toInt(), 3);
        QCOMPARE(counts.value("deferred").toInt(), 1);
        QCOMPARE(counts.value("unknown").toInt(), 1);
        QCOMPARE(counts.value("sent").toInt(), 1);
        QCOMPARE(counts.value("waiting").toInt(), 1);
        QCOMPARE(issue.value("magazine").toString(), QStringLiteral("週刊ツバメ"));
        QCOMPARE(issue.value("title").toString(), QStringLiteral("お知らせ"));
        QCOMPARE(issue.value("state").toString(), QStringLiteral("stopped"));
        const QJsonArray recipients = issue.value("recipients").toArray();
        QCOMPARE(recipients.size(), listed);
        for (int i = 0; i < listed; ++i) {
            const QJsonObject r = recipients.at(i).toObject();
            QCOMPARE(r.value("address").toString(), addr(i));
            QCOMPARE(r.value("name").toString(), QStringLiteral("会員\"%1\"\\\n\t").arg(i));
            QCOMPARE(r.value("reply").toString(), awkward.at(i));
            QCOMPARE(r.value("attempts").toInt(), i + 1);
            QCOMPARE(r.value("state").toString(), QString(i == 1 ? "deferred" : i == 4 ? "unknown" : "failed"));
            QCOMPARE(QDateTime::fromString(r.value("nextTry").toString(), Qt::ISODate), i == 1 ? next : QDateTime());
        }
        const QJsonObject done = issueIn(status, kIssue + 1);
        QCOMPARE(done.value("state").toString(), QStringLiteral("done"));
        QVERIFY(done.value("recipients").isArray());
        QCOMPARE(done.value("recipients").toArray().size(), 0);

        // The words for people list as many, and say how many more there are.
        const ProgramResult text = RunProgram(QStringList{QStringLiteral("status")} + limit);
        QCOMPARE(text.code, 0);
        const QString out = QString::fromUtf8(text.out);
        QCOMPARE(out.count(QStringLiteral("@example.com")), listed);
        QCOMPARE(out.contains(QStringLiteral("ほか %1 人").arg(5 - listed)), listed < 5);
    }

    void statusRefusesABadLimit_data()
    {
        QTest::addColumn<QString>("limit");
        QTest::newRow("negative") << "-1";
        QTest::newRow("not a number") << "ten";
    }
    void statusRefusesABadLimit()
    {
        QFETCH(QString, limit);
        const ProgramResult r = RunProgram({QStringLiteral("status"), QStringLiteral("--limit"), limit});
        QCOMPARE(r.code, 1);
        QVERIFY(r.err.contains(QStringLiteral("--limit")));
        QVERIFY(r.out.isEmpty());
    }

    // A partial failure: the refused recipients are failed with the server's reply, and both
    // the exit status and the status command say so.
    void partialFailureIsNamed()
    {
        SmtpSink sink;
        QVERIFY2(sink.start({.deferTenth = false, .reject = {"bad"}}), qPrintable(sink.error()));
        setUpIssue({addr(0), "bad1@example.com", addr(2), "bad3@example.com", addr(4)});
        setServer(sink.port());
        const ProgramResult r = RunProgram(deliverArgs());
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
        QCOMPARE(RunProgram({QStringLiteral("resume"), QStringLiteral("--all")}).code, 0);
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
        const ProgramResult r = RunProgram(deliverArgs() << "--retry-schedule" << "1s,1s");
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
        QCOMPARE(RunProgram(deliverArgs()).code, 0);
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
            const std::unique_ptr<QProcess> p = StartProgram(i == 0 ? deliverArgs() : QStringList{"resume", "--all"});
            QVERIFY2(sink.waitForAccepted(kills[i], 60000), qPrintable(QString::number(kills[i])));
            ::kill(pid_t(p->processId()), SIGKILL);
            QVERIFY(p->waitForFinished(10000));
        }
        ProgramResult last;
        for (int round = 0; round < 3 && last.code != 0 && last.code != 3; ++round)
            last = RunProgram({QStringLiteral("resume"), QStringLiteral("--all")});
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

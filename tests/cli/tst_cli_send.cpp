// "send" end to end: the real binary run as cron runs it (no display, a minimal PATH), the
// issue recorded as the send page records it, its mails received by aiosmtpd on loopback and
// read back with Python's email package.
#include "app/MainForm.h"
#include "fakes/MailServers.h"
#include "fakes/RunProgram.h"
#include "fakes/StoreFixture.h"
#include "fakes/TestEnv.h"
#include "issue/UComposeText.h"
#include "issue/UIssue.h"
#include "mail/DeliveryManager.h"
#include "members/CurrentMagazine.h"
#include "members/MemberEntry.h"
#include "store/PreparedStatement.h"
#include "store/Codec.h"
#include "store/Database.h"
#include "store/Folders.h"
#include "store/MagazineMailSettings.h"
#include "store/MemberSql.h"
#include "store/SendSettings.h"
#include "store/SendStates.h"
#include "store/ServerSettings.h"
#include "widgets/MessageBox.h"

#include <QProcess>
#include <QSqlDatabase>
#include <QSqlQuery>
#include <QTreeWidget>
#include <QtTest>

namespace {

const int kMag = 3;
const QString kMagazine = QStringLiteral("週刊ツバメ");
const QStringList kFieldNames = {"購読中", "特典", "未使用", "ポイント", "回数", "誕生日", "入会日"};
const QString kBody = QStringLiteral("[member name]様\r\n今週のお知らせです。\r\n");
const QString kSubject = QStringLiteral("ツバメ便 第1号のお知らせ");

// Every program here runs as cron runs it.
ProgramResult runProgram(const QStringList &args)
{
    return RunProgram(args, CronEnvironment());
}

struct IssueFields {
    int SendCnt = -1;
    QString Condition, Title, Body, UpdateSQL;
    QList<int> recipients;
    bool operator==(const IssueFields &) const = default;
};

IssueFields issueFields(int magCnt)
{
    IssueFields f;
    PreparedStatement s(QStringLiteral("select SendCnt,Condition,Title,Body,UpdateSQL from MagInfo where MagCnt = ?"));
    s.run({magCnt});
    if (s.next()) {
        f.SendCnt = s.value(0).toInt();
        f.Condition = s.value(1).toString();
        f.Title = s.value(2).toString();
        f.Body = s.value(3).toString();
        f.UpdateSQL = s.value(4).toString();
    }
    s.finish();
    PreparedStatement h(QStringLiteral("select MagUser from MagHist where MagCnt = ? order by MagUser"));
    h.run({magCnt});
    while (h.next())
        f.recipients += h.value(0).toInt();
    return f;
}

int issueCount()
{
    return int(Statement().scalar("select count(*) from MagInfo"));
}

// Every table with its number of rows.
QStringList tableCounts()
{
    QStringList names;
    {
        Statement s;
        s.open("select name from sqlite_master where type = 'table' order by name");
        while (s.next())
            names += s.value(0).toString();
    }
    QStringList out;
    if (names.size() < 5)
        qFatal("the store lists %d tables", int(names.size()));
    for (const QString &n : names)
        out += n + QLatin1Char('=') + QString::number(Statement().scalar("select count(*) from \"" + n + "\""));
    return out;
}

QByteArray encoded(const QString &text, const QString &encoding)
{
    if (encoding == "cp932")
        return Codec::toCp932(text);
    if (encoding == "utf8-bom")
        return "\xEF\xBB\xBF" + text.toUtf8();
    return text.toUtf8();
}

} // namespace

class TestCliSend : public QObject
{
    Q_OBJECT

    std::unique_ptr<TestEnv> env;

    QString writeFile(const QString &name, const QByteArray &bytes)
    {
        const QString path = env->home() + QLatin1Char('/') + name;
        QFile f(path);
        if (!f.open(QIODevice::WriteOnly) || f.write(bytes) != bytes.size())
            qFatal("cannot write %s", qPrintable(path));
        return path;
    }

    static void setServer(quint16 port)
    {
        ServerSettings server;
        server.SmtpHost = QStringLiteral("127.0.0.1");
        server.SmtpPort = port;
        ServerSettings::save(server);
    }

    QStringList sendArgs(const QStringList &more = {})
    {
        const QString body = writeFile("body.txt", kBody.toUtf8());
        return QStringList{"send", "--magazine", kMagazine, "--subject", kSubject, "--body-file", body} + more;
    }

private Q_SLOTS:
    void init()
    {
        env = std::make_unique<TestEnv>();
        env->openStore();
        StoreFixture::addMagazine(kMag, kMagazine, kFieldNames, {{"UseUserName", 1}});
        StoreFixture::addMember(kMag, 101, "会員一", "one@example.com", {{"Flg1", 1}, {"Sleep", 0}});
        StoreFixture::addMember(kMag, 102, "会員二", "two@example.com", {{"Flg1", 0}, {"Sleep", 0}});
        StoreFixture::addMember(kMag, 103, "会員三", "three@example.com", {{"Flg1", 1}, {"Sleep", 1}});
        StoreFixture::addMember(kMag, 104, "会員四", "four@example.com", {{"Flg1", 1}, {"Sleep", 0}});
        // Another magazine's member with the flag on: never one of ours.
        StoreFixture::addMagazine(5, "別マガジン");
        StoreFixture::addMember(5, 101, "他誌の会員", "other@example.com", {{"Flg1", 1}, {"Sleep", 0}});
    }
    void cleanup() { env.reset(); }

    // Subject and body files in CP932, UTF-8 with and without a byte-order mark: the mails
    // arrive personalised, and the issue is the one the send page records for the same inputs.
    void sendsAndRecordsAsTheWindow_data()
    {
        QTest::addColumn<QString>("encoding");
        QTest::newRow("CP932") << "cp932";
        QTest::newRow("UTF-8 with BOM") << "utf8-bom";
        QTest::newRow("UTF-8 without BOM") << "utf8";
    }
    void sendsAndRecordsAsTheWindow()
    {
        QFETCH(QString, encoding);
        SmtpTestServer::Options o;
        o.tls = false;
        o.auth = false;
        SmtpTestServer server;
        QVERIFY2(server.start(o), qPrintable(server.error()));
        setServer(server.port());
        // The body file as an editor on Linux leaves it: LF line ends.
        QString lfBody = kBody;
        lfBody.replace("\r\n", "\n");
        const QString body = writeFile("body.txt", encoded(lfBody, encoding));
        const QString subject = writeFile("subject.txt", encoded(kSubject + "\n", encoding));
        const ProgramResult r = runProgram({"send", "--magazine", kMagazine, "--subject-file", subject, "--body-file", body,
                                  "--condition", "flag-on", "--field", "購読中", "--after-send", "count1,date1"});
        QVERIFY2(r.code == 0, qPrintable(r.err));
        QVERIFY(server.waitFor(2));
        QHash<QString, QString> bodies;
        for (const SmtpTestServer::Received &got : server.received()) {
            QCOMPARE(got.to.size(), 1);
            const QJsonObject mail = ReadMail(got.path);
            QCOMPARE(mail.value("subject").toString(), kSubject);
            QCOMPARE(mail.value("default").toObject().value("defects").toArray().size(), 0);
            bodies.insert(got.to.first(), mail.value("body").toString());
        }
        QCOMPARE(bodies.size(), 2);
        QCOMPARE(bodies.value("one@example.com"), QString("会員一様\r\n今週のお知らせです。\r\n"));
        QCOMPARE(bodies.value("four@example.com"), QString("会員四様\r\n今週のお知らせです。\r\n"));

        // The same inputs through the send page's own dispatch, in this process.
        const IssueFields fromCommandLine = issueFields(1);
        IssueDraft draft;
        draft.inputs.condition = SendCondition::FlagOn;
        draft.inputs.magIdx = kMag;
        draft.inputs.fieldItem = 0;
        for (size_t i = 0; i < 7; ++i)
            draft.inputs.fieldNames[i] = kFieldNames.at(qsizetype(i));
        draft.title = kSubject;
        draft.body = ComposeText::WithCrLf(lfBody);
        draft.updates = {false, false, false, true, false, true, false};
        draft.now = QDateTime::currentDateTime();
        QCOMPARE(DispatchIssue(draft, {}), 2);
        QCOMPARE(fromCommandLine, issueFields(2));
        QCOMPARE(fromCommandLine.Condition, QString("購読中がONのメンバー"));
        QCOMPARE(fromCommandLine.recipients, (QList<int>{101, 104}));
        QCOMPARE(fromCommandLine.UpdateSQL,
                 "set Count1 = Count1 + 1,UserDate1 = \"" + QDate::currentDate().toString("yyyyMMdd") + "\"");
        // The after-send update reached the recipients only.
        QCOMPARE(Statement().scalar("select Count1 from MagUser where MagIdx = 3 and UserIdx = 101"), 1);
        QCOMPARE(Statement().scalar("select Count1 from MagUser where MagIdx = 3 and UserIdx = 102"), 0);
    }

    // The condition picks exactly its members; a free condition that would leave its
    // parentheses is refused before anything is recorded.
    void conditionsSelect_data()
    {
        QTest::addColumn<QStringList>("condition");
        QTest::addColumn<QString>("whr");  // a condition file's text, when not empty
        QTest::addColumn<int>("code");
        QTest::addColumn<QList<int>>("recipients");
        QTest::newRow("all") << QStringList{} << "" << 0 << QList<int>{101, 102, 104};
        QTest::newRow("flag off, by the item's text") << QStringList{"--condition", "フラグがOFF", "--field", "購読中"}
                                                      << "" << 0 << QList<int>{102};
        QTest::newRow("counter by its fixed name")
            << QStringList{"--condition", "count-equals", "--field", "count1", "--value", "0"} << "" << 0
            << QList<int>{101, 102, 104};
        QTest::newRow("added since")
            << QStringList{"--condition", "added-since", "--value", "2024/01/02"} << "" << 0 << QList<int>{};
        QTest::newRow("condition file") << QStringList{} << "購読中 = ON AND\r\n特典 = OFF\r\n" << 0
                                        << QList<int>{101, 104};
        QTest::newRow("escaping condition file") << QStringList{} << "購読中 = 1) or (1 = 1" << 1 << QList<int>{};
        QTest::newRow("second statement") << QStringList{} << "購読中 = 1; delete from MagUser" << 1
                                          << QList<int>{};
    }
    void conditionsSelect()
    {
        QFETCH(QStringList, condition);
        QFETCH(QString, whr);
        QFETCH(int, code);
        QFETCH(QList<int>, recipients);
        SmtpSink sink;
        QVERIFY2(sink.start({}), qPrintable(sink.error()));
        setServer(sink.port());
        if (!whr.isEmpty())
            condition << "--condition-file" << writeFile("cond.whr", Codec::toCp932(whr));
        const ProgramResult r = runProgram(sendArgs(condition));
        QVERIFY2(r.code == code, qPrintable(QString::number(r.code) + r.err));
        if (code != 0) {
            QVERIFY2(r.err.contains("条件式が間違っています。"), qPrintable(r.err));
            QCOMPARE(issueCount(), 0);
            QCOMPARE(Statement().scalar("select count(*) from MagUser"), 5);
            return;
        }
        // An issue that reaches nobody is recorded all the same.
        QCOMPARE(issueFields(1).SendCnt, recipients.size());
        QCOMPARE(issueFields(1).recipients, recipients);
        QCOMPARE(sink.acceptedCounts().size(), recipients.size());
        if (!whr.isEmpty())
            QCOMPARE(issueFields(1).Condition, whr.chopped(2));
    }

    // A dry run writes nothing anywhere and shows the count and the first member's mail.
    void dryRunRecordsNothing()
    {
        setServer(FreeLoopbackPort());
        // With an unsubscribe address each mail carries a token signed by the store's key; a
        // store without one yet must not get one from a dry run.
        MagazineMailSettings unsubscribe;
        unsubscribe.unsubscribeAddress = QStringLiteral("unsubscribe@example.jp");
        MagazineMailSettings::save(kMag, unsubscribe);
        Statement().exec("delete from SendSetting where Name = 'UnsubscribeKey'");
        // the store as opening it leaves it: the members the fixture wrote get their marks
        env->closeStore();
        env->openStore();
        const QStringList before = tableCounts();
        const ProgramResult r = runProgram(sendArgs({"--condition", "flag-on", "--field", "購読中", "--after-send", "flag2",
                                           "--dry-run"}));
        QVERIFY2(r.code == 0, qPrintable(r.err));
        QCOMPARE(tableCounts(), before);
        const qsizetype split = r.out.indexOf("\n\n");
        QVERIFY(split > 0);
        const QString head = QString::fromUtf8(r.out.left(split));
        QVERIFY2(head.startsWith("対象者数: 2\n"), qPrintable(head));
        QVERIFY2(head.contains("one@example.com"), qPrintable(head));
        const QString mailFile = writeFile("first.eml", r.out.mid(split + 2));
        const QJsonObject mail = ReadMail(mailFile);
        QCOMPARE(mail.value("subject").toString(), kSubject);
        QCOMPARE(mail.value("to_addr").toString(), QString("one@example.com"));
        QCOMPARE(mail.value("body").toString(), QString("会員一様\r\n今週のお知らせです。\r\n"));
        QVERIFY(mail.value("default").toObject().value("List-Unsubscribe").toString().startsWith(
            "<mailto:unsubscribe@example.jp?subject=unsubscribe%20"));
        QCOMPARE(Statement().scalar("select Flg2 from MagUser where UserIdx = 101 and MagIdx = 3"), 0);
    }

    // Refused input says why, exits 1 and records nothing.
    void refused_data()
    {
        QTest::addColumn<QStringList>("args");
        QTest::addColumn<QString>("message");
        const QString body = "body.txt";
        QTest::newRow("no subject") << QStringList{"send", "--magazine", kMagazine, "--body-file", body}
                                    << "件名が未入力です。";
        QTest::newRow("no body") << QStringList{"send", "--magazine", kMagazine, "--subject", "件名"}
                                 << "本文が未入力です。";
        QTest::newRow("unknown magazine") << QStringList{"send", "--magazine", "ない", "--subject", "件名", "--body-file", body}
                                          << "マガジン「ない」はありません。";
        QTest::newRow("unknown condition")
            << QStringList{"send", "--magazine", kMagazine, "--subject", "件名", "--body-file", body, "--condition", "vip"}
            << "送信条件「vip」はありません。";
        QTest::newRow("unknown field") << QStringList{"send", "--magazine", kMagazine, "--subject", "件名", "--body-file",
                                                      body, "--condition", "flag-on", "--field", "会員種別"}
                                       << "項目「会員種別」はこのマガジンにありません。";
        QTest::newRow("no field") << QStringList{"send", "--magazine", kMagazine, "--subject", "件名", "--body-file",
                                                 body, "--condition", "flag-on"}
                                  << "フラグが選択されていません。";
        QTest::newRow("bad date") << QStringList{"send", "--magazine", kMagazine, "--subject", "件名", "--body-file", body,
                                                 "--condition", "added-since", "--value", "2024-13-01"}
                                  << "日付「2024-13-01」が正しくありません";
        QTest::newRow("missing body file") << QStringList{"send", "--magazine", kMagazine, "--subject", "件名",
                                                          "--body-file", "nothing-here.txt"}
                                           << "ファイルを読めません";
        QTest::newRow("two-line subject") << QStringList{"send", "--magazine", kMagazine, "--subject", "件名\nBcc: x@y",
                                                         "--body-file", body}
                                          << "件名は1行で指定してください。";
        QTest::newRow("unknown after-send") << QStringList{"send", "--magazine", kMagazine, "--subject", "件名",
                                                           "--body-file", body, "--after-send", "flag4"}
                                            << "--after-send に「flag4」は指定できません";
    }
    void refused()
    {
        QFETCH(QStringList, args);
        QFETCH(QString, message);
        setServer(FreeLoopbackPort());
        writeFile("body.txt", kBody.toUtf8());
        for (QString &a : args)
            if (a == "body.txt" || a == "nothing-here.txt")
                a = env->home() + "/" + a;
        const ProgramResult r = runProgram(args);
        QCOMPARE(r.code, 1);
        QVERIFY2(r.err.contains(message), qPrintable(r.err));
        QCOMPARE(issueCount(), 0);
    }

    // The help, in Japanese, shows how a send is written.
    void helpShowsAnExample()
    {
        const ProgramResult r = runProgram({"send", "--help"});
        QCOMPARE(r.code, 0);
        const QString help = QString::fromUtf8(r.out);
        QVERIFY2(help.contains("例: tsubame send --magazine"), qPrintable(help));
        QVERIFY(help.contains("--dry-run: 何も記録せず"));
    }

    // A body over the bound is refused without being read whole.
    void oversizedBodyIsRefused()
    {
        setServer(FreeLoopbackPort());
        const QString body = writeFile("big.txt", QByteArray(4 * 1024 * 1024 + 1, 'a'));
        const ProgramResult r = runProgram({"send", "--magazine", kMagazine, "--subject", "件名", "--body-file", body});
        QCOMPARE(r.code, 1);
        QVERIFY2(r.err.contains("ファイルが大きすぎます"), qPrintable(r.err));
        QCOMPARE(issueCount(), 0);
    }

    // Another writer holds the store: the send gives up with exit 2 and leaves nothing.
    void lockedStoreIsNotWritten()
    {
        setServer(FreeLoopbackPort());
        const QStringList before = tableCounts();
        {
            QSqlDatabase other = QSqlDatabase::addDatabase("QSQLITE", "other-writer");
            other.setDatabaseName(Folders::storeFile(Folders::dataDir()));
            QVERIFY(other.open());
            QSqlQuery q(other);
            QVERIFY(q.exec("begin immediate"));
            QVERIFY(q.exec("update MagUser set UserName = UserName"));
            const ProgramResult r = runProgram(sendArgs());
            QCOMPARE(r.code, 2);
            QVERIFY2(r.err.contains(IssueNotRecordedText()), qPrintable(r.err));
            QVERIFY(q.exec("rollback"));
            q.finish();
            other.close();
        }
        QSqlDatabase::removeDatabase("other-writer");
        QCOMPARE(tableCounts(), before);
    }

    // The server cannot be reached: exit 2, the issue recorded with every recipient waiting
    // for "resume".
    void unreachableServerLeavesTheIssueWaiting()
    {
        setServer(FreeLoopbackPort());
        const ProgramResult r = runProgram(sendArgs());
        QCOMPARE(r.code, 2);
        QCOMPARE(issueCount(), 1);
        QCOMPARE(SendStates::counts(kMag, 1).waiting, 3);
        QVERIFY(!SendLock::isHeld(kMag, 1));
    }

    // A server that refuses one recipient: exit 3, the others have their mail.
    void partlyFailedExitsThree()
    {
        SmtpSink sink;
        QVERIFY2(sink.start({.deferTenth = false, .reject = {"two@"}}), qPrintable(sink.error()));
        setServer(sink.port());
        const ProgramResult r = runProgram(sendArgs());
        QVERIFY2(r.code == 3, qPrintable(r.err));
        QCOMPARE(sink.acceptedCounts().size(), 2);
        QCOMPARE(SendStates::counts(kMag, 1).failed, 1);
    }

    // The window open on the same store while the command line sends: the window's edit made
    // meanwhile stays, the after-send update lands too, and the history shows the new issue.
    void besideTheWindow()
    {
        SmtpSink sink;
        QVERIFY2(sink.start({}), qPrintable(sink.error()));
        setServer(sink.port());
        DeliverySettings paced;
        paced.pacing.perHour = 1800;  // two seconds between mails
        SendSettings::save(paced);
        MessageBox::takeShown();
        TMainForm form;
        form.show();
        for (int i = 0; i < form.ListView1->topLevelItemCount(); ++i)
            if (form.ListView1->topLevelItem(i)->data(0, Qt::UserRole).toInt() == kMag)
                form.ListView1->setCurrentItem(form.ListView1->topLevelItem(i));
        QCOMPARE(form.Magazine->CurMagIdx(), kMag);

        const std::unique_ptr<QProcess> p = StartProgram(sendArgs({"--after-send", "count1"}), CronEnvironment());
        QVERIFY(sink.waitForAccepted(1, 30000));
        // Meanwhile the window changes a recipient, as its member dialog does.
        MemberRecord m = MemberEntry::stored(kMag, 104);
        m.name = QStringLiteral("会員四(変更)");
        m.flags[2] = true;
        MemberEntry::save(m);
        const ProgramResult r = FinishProgram(*p);
        QVERIFY2(r.code == 0, qPrintable(r.err));
        QCOMPARE(sink.acceptedCounts().size(), 3);

        const std::optional<MemberRecord> after = MemberSql::load(kMag, 104);
        QCOMPARE(after->name, QStringLiteral("会員四(変更)"));
        QVERIFY(after->flags[2]);
        QCOMPARE(Statement().scalar("select Count1 from MagUser where MagIdx = 3 and UserIdx = 104"), 1);
        form.H1Click();
        bool listed = false;
        for (int i = 0; i < form.ListView4->topLevelItemCount(); ++i)
            listed = listed || form.ListView4->topLevelItem(i)->data(0, Qt::UserRole).toInt() == 1;
        QVERIFY(listed);
        form.close();
    }
    // On a terminal (here a pseudo-terminal) the delivery draws its progress line, which
    // reaches the whole.
    void terminalShowsTheProgressLine()
    {
        SmtpSink sink;
        QVERIFY2(sink.start({}), qPrintable(sink.error()));
        setServer(sink.port());
        const auto quoted = [](QString arg) -> QString { return "'" + arg.replace("'", "'\\''") + "'"; };
        QString command = quoted(ProgramUnderTest());
        for (const QString &arg : sendArgs())
            command += ' ' + quoted(arg);
        QProcess p;
        p.setProcessEnvironment(CronEnvironment());
        p.start(QStringLiteral("script"), {"-qefc", command, "/dev/null"});
        const ProgramResult r = FinishProgram(p);
        const QString terminal = QString::fromUtf8(r.out);
        QVERIFY2(r.code == 0, qPrintable(terminal + r.err));
        QVERIFY2(terminal.contains(QStringLiteral("\r週刊ツバメ 第1号: 3 / 3")), qPrintable(terminal));
        QCOMPARE(sink.acceptedCounts().size(), 3);
    }
};

QTEST_MAIN(TestCliSend)
#include "tst_cli_send.moc"

// Reading what comes back from a real POP3 server: dovecot on loopback, started by the test,
// with real-shaped messages put into its mailbox. After a pass the members have changed as
// the messages say, only the processed messages are gone, and a second pass does nothing.
#include "fakes/MailServers.h"
#include "fakes/StoreFixture.h"
#include "fakes/TestEnv.h"
#include "mail/InboxProcess.h"
#include "mail/UnsubscribeToken.h"
#include "store/UnsubscribeKey.h"
#include "store/Database.h"
#include "store/MemberBounces.h"

#include <QtTest>

namespace {

const QString kUser = QStringLiteral("news");
const QString kPassword = QStringLiteral("pa'ss");

QByteArray crlf(QByteArray text)
{
    return text.replace("\n", "\r\n");
}

// Reports returning our mail with its token field (token empty: without one).
QByteArray dsnMail(const QByteArray &address, const QString &token = {})
{
    return crlf("Return-Path: <>\nFrom: Mail Delivery System <MAILER-DAEMON@mx.example.org>\nTo: news@example.jp\n"
                "Subject: Undelivered Mail Returned to Sender\nMIME-Version: 1.0\n"
                "Content-Type: multipart/report; report-type=delivery-status;\n\tboundary=\"4A1B2C.1765400000/mx\"\n\n"
                "--4A1B2C.1765400000/mx\nContent-Type: text/plain; charset=us-ascii\n\n"
                "I'm sorry to have to inform you that your message could not\nbe delivered to one or more recipients.\n"
                ".\n..\n\n"  // lines the server has to dot-stuff
                "--4A1B2C.1765400000/mx\nContent-Type: message/delivery-status\n\n"
                "Reporting-MTA: dns; mx.example.org\n\n"
                "Final-Recipient: rfc822; " + address + "\nOriginal-Recipient: rfc822;" + address + "\n"
                "Action: failed\nStatus: 5.1.1\nDiagnostic-Code: smtp; 550 5.1.1 <" + address + ">: User unknown\n\n"
                "--4A1B2C.1765400000/mx\nContent-Type: message/rfc822\n\n"
                "From: news@example.jp\nTo: " + address + "\nSubject: =?ISO-2022-JP?B?GyRCRnxLXBsoQg==?=\n"
                + (token.isEmpty() ? QByteArray() : "X-Tsubame-Token: " + token.toLatin1() + "\n")
                + "\nbody\n--4A1B2C.1765400000/mx--\n");
}

QByteArray plainBounce(const QByteArray &address, const QString &token)
{
    return crlf("Return-Path: <>\nFrom: MAILER-DAEMON@mail.example.net\nTo: news@example.jp\nSubject: failure notice\n\n"
                "Hi. This is the qmail-send program at mail.example.net.\n"
                "I'm afraid I wasn't able to deliver your message to the following addresses.\n"
                "This is a permanent error; I've given up. Sorry it didn't work out.\n\n<" + address
                + ">:\nSorry, no mailbox here by that name. (#5.1.1)\n\n--- Below this line is a copy of the message.\n\n"
                  "Return-Path: <news@example.jp>\nTo: " + address + "\nX-Tsubame-Token: " + token.toLatin1()
                + "\n\nbody\n");
}

QByteArray unsubscribeMail(const QString &token)
{
    return crlf("From: reader@example.org\nTo: unsubscribe@example.jp\nSubject: unsubscribe " + token.toLatin1()
                + "\nMIME-Version: 1.0\nContent-Type: text/plain; charset=UTF-8\n\n\n");
}

const QByteArray kUnrelated = crlf("From: friend@example.org\nTo: news@example.jp\nSubject: =?UTF-8?B?44GT44KT44Gr44Gh44Gv?=\n\n"
                                   "Hello.\n");

int sleeping(int magIdx, int userIdx)
{
    Statement s;
    return int(s.scalar(QStringLiteral("select Sleep from MagUser where MagIdx = %1 and UserIdx = %2").arg(magIdx).arg(userIdx)));
}

int hardBounces(int magIdx, int userIdx)
{
    const std::optional<MemberBounce> b = MemberBounces::load(magIdx, userIdx);
    return b ? b->hardBounces : 0;
}

} // namespace

class TestMailInboxLoopback : public QObject
{
    Q_OBJECT

    std::unique_ptr<TestEnv> env;

    InboxOptions options(const Pop3TestServer &server, Pop3Tls tls)
    {
        InboxOptions o;
        o.server.host = QStringLiteral("127.0.0.1");
        o.server.port = tls == Pop3Tls::Implicit ? server.tlsPort() : server.port();
        o.server.user = kUser;
        o.server.password = kPassword;
        o.server.tls = tls;
        o.server.connectTimeoutMs = 5000;
        o.server.replyTimeoutMs = 10000;
        return o;
    }

private Q_SLOTS:
    void init()
    {
        env = std::make_unique<TestEnv>();
        env->openStore();
        StoreFixture::addMagazine(1, QStringLiteral("週刊"));
        const StoreFixture::Row blank = StoreFixture::blankMemberColumns();
        StoreFixture::addMember(1, 1, QStringLiteral("太郎"), QStringLiteral("taro@example.jp"), blank);
        StoreFixture::addMember(1, 2, QStringLiteral("花子"), QStringLiteral("hana@example.jp"), blank);
        StoreFixture::addMember(1, 3, QStringLiteral("次郎"), QStringLiteral("jiro@example.net"), blank);
        StoreFixture::addMember(1, 4, QStringLiteral("三郎"), QStringLiteral("saburo@example.jp"), blank);
    }
    void cleanup() { env.reset(); }

    void processTwice_data()
    {
        QTest::addColumn<Pop3Tls>("tls");
        QTest::newRow("clear text") << Pop3Tls::None;
        QTest::newRow("STLS") << Pop3Tls::StartTls;
        QTest::newRow("TLS from the first byte") << Pop3Tls::Implicit;
    }
    void processTwice()
    {
        QFETCH(Pop3Tls, tls);
        Pop3TestServer server;
        QVERIFY2(server.start(kUser, kPassword, tls != Pop3Tls::None), qPrintable(server.error()));
        const QByteArray key = UnsubscribeKey::load();
        // Taro has two hard bounces already: this report is his third.
        {
            Statement s;
            s.exec(QStringLiteral("insert into MemberBounce (MagIdx, UserIdx, Bounces, HardBounces, LastReason, LastDate)"
                                  " values (1, 1, 2, 2, 'old', '2026/12/01 10:00')"));
        }
        for (const QByteArray &m : {dsnMail("taro@example.jp", UnsubscribeToken::make(key, 1, 1)),
                                    plainBounce("jiro@example.net", UnsubscribeToken::make(key, 1, 3)),
                                    unsubscribeMail(UnsubscribeToken::make(key, 1, 2)),
                                    unsubscribeMail(UnsubscribeToken::make(QByteArray(32, 'k'), 1, 4)), kUnrelated})
            QVERIFY2(server.deliver(kUser, m), qPrintable(server.error()));

        const InboxSummary first = ProcessInbox(options(server, tls), {}, {}, nullptr);
        QVERIFY2(first.end == InboxSummary::End::Done, qPrintable(first.text()));
        QCOMPARE(first.read, 5);
        QCOMPARE(first.bounces, 2);
        QCOMPARE(first.suspended, 1);
        QCOMPARE(first.unsubscribed, 1);
        QCOMPARE(first.forged, 1);
        QCOMPARE(first.unknown, 1);
        QCOMPARE(first.deleted, 3);
        QCOMPARE(hardBounces(1, 1), 3);
        QCOMPARE(sleeping(1, 1), 1);  // the third hard bounce suspends
        QCOMPARE(hardBounces(1, 3), 1);
        QCOMPARE(sleeping(1, 3), 0);
        QCOMPARE(sleeping(1, 2), 1);  // the genuine request
        QCOMPARE(sleeping(1, 4), 0);  // the forged one changes nothing
        QTRY_COMPARE(server.messageCount(kUser), 2);
        QVERIFY(server.log().contains(QStringLiteral("Login: user=<news>")));

        const InboxSummary second = ProcessInbox(options(server, tls), {}, {}, nullptr);
        QVERIFY2(second.end == InboxSummary::End::Done, qPrintable(second.text()));
        QCOMPARE(second.listed, 2);
        QCOMPARE(second.read, 0);
        QCOMPARE(second.deleted, 0);
        QCOMPARE(hardBounces(1, 1), 3);
        QCOMPARE(server.messageCount(kUser), 2);
    }

    // A mail with a line of 1.5 MB is read whole, one above the size bound is left unread,
    // and neither keeps the mail after them from being processed and deleted.
    void longLinesAndBigMailDoNotBlock()
    {
        Pop3TestServer server;
        QVERIFY2(server.start(kUser, kPassword), qPrintable(server.error()));
        const QByteArray longLine = crlf("From: friend@example.org\nTo: news@example.jp\nSubject: long\n\n")
                                    + QByteArray(1500 * 1024, 'a') + "\r\n";
        const QByteArray big = kUnrelated + QByteArray(3 * 1024 * 1024, 'b') + "\r\n";
        const QByteArray report = dsnMail("taro@example.jp", UnsubscribeToken::make(UnsubscribeKey::load(), 1, 1));
        for (const QByteArray &m : {longLine, big, report})
            QVERIFY2(server.deliver(kUser, m), qPrintable(server.error()));
        const InboxSummary s = ProcessInbox(options(server, Pop3Tls::None), {}, {}, nullptr);
        QVERIFY2(s.end == InboxSummary::End::Done, qPrintable(s.text()));
        QCOMPARE(s.read, 2);
        QCOMPARE(s.unknown, 1);
        QCOMPARE(s.tooLarge, 1);
        QCOMPARE(s.bounces, 1);
        QCOMPARE(s.deleted, 1);
        QCOMPARE(hardBounces(1, 1), 1);
        QTRY_COMPARE(server.messageCount(kUser), 2);
    }

    // With the certificate check on, dovecot's self-signed certificate is refused before a
    // password is sent, and nothing in the mailbox is touched.
    void certificateRefused_data()
    {
        QTest::addColumn<Pop3Tls>("tls");
        QTest::newRow("STLS") << Pop3Tls::StartTls;
        QTest::newRow("TLS from the first byte") << Pop3Tls::Implicit;
    }
    void certificateRefused()
    {
        QFETCH(Pop3Tls, tls);
        Pop3TestServer server;
        QVERIFY2(server.start(kUser, kPassword, true), qPrintable(server.error()));
        QVERIFY(server.deliver(kUser, dsnMail("taro@example.jp")));
        InboxOptions o = options(server, tls);
        o.server.verifyCertificate = true;
        const InboxSummary s = ProcessInbox(o, {}, {}, nullptr);
        QCOMPARE(s.end, InboxSummary::End::ServerFailed);
        QVERIFY2(s.error.contains(QStringLiteral("証明書")), qPrintable(s.error));
        QCOMPARE(s.read, 0);
        QCOMPARE(hardBounces(1, 1), 0);
        QCOMPARE(server.messageCount(kUser), 1);
        QVERIFY(!server.log().contains(QStringLiteral("Login: user=<news>")));
    }

    void wrongPassword()
    {
        Pop3TestServer server;
        QVERIFY2(server.start(kUser, kPassword), qPrintable(server.error()));
        QVERIFY(server.deliver(kUser, kUnrelated));
        InboxOptions o = options(server, Pop3Tls::None);
        o.server.password = QStringLiteral("wrong");
        const InboxSummary s = ProcessInbox(o, {}, {}, nullptr);
        QCOMPARE(s.end, InboxSummary::End::ServerFailed);
        QCOMPARE(s.error, QStringLiteral("-ERR [AUTH] Authentication failed."));
        QCOMPARE(server.messageCount(kUser), 1);
    }
};

QTEST_GUILESS_MAIN(TestMailInboxLoopback)
#include "tst_mail_inbox_loopback.moc"

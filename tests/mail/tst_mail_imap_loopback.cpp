// Reading what comes back from a real IMAP server: dovecot on loopback, started by the test,
// in clear text, with STARTTLS and with TLS from the first byte. After a pass the members
// have changed as the messages say, the processed messages are gone (or moved to the folder
// named for them), the rest stays, and a second pass does nothing.
#include "fakes/MailServers.h"
#include "fakes/StoreFixture.h"
#include "fakes/TestEnv.h"
#include "mail/ImapMailbox.h"
#include "mail/InboxProcess.h"
#include "mail/UnsubscribeToken.h"
#include "store/Database.h"
#include "store/MemberBounces.h"
#include "store/UnsubscribeKey.h"

#include <QtTest>

namespace {

const QString kUser = QStringLiteral("news");
const QString kPassword = QStringLiteral("pa'ss\"\\");

QByteArray crlf(QByteArray text)
{
    return text.replace("\n", "\r\n");
}

// A report returning our mail's header with its token field.
QByteArray dsnMail(const QByteArray &address, const QString &token)
{
    return crlf("Return-Path: <>\nFrom: Mail Delivery System <MAILER-DAEMON@mx.example.org>\nTo: news@example.jp\n"
                "Subject: Undelivered Mail Returned to Sender\nMIME-Version: 1.0\n"
                "Content-Type: multipart/report; report-type=delivery-status; boundary=\"b1\"\n\n"
                "--b1\nContent-Type: text/plain\n\nCould not deliver.\n\n"
                "--b1\nContent-Type: message/delivery-status\n\nReporting-MTA: dns; mx.example.org\n\n"
                "Final-Recipient: rfc822; " + address + "\nAction: failed\nStatus: 5.1.1\n"
                "Diagnostic-Code: smtp; 550 5.1.1 <" + address + ">: User unknown\n\n"
                "--b1\nContent-Type: text/rfc822-headers\n\nFrom: news@example.jp\nX-Tsubame-Token: " + token.toLatin1()
                + "\n\n--b1--\n");
}

QByteArray unsubscribeMail(const QString &token)
{
    return crlf("From: reader@example.org\nTo: unsubscribe@example.jp\nSubject: unsubscribe " + token.toLatin1() + "\n\n\n");
}

// A mail whose body has a line of 1.5 MB: read whole, not counted as a reply of the server.
QByteArray longLineMail()
{
    return crlf("From: friend@example.org\nTo: news@example.jp\nSubject: long\n\n") + QByteArray(1500 * 1024, 'a') + "\r\n";
}

const QByteArray kUnrelated = crlf("From: friend@example.org\nTo: news@example.jp\nSubject: hello\n\nHello.\n");

int hardBounces(int magIdx, int userIdx)
{
    const std::optional<MemberBounce> b = MemberBounces::load(magIdx, userIdx);
    return b ? b->hardBounces : 0;
}

bool sleeping(int magIdx, int userIdx)
{
    Statement s;
    return s.scalar(QStringLiteral("select Sleep from MagUser where MagIdx = %1 and UserIdx = %2").arg(magIdx).arg(userIdx)) != 0;
}

} // namespace

class TestMailImapLoopback : public QObject
{
    Q_OBJECT

    std::unique_ptr<TestEnv> env;

    InboxOptions options(const Pop3TestServer &server, Pop3Tls tls)
    {
        InboxOptions o;
        o.protocol = InboxProtocol::Imap;
        o.server.host = QStringLiteral("127.0.0.1");
        o.server.port = tls == Pop3Tls::Implicit ? server.imapTlsPort() : server.imapPort();
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
    }
    void cleanup() { env.reset(); }

    void processTwice_data()
    {
        QTest::addColumn<Pop3Tls>("tls");
        QTest::addColumn<QString>("moveTo");
        QTest::newRow("clear text, delete") << Pop3Tls::None << QString();
        QTest::newRow("STARTTLS, delete") << Pop3Tls::StartTls << QString();
        QTest::newRow("TLS from the first byte, delete") << Pop3Tls::Implicit << QString();
        QTest::newRow("clear text, move to 処理済み") << Pop3Tls::None << QStringLiteral("処理済み");
        QTest::newRow("TLS from the first byte, move") << Pop3Tls::Implicit << QStringLiteral("処理済み");
    }
    void processTwice()
    {
        QFETCH(Pop3Tls, tls);
        QFETCH(QString, moveTo);
        Pop3TestServer server;
        QVERIFY2(server.start(kUser, kPassword, tls != Pop3Tls::None, true), qPrintable(server.error()));
        const QByteArray key = UnsubscribeKey::load();
        for (const QByteArray &m : {dsnMail("taro@example.jp", UnsubscribeToken::make(key, 1, 1)), kUnrelated,
                                    unsubscribeMail(UnsubscribeToken::make(key, 1, 2)),
                                    longLineMail()})
            QVERIFY2(server.deliver(kUser, m), qPrintable(server.error()));

        InboxOptions o = options(server, tls);
        o.moveTo = moveTo;
        const InboxSummary first = ProcessInbox(o, {}, {}, nullptr);
        QVERIFY2(first.end == InboxSummary::End::Done, qPrintable(first.text()));
        QCOMPARE(first.listed, 4);
        QCOMPARE(first.read, 4);
        QCOMPARE(first.bounces, 1);
        QCOMPARE(first.unsubscribed, 1);
        QCOMPARE(first.unknown, 2);
        QCOMPARE(first.deleted, 2);
        QCOMPARE(hardBounces(1, 1), 1);
        QVERIFY(sleeping(1, 2));
        QTRY_COMPARE(server.messageCount(kUser), 2);
        // Dovecot keeps the folder under its name in modified UTF-7.
        if (!moveTo.isEmpty())
            QCOMPARE(server.messageCount(kUser, QStringLiteral("&UeZ0Bm4IMH8-")), 2);
        QVERIFY2(server.log().contains(QStringLiteral("imap-login: Info: Login: user=<news>, method=PLAIN")), qPrintable(server.log()));

        const InboxSummary second = ProcessInbox(o, {}, {}, nullptr);
        QVERIFY2(second.end == InboxSummary::End::Done, qPrintable(second.text()));
        QCOMPARE(second.listed, 2);
        QCOMPARE(second.read, 0);
        QCOMPARE(second.deleted, 0);
        QCOMPARE(hardBounces(1, 1), 1);
        QCOMPARE(server.messageCount(kUser), 2);
    }

    // Another folder is read when named; a message above the bound is left unread.
    void folderAndBound()
    {
        Pop3TestServer server;
        QVERIFY2(server.start(kUser, kPassword, false, true), qPrintable(server.error()));
        QVERIFY(server.deliver(kUser, dsnMail("taro@example.jp", UnsubscribeToken::make(UnsubscribeKey::load(), 1, 1))));
        QVERIFY(server.deliver(kUser, longLineMail()));
        // First move everything into 処理済み, then read that folder.
        InboxOptions o = options(server, Pop3Tls::None);
        o.moveTo = QStringLiteral("処理済み");
        o.server.maxMessageBytes = 100 * 1024;
        const InboxSummary moved = ProcessInbox(o, {}, {}, nullptr);
        QVERIFY2(moved.end == InboxSummary::End::Done, qPrintable(moved.text()));
        QCOMPARE(moved.tooLarge, 1);
        QCOMPARE(moved.deleted, 1);
        QCOMPARE(server.messageCount(kUser), 1);

        InboxOptions other = options(server, Pop3Tls::None);
        other.folder = QStringLiteral("処理済み");
        other.keep = true;
        const InboxSummary read = ProcessInbox(other, {}, {}, nullptr);
        QVERIFY2(read.end == InboxSummary::End::Done, qPrintable(read.text()));
        QCOMPARE(read.listed, 1);
        QCOMPARE(read.read, 1);
        // Another folder is another mailbox, with mail of its own.
        QCOMPARE(read.bounces, 1);
        QCOMPARE(hardBounces(1, 1), 2);
        QCOMPARE(server.messageCount(kUser, QStringLiteral("&UeZ0Bm4IMH8-")), 1);
    }

    void wrongPassword()
    {
        Pop3TestServer server;
        QVERIFY2(server.start(kUser, kPassword, false, true), qPrintable(server.error()));
        QVERIFY(server.deliver(kUser, kUnrelated));
        InboxOptions o = options(server, Pop3Tls::None);
        o.server.password = QStringLiteral("wrong");
        const InboxSummary s = ProcessInbox(o, {}, {}, nullptr);
        QCOMPARE(s.end, InboxSummary::End::ServerFailed);
        QVERIFY2(s.error.contains(QStringLiteral("AUTHENTICATIONFAILED")), qPrintable(s.error));
        QCOMPARE(server.messageCount(kUser), 1);
    }
};

QTEST_GUILESS_MAIN(TestMailImapLoopback)
#include "tst_mail_imap_loopback.moc"

// The SMTP session against a scripted server: the exact bytes it writes, and how it copes
// with refusals, missing features, dropped connections and silence.
#include "fakes/FakeMailSocket.h"
#include "mail/SmtpClient.h"
#include "store/MailAddress.h"

#include <QtTest>

namespace {

const QByteArray kGreeting = "220 mail.example.jp ESMTP\r\n";
const QByteArray kEhloTlsAuth = "250-mail.example.jp\r\n250-PIPELINING\r\n250-STARTTLS\r\n250 AUTH PLAIN LOGIN\r\n";
const QByteArray kEhloAuth = "250-mail.example.jp\r\n250-SIZE 1000000\r\n250 AUTH LOGIN\r\n";
const QByteArray kEhloPlain = "250-mail.example.jp\r\n250 8BITMIME\r\n";
const QByteArray kMessage = "Subject: test\r\n\r\nline one\r\n.hidden dot\r\n";

SmtpOptions options(const QString &user = {}, bool tls = false)
{
    SmtpOptions o;
    o.host = QStringLiteral("mail.example.jp");
    o.port = 587;
    o.user = user;
    o.password = user.isEmpty() ? QString() : QStringLiteral("pa'ss");
    o.startTls = tls;
    o.heloName = QStringLiteral("client.local");
    o.connectTimeoutMs = 1500;
    o.replyTimeoutMs = 2500;
    return o;
}

// The server's answers to one clean transaction of one recipient.
void acceptOneMail(FakeMailSocket &s)
{
    s.serverSends("250 2.0.0 Ok\r\n").serverSends("250 2.1.0 Ok\r\n").serverSends("250 2.1.5 Ok\r\n");
    s.serverSends("354 End data with <CR><LF>.<CR><LF>\r\n").serverSends("250 2.0.0 Ok: queued\r\n");
}

const QByteArray kTransaction = "RSET\r\n"
                                "MAIL FROM: <owner@example.jp>\r\n"
                                "RCPT TO:<taro@example.com>\r\n"
                                "DATA\r\n"
                                "Subject: test\r\n\r\nline one\r\n..hidden dot\r\n.\r\n";

} // namespace

class TestMailSmtp : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void starttlsThenAuthThenMail()
    {
        FakeMailSocket s;
        s.serverSends(kGreeting).serverSends(kEhloTlsAuth);
        // Bytes sent in clear right after the 220 must not be read as the TLS answer.
        s.serverSends("220 2.0.0 Ready to start TLS\r\n250 injected\r\n");
        s.serverSends("250-mail.example.jp\r\n250 AUTH LOGIN\r\n");
        s.serverSends("334 VXNlcm5hbWU6\r\n").serverSends("334 UGFzc3dvcmQ6\r\n").serverSends("235 2.7.0 Authentication successful\r\n");
        acceptOneMail(s);
        s.serverSends("221 Bye\r\n");

        SmtpClient c(s);
        c.setOptions(options(QStringLiteral("user@example.jp"), true));
        QList<QByteArray> traffic;
        c.setTrafficLog([&](const QByteArray &b) { traffic += b; });
        QVERIFY2(c.connectToServer(), qPrintable(c.errorString()));
        QCOMPARE(s.host, QStringLiteral("mail.example.jp"));
        QCOMPARE(s.port, quint16(587));
        QCOMPARE(s.connectTimeoutMs, 1500);
        QVERIFY2(c.sendMail("owner@example.jp", {"taro@example.com"}, kMessage), qPrintable(c.errorString()));
        QCOMPARE(s.readTimeoutMs, 2500);
        c.quit();
        QCOMPARE(s.written, QByteArray("EHLO client.local\r\n"
                                       "STARTTLS\r\n"
                                       "[TLS]"
                                       "EHLO client.local\r\n"
                                       "AUTH LOGIN\r\n"
                                       "dXNlckBleGFtcGxlLmpw\r\n"
                                       "cGEnc3M=\r\n")
                                + kTransaction + "QUIT\r\n");
        QCOMPARE(c.capabilities(), QByteArrayList{"AUTH LOGIN"});
        QCOMPARE(s.pendingChunks(), 0);
        QVERIFY(!s.isConnected());
        // A multi-line reply is one block of the traffic log.
        QCOMPARE(traffic.at(2), kEhloTlsAuth);
    }

    void authOnlyOnceAndTlsOnlyAtFirstMail()
    {
        FakeMailSocket s;
        s.serverSends(kGreeting).serverSends(kEhloTlsAuth);
        s.serverSends("220 go ahead\r\n").serverSends(kEhloAuth);
        s.serverSends("334 VXNlcm5hbWU6\r\n334 UGFzc3dvcmQ6\r\n").serverSends("235 ok\r\n");
        acceptOneMail(s);
        acceptOneMail(s);
        SmtpClient c(s);
        c.setOptions(options(QStringLiteral("u"), true));
        QVERIFY(c.connectToServer());
        QVERIFY(c.sendMail("owner@example.jp", {"taro@example.com"}, kMessage));
        const qsizetype afterFirst = s.written.size();
        QVERIFY(c.sendMail("owner@example.jp", {"taro@example.com"}, kMessage));
        QCOMPARE(s.written.mid(afterFirst), kTransaction);
        QCOMPARE(s.written.count("STARTTLS"), 1);
        QCOMPARE(s.written.count("AUTH LOGIN"), 1);
    }

    void heloWhenEhloRefused()
    {
        FakeMailSocket s;
        s.serverSends(kGreeting).serverSends("502 5.5.2 Error: command not recognized\r\n").serverSends("250 hi\r\n");
        acceptOneMail(s);
        SmtpClient c(s);
        c.setOptions(options(QStringLiteral("user"), true));
        QVERIFY(c.connectToServer());
        QVERIFY(c.capabilities().isEmpty());
        // No STARTTLS and no AUTH offered: the mail goes out as it is, without a word.
        QVERIFY(c.sendMail("owner@example.jp", {"taro@example.com"}, kMessage));
        QCOMPARE(s.written, "EHLO client.local\r\nHELO client.local\r\n" + kTransaction);
    }

    void optionalStepsLeftOut_data()
    {
        QTest::addColumn<QByteArray>("ehlo");
        QTest::addColumn<QString>("user");
        QTest::addColumn<bool>("tls");
        QTest::addColumn<QByteArray>("expected");
        QTest::newRow("tls asked, not offered, no AUTH") << kEhloPlain << "u" << true << QByteArray();
        QTest::newRow("no mechanism known") << QByteArray("250-x\r\n250 AUTH GSSAPI XOAUTH2\r\n") << "u" << false << QByteArray();
        QTest::newRow("no user name") << kEhloAuth << "" << false << QByteArray();
        QTest::newRow("tls off, offered") << kEhloTlsAuth << "" << false << QByteArray();
        QTest::newRow("old AUTH=LOGIN form") << QByteArray("250-x\r\n250 AUTH=LOGIN\r\n") << "u" << false
                                             << QByteArray("AUTH LOGIN\r\ndQ==\r\ncGEnc3M=\r\n");
    }
    void optionalStepsLeftOut()
    {
        QFETCH(QByteArray, ehlo);
        QFETCH(QString, user);
        QFETCH(bool, tls);
        QFETCH(QByteArray, expected);
        FakeMailSocket s;
        s.serverSends(kGreeting).serverSends(ehlo);
        if (!expected.isEmpty())
            s.serverSends("334 a\r\n").serverSends("334 b\r\n").serverSends("235 ok\r\n");
        acceptOneMail(s);
        SmtpClient c(s);
        c.setOptions(options(user, tls));
        QVERIFY(c.connectToServer());
        QVERIFY2(c.sendMail("owner@example.jp", {"taro@example.com"}, kMessage), qPrintable(c.errorString()));
        QCOMPARE(s.written, "EHLO client.local\r\n" + expected + kTransaction);
        QVERIFY(!s.tls);
    }

    // LOGIN when offered; otherwise PLAIN, then CRAM-MD5; the exact bytes of each.
    void authMechanisms_data()
    {
        QTest::addColumn<QByteArray>("ehlo");
        QTest::addColumn<QString>("user");
        QTest::addColumn<QString>("password");
        QTest::addColumn<QList<QByteArray>>("answers");
        QTest::addColumn<QByteArray>("expected");
        const QList<QByteArray> login{"334 VXNlcm5hbWU6\r\n", "334 UGFzc3dvcmQ6\r\n", "235 ok\r\n"};
        QTest::newRow("LOGIN first of all") << QByteArray("250-x\r\n250 AUTH CRAM-MD5 PLAIN LOGIN\r\n") << "u" << "pa'ss"
                                            << login << QByteArray("AUTH LOGIN\r\ndQ==\r\ncGEnc3M=\r\n");
        QTest::newRow("PLAIN without LOGIN") << QByteArray("250-x\r\n250 AUTH PLAIN\r\n") << "u" << "pa'ss"
                                             << QList<QByteArray>{"235 ok\r\n"} << QByteArray("AUTH PLAIN AHUAcGEnc3M=\r\n");
        QTest::newRow("PLAIN before CRAM-MD5") << QByteArray("250-x\r\n250 AUTH CRAM-MD5 PLAIN\r\n") << "tim"
                                               << "tanstaaftanstaaf" << QList<QByteArray>{"235 ok\r\n"}
                                               << QByteArray("AUTH PLAIN AHRpbQB0YW5zdGFhZnRhbnN0YWFm\r\n");
        QTest::newRow("old AUTH=PLAIN form") << QByteArray("250-x\r\n250 AUTH=PLAIN\r\n") << "u" << "pa'ss"
                                             << QList<QByteArray>{"235 ok\r\n"} << QByteArray("AUTH PLAIN AHUAcGEnc3M=\r\n");
        // The example exchange of RFC 2195.
        QTest::newRow("CRAM-MD5 alone") << QByteArray("250-x\r\n250 AUTH CRAM-MD5\r\n") << "tim" << "tanstaaftanstaaf"
                                        << QList<QByteArray>{"334 PDE4OTYuNjk3MTcwOTUyQHBvc3RvZmZpY2UucmVzdG9uLm1jaS5uZXQ+\r\n",
                                                             "235 ok\r\n"}
                                        << QByteArray("AUTH CRAM-MD5\r\ndGltIGI5MTNhNjAyYzdlZGE3YTQ5NWI0ZTZlNzMzNGQzODkw\r\n");
    }
    void authMechanisms()
    {
        QFETCH(QByteArray, ehlo);
        QFETCH(QString, user);
        QFETCH(QString, password);
        QFETCH(QList<QByteArray>, answers);
        QFETCH(QByteArray, expected);
        FakeMailSocket s;
        s.serverSends(kGreeting).serverSends(ehlo);
        for (const QByteArray &a : answers)
            s.serverSends(a);
        acceptOneMail(s);
        SmtpClient c(s);
        SmtpOptions o = options(user);
        o.password = password;
        c.setOptions(o);
        QVERIFY(c.connectToServer());
        QVERIFY2(c.sendMail("owner@example.jp", {"taro@example.com"}, kMessage), qPrintable(c.errorString()));
        QCOMPARE(s.written, "EHLO client.local\r\n" + expected + kTransaction);
    }

    // A server that asks what the exchange does not foresee, or sends a challenge that is not
    // one, gets "*" (the exchange ends) and neither a password, a digest nor a mail.
    void hostileAuthReplies_data()
    {
        QTest::addColumn<QByteArray>("mechanisms");
        QTest::addColumn<QList<QByteArray>>("answers");
        QTest::addColumn<QByteArray>("expected");
        const QByteArray cram = "AUTH CRAM-MD5\r\n*\r\n";
        QTest::newRow("challenge not Base64") << QByteArray("CRAM-MD5") << QList<QByteArray>{"334 <12@x>!\r\n"} << cram;
        QTest::newRow("challenge empty") << QByteArray("CRAM-MD5") << QList<QByteArray>{"334 \r\n"} << cram;
        QTest::newRow("challenge with padding inside") << QByteArray("CRAM-MD5") << QList<QByteArray>{"334 YQ==YQ==\r\n"} << cram;
        QTest::newRow("challenge over the bound")
            << QByteArray("CRAM-MD5")
            << QList<QByteArray>{"334 " + QByteArray(SmtpClient::kMaxChallenge + 4, 'A') + "\r\n"} << cram;
        QTest::newRow("challenge on two lines") << QByteArray("CRAM-MD5")
                                                << QList<QByteArray>{"334-PDE4OTY+\r\n334 PDE4OTY+\r\n"} << cram;
        QTest::newRow("PLAIN asked for more") << QByteArray("PLAIN") << QList<QByteArray>{"334 \r\n"}
                                              << QByteArray("AUTH PLAIN AHUAcGEnc3M=\r\n*\r\n");
        QTest::newRow("LOGIN asked a third time") << QByteArray("LOGIN")
                                                  << QList<QByteArray>{"334 VXNlcm5hbWU6\r\n", "334 UGFzc3dvcmQ6\r\n", "334 eA==\r\n"}
                                                  << QByteArray("AUTH LOGIN\r\ndQ==\r\ncGEnc3M=\r\n*\r\n");
    }
    void hostileAuthReplies()
    {
        QFETCH(QByteArray, mechanisms);
        QFETCH(QList<QByteArray>, answers);
        QFETCH(QByteArray, expected);
        FakeMailSocket s;
        s.serverSends(kGreeting).serverSends("250-x\r\n250 AUTH " + mechanisms + "\r\n");
        for (const QByteArray &a : answers)
            s.serverSends(a);
        s.serverSends("501 5.7.0 cancelled\r\n");
        SmtpClient c(s);
        c.setOptions(options(QStringLiteral("u")));
        QVERIFY(c.connectToServer());
        QVERIFY(!c.sendMail("owner@example.jp", {"taro@example.com"}, kMessage));
        QVERIFY(!c.errorString().isEmpty());
        QCOMPARE(s.written, "EHLO client.local\r\n" + expected);
        QCOMPARE(s.pendingChunks(), 0);
    }

    // Asked for TLS, a server without STARTTLS still gets a mail that needs no login, but
    // never the password in clear text; asked for a verified server, it gets nothing at all.
    void noPasswordWithoutTheTlsAskedFor_data()
    {
        QTest::addColumn<bool>("verify");
        QTest::addColumn<QByteArray>("ehlo");
        QTest::addColumn<QByteArray>("expected");
        QTest::addColumn<bool>("connected");
        QTest::newRow("LOGIN offered") << false << kEhloAuth << QByteArray() << true;
        QTest::newRow("PLAIN offered") << false << QByteArray("250-x\r\n250 AUTH PLAIN\r\n") << QByteArray() << true;
        QTest::newRow("verification asked") << true << kEhloAuth << QByteArray() << false;
    }
    void noPasswordWithoutTheTlsAskedFor()
    {
        QFETCH(bool, verify);
        QFETCH(QByteArray, ehlo);
        QFETCH(QByteArray, expected);
        QFETCH(bool, connected);
        FakeMailSocket s;
        s.serverSends(kGreeting).serverSends(ehlo);
        SmtpClient c(s);
        SmtpOptions o = options(QStringLiteral("u"), true);
        o.verifyCertificate = verify;
        c.setOptions(o);
        QVERIFY(c.connectToServer());
        const SmtpTransaction t = c.transact("owner@example.jp", {"taro@example.com"}, kMessage);
        QVERIFY(t.session);
        QVERIFY(c.errorString().contains(QStringLiteral("STARTTLS")));
        QCOMPARE(s.written, "EHLO client.local\r\n" + expected);
        QVERIFY(!s.written.contains("cGEnc3M="));
        QCOMPARE(s.isConnected(), connected);
    }

    // SMTPS: the handshake comes before the greeting, STARTTLS is never sent even when
    // offered, and the password goes over the encrypted connection.
    void implicitTls()
    {
        FakeMailSocket s;
        s.serverSends(kGreeting).serverSends(kEhloTlsAuth);
        s.serverSends("334 a\r\n").serverSends("334 b\r\n").serverSends("235 ok\r\n");
        acceptOneMail(s);
        SmtpClient c(s);
        SmtpOptions o = options(QStringLiteral("u"), true);
        o.implicitTls = true;
        o.port = 465;
        c.setOptions(o);
        QVERIFY(c.connectToServer());
        QVERIFY(s.lastTls.implicit);
        QVERIFY(!s.lastTls.verify);
        QVERIFY2(c.sendMail("owner@example.jp", {"taro@example.com"}, kMessage), qPrintable(c.errorString()));
        QCOMPARE(s.written, "[TLS]EHLO client.local\r\nAUTH LOGIN\r\ndQ==\r\ncGEnc3M=\r\n" + kTransaction);
        QVERIFY(c.tlsReport().encrypted);
        QCOMPARE(c.tlsReport().peerName, QStringLiteral("mail.example.jp"));
    }

    // With verification on, a certificate with faults ends the connection before a word is
    // said under it, and the reason names the fault; off, the mail goes and the report tells.
    void certificateVerification_data()
    {
        QTest::addColumn<bool>("implicit");
        QTest::addColumn<bool>("verify");
        QTest::addColumn<bool>("sent");
        QTest::newRow("SMTPS, verified") << true << true << false;
        QTest::newRow("SMTPS, not verified") << true << false << true;
        QTest::newRow("STARTTLS, verified") << false << true << false;
        QTest::newRow("STARTTLS, not verified") << false << false << true;
    }
    void certificateVerification()
    {
        QFETCH(bool, implicit);
        QFETCH(bool, verify);
        QFETCH(bool, sent);
        FakeMailSocket s;
        s.certificateErrors = QStringList{QStringLiteral("自己署名の証明書です")};
        s.serverSends(kGreeting).serverSends(kEhloTlsAuth);
        if (!implicit)
            s.serverSends("220 go ahead\r\n").serverSends(kEhloTlsAuth);
        s.serverSends("334 a\r\n").serverSends("334 b\r\n").serverSends("235 ok\r\n");
        acceptOneMail(s);
        SmtpClient c(s);
        SmtpOptions o = options(QStringLiteral("u"), true);
        o.implicitTls = implicit;
        o.verifyCertificate = verify;
        c.setOptions(o);
        const QString reason = QStringLiteral("サーバの証明書を検証できません（名前: mail.example.jp）: 自己署名の証明書です");
        if (implicit && verify) {
            QVERIFY(!c.connectToServer());
            QCOMPARE(c.errorString(), reason);
            QVERIFY(s.written == "[TLS]");
            return;
        }
        QVERIFY(c.connectToServer());
        QCOMPARE(c.sendMail("owner@example.jp", {"taro@example.com"}, kMessage), sent);
        QCOMPARE(s.lastTls.verify, verify);
        if (!sent) {
            QCOMPARE(c.errorString(), reason);
            QVERIFY(!s.written.contains("AUTH"));
            QVERIFY(!s.isConnected());
            return;
        }
        QVERIFY(s.written.contains("AUTH LOGIN"));
        QVERIFY(c.tlsReport().encrypted);
        QVERIFY(!c.tlsReport().verified);
        QCOMPARE(c.tlsReport().errors, QStringList{QStringLiteral("自己署名の証明書です")});
    }

    // A recipient the server refuses is left out; the others still get the mail, and the
    // call tells of the refusal.
    void rejectedRecipientLeftOutOfTheBatch()
    {
        FakeMailSocket s;
        s.serverSends(kGreeting).serverSends(kEhloPlain);
        s.serverSends("250 ok\r\n").serverSends("250 ok\r\n").serverSends("250 ok\r\n");
        s.serverSends("550 5.1.1 <bad@example.com>: Recipient address rejected\r\n").serverSends("250 ok\r\n");
        s.serverSends("354 go\r\n").serverSends("250 queued\r\n");
        acceptOneMail(s);
        SmtpClient c(s);
        c.setOptions(options());
        QVERIFY(c.connectToServer());
        const SmtpTransaction t = c.transact("owner@example.jp", {"a@example.com", "bad@example.com", "c@example.com"}, kMessage);
        QVERIFY(t.accepted());
        QCOMPARE(t.recipients.size(), 3);
        QVERIFY(t.recipients.at(0).accepted() && t.recipients.at(2).accepted());
        QCOMPARE(t.recipients.at(1).code, 550);
        QCOMPARE(t.recipients.at(1).reply, QStringLiteral("550 5.1.1 <bad@example.com>: Recipient address rejected"));
        QVERIFY(s.written.startsWith("EHLO client.local\r\nRSET\r\nMAIL FROM: <owner@example.jp>\r\n"
                                     "RCPT TO:<a@example.com>\r\nRCPT TO:<bad@example.com>\r\nRCPT TO:<c@example.com>\r\n"
                                     "DATA\r\n"));
        // The connection is still good for the next mail.
        QVERIFY(c.sendMail("owner@example.jp", {"taro@example.com"}, kMessage));
    }

    void pipelinedEnvelope()
    {
        FakeMailSocket s;
        s.serverSends(kGreeting).serverSends("250-x\r\n250 PIPELINING\r\n");
        s.serverSends("250 ok\r\n250 ok\r\n250 ok\r\n").serverSends("250 ok\r\n");
        s.serverSends("354 go\r\n").serverSends("250 queued\r\n");
        s.serverSends("250 ok\r\n250 ok\r\n550 no\r\n").serverSends("550 no\r\n").serverSends("250 reset\r\n");
        SmtpClient c(s);
        c.setOptions(options());
        QList<QByteArray> traffic;
        c.setTrafficLog([&](const QByteArray &b) { traffic += b; });
        QVERIFY(c.connectToServer());
        QVERIFY(c.sendMail("owner@example.jp", {"a@example.com", "b@example.com"}, "x\r\n"));
        QCOMPARE(s.written, QByteArray("EHLO client.local\r\n"
                                       "RSET\r\nMAIL FROM: <owner@example.jp>\r\nRCPT TO:<a@example.com>\r\n"
                                       "RCPT TO:<b@example.com>\r\n"
                                       "DATA\r\nx\r\n.\r\n"));
        QCOMPARE(traffic.at(3), QByteArray("RSET\r\nMAIL FROM: <owner@example.jp>\r\nRCPT TO:<a@example.com>\r\n"
                                           "RCPT TO:<b@example.com>\r\n"));
        // Every recipient refused: every answer is read, no DATA, RSET, and the session stays
        // in step.
        const qsizetype before = s.written.size();
        QVERIFY(!c.sendMail("owner@example.jp", {"a@example.com", "bad@example.com"}, "x\r\n"));
        QCOMPARE(c.errorString(), QStringLiteral("550 no"));
        QVERIFY(s.written.mid(before).endsWith("RCPT TO:<bad@example.com>\r\nRSET\r\n"));
        QVERIFY(!s.written.mid(before).contains("DATA"));
        QCOMPARE(s.pendingChunks(), 0);
        QVERIFY(c.isConnected());
    }

    void refusalsAtEachStep_data()
    {
        QTest::addColumn<int>("okReplies");  // replies before the refusal: RSET, MAIL, RCPT, DATA
        QTest::addColumn<QByteArray>("refusal");
        QTest::newRow("MAIL 4xx") << 1 << QByteArray("451 4.3.0 try later\r\n");
        QTest::newRow("DATA 5xx") << 3 << QByteArray("554 5.5.1 no valid recipients\r\n");
        QTest::newRow("end of data") << 4 << QByteArray("552 5.3.4 message too big\r\n");
    }
    void refusalsAtEachStep()
    {
        QFETCH(int, okReplies);
        QFETCH(QByteArray, refusal);
        FakeMailSocket s;
        s.serverSends(kGreeting).serverSends(kEhloPlain);
        for (int i = 0; i < okReplies; ++i)
            s.serverSends(i == 3 ? "354 go\r\n" : "250 ok\r\n");
        s.serverSends(refusal).serverSends("250 reset\r\n");
        SmtpClient c(s);
        c.setOptions(options());
        QVERIFY(c.connectToServer());
        QVERIFY(!c.sendMail("owner@example.jp", {"taro@example.com"}, kMessage));
        QCOMPARE(c.errorString().toUtf8() + "\r\n", refusal);
        QVERIFY(s.written.endsWith("RSET\r\n"));
        QVERIFY(c.isConnected());
        QCOMPARE(s.pendingChunks(), 0);
    }

    void dropInTheMiddleOfData()
    {
        FakeMailSocket s;
        s.serverSends(kGreeting).serverSends(kEhloPlain);
        s.serverSends("250 ok\r\n250 ok\r\n").serverSends("250 ok\r\n").serverSends("354 go\r\n").serverCloses();
        SmtpClient c(s);
        c.setOptions(options());
        QVERIFY(c.connectToServer());
        QVERIFY(!c.sendMail("owner@example.jp", {"taro@example.com"}, kMessage));
        QCOMPARE(c.errorString(), MailSocketText::closedByPeer());
        // Every later mail fails at once, without writing anything.
        const QByteArray before = s.written;
        QVERIFY(!c.sendMail("owner@example.jp", {"taro@example.com"}, kMessage));
        QCOMPARE(c.errorString(), MailSocketText::notConnected());
        QCOMPARE(s.written, before);
    }

    void replyThatNeverComes()
    {
        FakeMailSocket s;
        s.serverSends(kGreeting).serverSends(kEhloPlain).serverSends("250 ok\r\n");
        SmtpClient c(s);
        c.setOptions(options());
        QVERIFY(c.connectToServer());
        QVERIFY(!c.sendMail("owner@example.jp", {"taro@example.com"}, kMessage));
        QVERIFY(s.timedOut);
        QCOMPARE(c.errorString(), MailSocketText::readTimedOut());
        QVERIFY(!c.isConnected());
    }

    void connectFailures_data()
    {
        QTest::addColumn<QByteArray>("script");
        QTest::addColumn<QString>("error");
        QTest::newRow("busy greeting") << QByteArray("421 4.3.2 too busy\r\n") << "421 4.3.2 too busy";
        QTest::newRow("multi-line greeting refused") << QByteArray("554-no\r\n554 not you\r\n") << "554-no 554 not you";
        QTest::newRow("no greeting") << QByteArray() << MailSocketText::readTimedOut();
        QTest::newRow("closed at once") << QByteArray("close") << MailSocketText::closedByPeer();
        // What a server says goes into boxes and logs: its control characters stay inert.
        QTest::newRow("line breaks inside the reply") << QByteArray("554 no\rforged\x01 line\r\n")
                                                      << "554 no\\rforged\\x01 line";
    }
    void connectFailures()
    {
        QFETCH(QByteArray, script);
        QFETCH(QString, error);
        FakeMailSocket s;
        if (script == "close")
            s.serverCloses();
        else if (!script.isEmpty())
            s.serverSends(script);
        SmtpClient c(s);
        c.setOptions(options());
        QVERIFY(!c.connectToServer());
        QCOMPARE(c.errorString(), error);
        QVERIFY(!s.isConnected());
    }

    void refusedConnect()
    {
        FakeMailSocket s;
        s.refuseConnect(QStringLiteral("Connection refused"));
        SmtpClient c(s);
        c.setOptions(options());
        QVERIFY(!c.connectToServer());
        QCOMPARE(c.errorString(), QStringLiteral("Connection refused"));
    }

    void greetingInPieces()
    {
        FakeMailSocket s;
        s.serverSends("220 mail.exa").serverSends("mple.jp ESMTP\r\n250-x\r").serverSends("\n250 SIZE 10\r\n");
        SmtpClient c(s);
        c.setOptions(options());
        QVERIFY(c.connectToServer());
        QCOMPARE(c.capabilities(), QByteArrayList{"SIZE 10"});
    }

    void tlsFailures_data()
    {
        QTest::addColumn<bool>("refuse");
        QTest::addColumn<QString>("error");
        QTest::newRow("STARTTLS refused") << true << "Start SSL negotiation command failed.";
        QTest::newRow("handshake fails") << false << "SSL is not available on this server.";
    }
    void tlsFailures()
    {
        QFETCH(bool, refuse);
        QFETCH(QString, error);
        FakeMailSocket s;
        s.serverSends(kGreeting).serverSends(kEhloTlsAuth);
        s.serverSends(refuse ? "454 4.7.0 TLS not available\r\n" : "220 go ahead\r\n");
        if (!refuse)
            s.failTls();
        SmtpClient c(s);
        c.setOptions(options(QStringLiteral("u"), true));
        QVERIFY(c.connectToServer());
        QVERIFY(!c.sendMail("owner@example.jp", {"taro@example.com"}, kMessage));
        QCOMPARE(c.errorString(), error);
        QVERIFY(!s.isConnected());
        QVERIFY(!s.written.contains("AUTH"));
        QVERIFY(!s.written.contains("MAIL FROM"));
    }

    void failedAuthIsTriedAgainWithTheNextMail()
    {
        FakeMailSocket s;
        s.serverSends(kGreeting).serverSends(kEhloAuth);
        s.serverSends("334 a\r\n").serverSends("334 b\r\n").serverSends("535 5.7.8 Authentication failed\r\n");
        s.serverSends("334 a\r\n").serverSends("334 b\r\n").serverSends("235 ok\r\n");
        acceptOneMail(s);
        SmtpClient c(s);
        c.setOptions(options(QStringLiteral("u")));
        QVERIFY(c.connectToServer());
        QVERIFY(!c.sendMail("owner@example.jp", {"taro@example.com"}, kMessage));
        QCOMPARE(c.errorString(), QStringLiteral("535 5.7.8 Authentication failed"));
        QVERIFY(!s.written.contains("MAIL FROM"));
        QVERIFY(c.sendMail("owner@example.jp", {"taro@example.com"}, kMessage));
        QCOMPARE(s.written.count("AUTH LOGIN\r\n"), 2);
    }

    void lineBreaksInAddressesAreRefused()
    {
        FakeMailSocket s;
        s.serverSends(kGreeting).serverSends(kEhloPlain);
        SmtpClient c(s);
        c.setOptions(options());
        QVERIFY(c.connectToServer());
        const QByteArray before = s.written;
        QVERIFY(!c.sendMail("owner@example.jp", {"a@example.com>\r\nRCPT TO:<evil@example.com"}, kMessage));
        QVERIFY(!c.sendMail("owner@example.jp\nX", {"a@example.com"}, kMessage));
        QCOMPARE(s.written, before);
    }

    // The envelope takes one plain address per argument and nothing else: whatever could
    // add a parameter, a second recipient or a command of its own is refused before a byte
    // of that mail is written, with and without pipelining.
    void envelopeArguments_data()
    {
        QTest::addColumn<QString>("address");
        QTest::addColumn<bool>("plain");
        QTest::newRow("plain") << "taro@example.com" << true;
        QTest::newRow("tag and subdomains") << "a+tag_1@mail.sub.example.co.jp" << true;
        QTest::newRow("apostrophe") << "o'brien@example.jp" << true;
        QTest::newRow("old mobile dots") << "taro..x.@docomo.ne.jp" << true;
        QTest::newRow("one-label host") << "root@localhost" << true;
        QTest::newRow("DSN parameters") << "m2@example.jp> NOTIFY=SUCCESS ORCPT=rfc822;x@example.net" << false;
        QTest::newRow("second recipient") << "a@example.jp>,<b@example.net" << false;
        QTest::newRow("CR LF and a command") << "a@example.com>\r\nRCPT TO:<evil@example.com" << false;
        QTest::newRow("bare LF") << "a@example.com\nX" << false;
        QTest::newRow("NUL") << QStringLiteral("a@example.com") + QChar(0) + "x" << false;
        QTest::newRow("space inside") << "a b@example.jp" << false;
        QTest::newRow("leading space") << " a@example.jp" << false;
        QTest::newRow("trailing space") << "a@example.jp " << false;
        QTest::newRow("in angle brackets") << "<a@example.jp>" << false;
        QTest::newRow("comma list") << "a@example.jp,b@example.jp" << false;
        QTest::newRow("two at signs") << "a@b@example.jp" << false;
        QTest::newRow("quoted local part") << "\"a b\"@example.jp" << false;
        QTest::newRow("full-width letters") << "太郎@example.jp" << false;
        QTest::newRow("semicolon") << "a;b@example.jp" << false;
        QTest::newRow("empty") << "" << false;
        QTest::newRow("no local part") << "@example.jp" << false;
        QTest::newRow("no domain") << "a@" << false;
        QTest::newRow("empty label") << "a@example..jp" << false;
        QTest::newRow("label starts with hyphen") << "a@-example.jp" << false;
        QTest::newRow("address literal") << "a@[127.0.0.1]" << false;
        QTest::newRow("local part over 64") << QString(65, u'a') + "@example.jp" << false;
    }
    void envelopeArguments()
    {
        QFETCH(QString, address);
        QFETCH(bool, plain);
        QCOMPARE(IsPlainAddress(address), plain);
        for (const QByteArray &ehlo : {kEhloPlain, QByteArray("250-x\r\n250 PIPELINING\r\n")}) {
            for (const bool asSender : {false, true}) {
                FakeMailSocket s;
                s.serverSends(kGreeting).serverSends(ehlo);
                if (plain)
                    acceptOneMail(s);
                SmtpClient c(s);
                c.setOptions(options());
                QVERIFY(c.connectToServer());
                const QByteArray before = s.written;
                const QString from = asSender ? address : QStringLiteral("owner@example.jp");
                const QString to = asSender ? QStringLiteral("taro@example.com") : address;
                QCOMPARE(c.sendMail(from, {to}, kMessage), plain);
                if (plain) {
                    QVERIFY(s.written.contains(QByteArray("MAIL FROM: <" + from.toUtf8() + ">\r\nRCPT TO:<" + to.toUtf8() + ">\r\n")));
                } else {
                    QCOMPARE(s.written, before);
                    QVERIFY(c.errorString().startsWith(QStringLiteral("メールアドレスが正しくありません: ")));
                    QVERIFY(!c.errorString().contains(u'\r') && !c.errorString().contains(u'\n'));
                }
            }
        }
    }

    // A reply is bounded in lines and in bytes: a server that never ends one fails the
    // connection with a text, instead of filling the memory until its time-out.
    void replyBounds_data()
    {
        QTest::addColumn<QByteArray>("line");
        QTest::addColumn<int>("lines");
        QTest::addColumn<bool>("ended");
        QTest::addColumn<QString>("error");
        QTest::newRow("512 lines are still a reply") << QByteArray("250-SIZE 1000\r\n") << 511 << true << QString();
        QTest::newRow("lines without end") << QByteArray("250-x\r\n") << 5000 << false << MailSocketText::replyTooLong();
        QTest::newRow("too many lines, then an end") << QByteArray("250-x\r\n") << 600 << true
                                                     << MailSocketText::replyTooLong();
        QTest::newRow("long lines over 64 KiB") << "250-" + QByteArray(1000, 'x') + "\r\n" << 200 << false
                                                << MailSocketText::replyTooLong();
    }
    void replyBounds()
    {
        QFETCH(QByteArray, line);
        QFETCH(int, lines);
        QFETCH(bool, ended);
        QFETCH(QString, error);
        FakeMailSocket s;
        s.serverSends(kGreeting);
        for (int i = 0; i < lines; i += 100)
            s.serverSends(line.repeated(qMin(100, lines - i)));
        if (ended)
            s.serverSends("250 HELP\r\n");
        SmtpClient c(s);
        c.setOptions(options());
        QCOMPARE(c.connectToServer(), error.isEmpty());
        QCOMPARE(c.errorString(), error);
        if (!error.isEmpty()) {
            QVERIFY(!s.isConnected());
            QVERIFY(s.pendingChunks() > 0);  // it stopped reading at the bound
        } else {
            QCOMPARE(c.capabilities().size(), lines);
        }
    }

    void endlessAnswerToMailFailsTheMail()
    {
        FakeMailSocket s;
        s.serverSends(kGreeting).serverSends(kEhloPlain).serverSends("250 2.0.0 Ok\r\n");
        for (int i = 0; i < 50; ++i)
            s.serverSends(QByteArray("250-queued\r\n").repeated(100));
        SmtpClient c(s);
        c.setOptions(options());
        QVERIFY(c.connectToServer());
        QVERIFY(!c.sendMail("owner@example.jp", {"taro@example.com"}, kMessage));
        QCOMPARE(c.errorString(), MailSocketText::replyTooLong());
        QVERIFY(!c.isConnected());
        QVERIFY(!s.written.contains("RCPT"));
    }

    void dotStuffing_data()
    {
        QTest::addColumn<QByteArray>("message");
        QTest::addColumn<QByteArray>("data");
        QTest::newRow("plain") << QByteArray("a\r\nb\r\n") << QByteArray("a\r\nb\r\n.\r\n");
        QTest::newRow("no final break") << QByteArray("a\r\nb") << QByteArray("a\r\nb\r\n.\r\n");
        QTest::newRow("leading dots") << QByteArray(".\r\n..x\r\n") << QByteArray("..\r\n...x\r\n.\r\n");
        QTest::newRow("dot after bare LF") << QByteArray("a\n.b\n") << QByteArray("a\r\n..b\r\n.\r\n");
        QTest::newRow("dot inside a line") << QByteArray("a.b\r\n") << QByteArray("a.b\r\n.\r\n");
        QTest::newRow("first line is a dot") << QByteArray(".") << QByteArray("..\r\n.\r\n");
        QTest::newRow("empty") << QByteArray() << QByteArray(".\r\n");
    }
    void dotStuffing()
    {
        QFETCH(QByteArray, message);
        QFETCH(QByteArray, data);
        QCOMPARE(SmtpClient::dataBlock(message), data);
    }
};

QTEST_GUILESS_MAIN(TestMailSmtp)
#include "tst_mail_smtp.moc"

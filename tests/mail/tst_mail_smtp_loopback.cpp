// The SMTP session over real sockets against aiosmtpd on loopback: STARTTLS and TLS from
// the first byte, AUTH LOGIN, PLAIN and CRAM-MD5, the certificate check, refusals, and
// servers that are not there or never answer.
#include "fakes/MailServers.h"
#include "mail/MailSocket.h"
#include "mail/SmtpClient.h"

#include <QElapsedTimer>
#include <QFile>
#include <QJsonObject>
#include <QtTest>

namespace {
// The resident memory of this process, from /proc.
qint64 residentBytes()
{
    QFile f(QStringLiteral("/proc/self/status"));
    if (!f.open(QIODevice::ReadOnly))
        return -1;
    for (const QByteArray &line : f.readAll().split('\n'))
        if (line.startsWith("VmRSS:"))
            return line.mid(6).trimmed().split(' ').value(0).toLongLong() * 1024;
    return -1;
}

const QByteArray kMessage = "From: owner@example.jp\r\nTo: taro@example.com\r\nSubject: hello\r\n\r\nline\r\n.dot\r\n";

SmtpOptions optionsFor(quint16 port, const QString &user = {}, const QString &password = {}, bool tls = false)
{
    SmtpOptions o;
    o.host = QStringLiteral("127.0.0.1");
    o.port = port;
    o.user = user;
    o.password = password;
    o.startTls = tls;
    o.connectTimeoutMs = 5000;
    o.replyTimeoutMs = 10000;
    return o;
}
} // namespace

class TestMailSmtpLoopback : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void starttlsAndAuthLogin()
    {
        SmtpTestServer server;
        QVERIFY2(server.start(), qPrintable(server.error()));
        auto socket = makeTcpMailSocket();
        SmtpClient c(*socket);
        c.setOptions(optionsFor(server.port(), QStringLiteral("user@example.jp"), QStringLiteral("pass'word"), true));
        QVERIFY2(c.connectToServer(), qPrintable(c.errorString()));
        QVERIFY(c.hasCapability("STARTTLS"));
        QVERIFY2(c.sendMail("owner@example.jp", {"taro@example.com"}, kMessage), qPrintable(c.errorString()));
        QVERIFY2(c.sendMail("owner@example.jp", {"hanako@example.com"}, kMessage), qPrintable(c.errorString()));
        c.quit();
        QVERIFY(server.waitFor(2));
        const auto got = server.received();
        QCOMPARE(got.size(), 2);
        QCOMPARE(got[0].from, QStringLiteral("owner@example.jp"));
        QCOMPARE(got[0].to, QStringList{"taro@example.com"});
        QVERIFY(got[0].tls);
        QCOMPARE(got[0].authUser, QStringLiteral("user@example.jp"));
        QCOMPARE(got[1].to, QStringList{"hanako@example.com"});
        QFile f(got[0].path);
        QVERIFY(f.open(QIODevice::ReadOnly));
        // Dot-stuffing is undone by the server: the text arrives as written.
        QVERIFY(f.readAll().endsWith("\r\nline\r\n.dot\r\n"));
    }

    void wrongPasswordFailsTheMail()
    {
        SmtpTestServer server;
        QVERIFY2(server.start(), qPrintable(server.error()));
        auto socket = makeTcpMailSocket();
        SmtpClient c(*socket);
        c.setOptions(optionsFor(server.port(), QStringLiteral("user@example.jp"), QStringLiteral("wrong"), true));
        QVERIFY(c.connectToServer());
        QVERIFY(!c.sendMail("owner@example.jp", {"taro@example.com"}, kMessage));
        QVERIFY2(c.errorString().startsWith(QStringLiteral("535")), qPrintable(c.errorString()));
        c.quit();
        QVERIFY(server.received().isEmpty());
    }

    // Asked for STARTTLS, a server that does not offer it gets no password in clear text;
    // a mail that needs no login still goes out as it is.
    void tlsAskedButNotOffered()
    {
        SmtpTestServer::Options o;
        o.tls = false;
        SmtpTestServer server;
        QVERIFY2(server.start(o), qPrintable(server.error()));
        auto socket = makeTcpMailSocket();
        SmtpClient c(*socket);
        c.setOptions(optionsFor(server.port(), o.user, o.password, true));
        QVERIFY(c.connectToServer());
        QVERIFY(!c.hasCapability("STARTTLS"));
        QVERIFY(!c.sendMail("owner@example.jp", {"taro@example.com"}, kMessage));
        QVERIFY2(c.errorString().contains(QStringLiteral("STARTTLS")), qPrintable(c.errorString()));
        c.quit();

        auto again = makeTcpMailSocket();
        SmtpClient anonymous(*again);
        anonymous.setOptions(optionsFor(server.port(), QString(), QString(), true));
        QVERIFY(anonymous.connectToServer());
        QVERIFY2(anonymous.sendMail("owner@example.jp", {"taro@example.com"}, kMessage), qPrintable(anonymous.errorString()));
        anonymous.quit();
        QVERIFY(server.waitFor(1));
        QCOMPARE(server.received().size(), 1);
        QVERIFY(!server.received().at(0).tls);
        QVERIFY(server.received().at(0).authUser.isEmpty());
    }

    // Each way in against a server that offers only it: TLS from the first byte or STARTTLS,
    // and LOGIN, PLAIN or CRAM-MD5. The mail arrives, encrypted and logged in.
    void securityAndMechanisms_data()
    {
        QTest::addColumn<bool>("implicit");
        QTest::addColumn<QString>("mechanism");
        QTest::newRow("SMTPS, LOGIN") << true << "LOGIN";
        QTest::newRow("SMTPS, PLAIN") << true << "PLAIN";
        QTest::newRow("STARTTLS, PLAIN") << false << "PLAIN";
        QTest::newRow("STARTTLS, CRAM-MD5") << false << "CRAM-MD5";
    }
    void securityAndMechanisms()
    {
        QFETCH(bool, implicit);
        QFETCH(QString, mechanism);
        SmtpTestServer::Options o;
        o.implicitTls = implicit;
        o.mechanisms = QStringList{mechanism};
        o.authRequired = true;
        SmtpTestServer server;
        QVERIFY2(server.start(o), qPrintable(server.error()));
        auto socket = makeTcpMailSocket();
        SmtpClient c(*socket);
        SmtpOptions options = optionsFor(server.port(), o.user, o.password, !implicit);
        options.implicitTls = implicit;
        c.setOptions(options);
        QVERIFY2(c.connectToServer(), qPrintable(c.errorString()));
        QVERIFY2(c.sendMail("owner@example.jp", {"taro@example.com"}, kMessage), qPrintable(c.errorString()));
        c.quit();
        QVERIFY(server.waitFor(1));
        const auto got = server.received();
        QVERIFY(got.at(0).tls);
        QCOMPARE(got.at(0).authUser, o.user);
        QVERIFY(ReadMail(got.at(0).path)["body"].toString().startsWith(QStringLiteral("line")));
        QVERIFY(c.tlsReport().encrypted);
    }

    // "証明書を検証する": a self-signed certificate (or one made out to another name) is
    // refused before anything is sent, and the reason names what is wrong; unchecked, the
    // mail goes and the report still tells that the certificate did not verify.
    void certificateVerification_data()
    {
        QTest::addColumn<bool>("implicit");
        QTest::addColumn<QString>("certificateName");
        QTest::addColumn<bool>("verify");
        QTest::addColumn<QStringList>("reasons");
        const QString self = QStringLiteral("自己署名の証明書です");
        const QString name = QStringLiteral("証明書の名前がサーバ名と一致しません");
        QTest::newRow("SMTPS, verified") << true << "localhost" << true << QStringList{self};
        QTest::newRow("SMTPS, not verified") << true << "localhost" << false << QStringList{self};
        QTest::newRow("STARTTLS, verified") << false << "localhost" << true << QStringList{self};
        QTest::newRow("STARTTLS, not verified") << false << "localhost" << false << QStringList{self};
        QTest::newRow("SMTPS, other name, verified") << true << "mail.example.jp" << true << QStringList{self, name};
    }
    void certificateVerification()
    {
        QFETCH(bool, implicit);
        QFETCH(QString, certificateName);
        QFETCH(bool, verify);
        QFETCH(QStringList, reasons);
        SmtpTestServer::Options o;
        o.implicitTls = implicit;
        o.certificateName = certificateName;
        SmtpTestServer server;
        QVERIFY2(server.start(o), qPrintable(server.error()));
        auto socket = makeTcpMailSocket();
        SmtpClient c(*socket);
        SmtpOptions options = optionsFor(server.port(), o.user, o.password, !implicit);
        options.host = QStringLiteral("localhost");
        options.implicitTls = implicit;
        options.verifyCertificate = verify;
        c.setOptions(options);
        const bool connected = c.connectToServer();
        const bool sent = connected && c.sendMail("owner@example.jp", {"taro@example.com"}, kMessage);
        const TlsReport report = c.tlsReport();
        QCOMPARE(report.peerName, QStringLiteral("localhost"));
        QVERIFY(!report.verified);
        for (const QString &reason : reasons)
            QVERIFY2(report.errors.contains(reason), qPrintable(report.errors.join(u'|')));
        if (verify) {
            QVERIFY(!sent);
            QCOMPARE(connected, !implicit);
            QVERIFY2(c.errorString().startsWith(QStringLiteral("サーバの証明書を検証できません（名前: localhost）: ")),
                     qPrintable(c.errorString()));
            for (const QString &reason : reasons)
                QVERIFY(c.errorString().contains(reason));
            QVERIFY(!socket->isConnected());
            QTest::qWait(300);
            QVERIFY(server.received().isEmpty());
            return;
        }
        QVERIFY2(sent, qPrintable(c.errorString()));
        QVERIFY(report.encrypted);
        c.quit();
        QVERIFY(server.waitFor(1));
        QVERIFY(server.received().at(0).tls);
    }

    // TLS from the first byte against a server that greets in clear text (a STARTTLS port):
    // the handshake fails at once with a reason, and nothing is sent.
    void implicitTlsAgainstAPlainServer()
    {
        SmtpTestServer server;
        QVERIFY2(server.start(), qPrintable(server.error()));
        auto socket = makeTcpMailSocket();
        SmtpClient c(*socket);
        SmtpOptions o = optionsFor(server.port(), QStringLiteral("user@example.jp"), QStringLiteral("pass'word"));
        o.implicitTls = true;
        c.setOptions(o);
        QElapsedTimer t;
        t.start();
        QVERIFY(!c.connectToServer());
        QVERIFY(t.elapsed() < 4000);
        QVERIFY2(c.errorString().startsWith(MailSocketText::handshakeFailed() + " ("), qPrintable(c.errorString()));
        QVERIFY(!c.tlsReport().encrypted);
        QVERIFY(server.received().isEmpty());
    }

    // A refused recipient is left out; the others get the mail.
    void rejectedRecipientLeftOutOfTheBatch()
    {
        SmtpTestServer::Options o;
        o.reject = {QStringLiteral("bad")};
        SmtpTestServer server;
        QVERIFY2(server.start(o), qPrintable(server.error()));
        auto socket = makeTcpMailSocket();
        SmtpClient c(*socket);
        c.setOptions(optionsFor(server.port()));
        QVERIFY(c.connectToServer());
        QVERIFY(!c.sendMail("owner@example.jp", {"a@example.com", "bad@example.com", "c@example.com"}, kMessage));
        QCOMPARE(c.errorString(), QStringLiteral("550 5.1.1 <bad@example.com>: Recipient address rejected"));
        c.quit();
        QVERIFY(server.waitFor(1));
        QCOMPARE(server.received().size(), 1);
        QCOMPARE(server.received().at(0).to, (QStringList{"a@example.com", "c@example.com"}));
    }

    void serverThatNeverAnswers()
    {
        SilentServer silent;
        auto socket = makeTcpMailSocket();
        SmtpClient c(*socket);
        SmtpOptions o = optionsFor(silent.port());
        o.replyTimeoutMs = 800;
        c.setOptions(o);
        QElapsedTimer t;
        t.start();
        QVERIFY(!c.connectToServer());
        QCOMPARE(c.errorString(), MailSocketText::readTimedOut());
        QVERIFY(t.elapsed() >= 700);
        QVERIFY(t.elapsed() < 5000);
    }

    // A server whose EHLO answer never ends: the session gives up at the reply's bound, at
    // once and without the memory growing, long before the reply's deadline.
    void endlessReplyIsCutAtItsBound()
    {
        HostileSmtpServer hostile;
        QVERIFY2(hostile.startEndless(), qPrintable(hostile.error()));
        auto socket = makeTcpMailSocket();
        SmtpClient c(*socket);
        SmtpOptions o = optionsFor(hostile.port());
        o.replyTimeoutMs = 20000;
        c.setOptions(o);
        const qint64 before = residentBytes();
        QElapsedTimer t;
        t.start();
        QVERIFY(!c.connectToServer());
        QCOMPARE(c.errorString(), MailSocketText::replyTooLong());
        QVERIFY2(t.elapsed() < 10000, qPrintable(QString::number(t.elapsed())));
        const qint64 grown = residentBytes() - before;
        QVERIFY2(grown < 32 * 1024 * 1024, qPrintable(QString::number(grown)));
        QVERIFY(!c.isConnected());
    }

    // A server that trickles its answer, one line a second, each well within the wait for
    // a line: the whole reply's deadline ends it with the silent server's text.
    void trickledReplyEndsAtTheDeadline()
    {
        HostileSmtpServer hostile;
        QVERIFY2(hostile.startTrickle(1.0, 10), qPrintable(hostile.error()));
        auto socket = makeTcpMailSocket();
        SmtpClient c(*socket);
        SmtpOptions o = optionsFor(hostile.port());
        o.replyTimeoutMs = 2500;
        c.setOptions(o);
        QElapsedTimer t;
        t.start();
        QVERIFY(!c.connectToServer());
        QCOMPARE(c.errorString(), MailSocketText::readTimedOut());
        QVERIFY2(t.elapsed() >= 2400 && t.elapsed() < 6000, qPrintable(QString::number(t.elapsed())));
        QVERIFY(!c.isConnected());
    }

    void nobodyListening()
    {
        auto socket = makeTcpMailSocket();
        SmtpClient c(*socket);
        c.setOptions(optionsFor(FreeLoopbackPort()));
        QVERIFY(!c.connectToServer());
        QVERIFY(!c.errorString().isEmpty());
    }

    void cancelStopsAWaitOnASilentServer()
    {
        SilentServer silent;
        auto socket = makeTcpMailSocket();
        std::atomic<bool> cancel{true};
        socket->setCancelFlag(&cancel);
        SmtpClient c(*socket);
        c.setOptions(optionsFor(silent.port()));
        QElapsedTimer t;
        t.start();
        QVERIFY(!c.connectToServer());
        QCOMPARE(c.errorString(), MailSocketText::cancelled());
        QVERIFY(t.elapsed() < 2000);
    }
};

QTEST_GUILESS_MAIN(TestMailSmtpLoopback)
#include "tst_mail_smtp_loopback.moc"

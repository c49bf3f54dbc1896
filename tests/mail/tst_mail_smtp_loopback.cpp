// The SMTP session over real sockets against aiosmtpd on loopback: STARTTLS, AUTH LOGIN,
// refusals, and servers that are not there or never answer.
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
        QVERIFY2(c.sendMail("owner@example.jp", {"taro@example.com"}, kMessage), qPrintable(c.errorString()));
        c.quit();
        QVERIFY(server.waitFor(1));
        QVERIFY(!server.received().at(0).tls);
        QCOMPARE(server.received().at(0).authUser, o.user);
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

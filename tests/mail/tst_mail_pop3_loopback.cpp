// POP before SMTP against dovecot on loopback, started by the test with its own configuration.
#include "fakes/MailServers.h"
#include "mail/MailSocket.h"
#include "mail/Pop3Client.h"

#include <QtTest>

class TestMailPop3Loopback : public QObject
{
    Q_OBJECT

    Pop3TestServer server;

    Pop3Options options(const QString &password)
    {
        Pop3Options o;
        o.host = QStringLiteral("127.0.0.1");
        o.port = server.port();
        o.user = QStringLiteral("taro");
        o.password = password;
        o.connectTimeoutMs = 5000;
        o.replyTimeoutMs = 10000;
        return o;
    }

private Q_SLOTS:
    void initTestCase() { QVERIFY2(server.start(QStringLiteral("taro"), QStringLiteral("se'cret")), qPrintable(server.error())); }

    void rightPassword()
    {
        auto socket = makeTcpMailSocket();
        QString error;
        QVERIFY2(Pop3LoginLogout(*socket, options(QStringLiteral("se'cret")), &error), qPrintable(error));
        QVERIFY(!socket->isConnected());
        QTRY_VERIFY(server.log().contains(QStringLiteral("Logged out")));
    }

    void wrongPassword()
    {
        auto socket = makeTcpMailSocket();
        QString error;
        QVERIFY(!Pop3LoginLogout(*socket, options(QStringLiteral("wrong")), &error));
        QCOMPARE(error, QStringLiteral("-ERR [AUTH] Authentication failed."));
    }

    void nobodyListening()
    {
        auto socket = makeTcpMailSocket();
        Pop3Options o = options(QStringLiteral("x"));
        o.port = FreeLoopbackPort();
        QString error;
        QVERIFY(!Pop3LoginLogout(*socket, o, &error));
        QVERIFY(!error.isEmpty());
    }
};

QTEST_GUILESS_MAIN(TestMailPop3Loopback)
#include "tst_mail_pop3_loopback.moc"

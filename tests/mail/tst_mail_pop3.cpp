// POP before SMTP against a scripted server: exact bytes and the failures a user sees.
#include "fakes/FakeMailSocket.h"
#include "mail/Pop3Client.h"

#include <QtTest>

namespace {
Pop3Options options()
{
    Pop3Options o;
    o.host = QStringLiteral("pop.example.jp");
    o.port = 110;
    o.user = QStringLiteral("taro");
    o.password = QStringLiteral("se'cret");
    o.connectTimeoutMs = 1000;
    o.replyTimeoutMs = 2000;
    return o;
}
} // namespace

class TestMailPop3 : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void loginAndLogout_data()
    {
        QTest::addColumn<QByteArray>("capa");
        QTest::newRow("capa listed") << QByteArray("+OK Capability list follows\r\nUSER\r\nUIDL\r\n.\r\n");
        QTest::newRow("capa in pieces") << QByteArray("+OK\r\nUSER\r\n.");
        QTest::newRow("capa unknown") << QByteArray("-ERR unknown command\r\n");
    }
    void loginAndLogout()
    {
        QFETCH(QByteArray, capa);
        FakeMailSocket s;
        s.serverSends("+OK Dovecot ready.\r\n").serverSends(capa);
        if (!capa.endsWith('\n'))
            s.serverSends("\r\n");
        s.serverSends("+OK\r\n").serverSends("+OK Logged in.\r\n").serverSends("+OK Logging out.\r\n");
        QString error;
        QVERIFY2(Pop3LoginLogout(s, options(), &error), qPrintable(error));
        QCOMPARE(s.written, QByteArray("CAPA\r\nUSER taro\r\nPASS se'cret\r\nQUIT\r\n"));
        QCOMPARE(s.host, QStringLiteral("pop.example.jp"));
        QCOMPARE(s.port, quint16(110));
        QVERIFY(!s.isConnected());
        QVERIFY(!s.tls);
        QCOMPARE(s.pendingChunks(), 0);
    }

    void failures_data()
    {
        QTest::addColumn<QList<QByteArray>>("script");
        QTest::addColumn<QString>("error");
        QTest::addColumn<QByteArray>("written");
        const QByteArray capa = "+OK\r\n.\r\n";
        QTest::newRow("wrong password")
            << QList<QByteArray>{"+OK hi\r\n", capa, "+OK\r\n", "-ERR [AUTH] Authentication failed.\r\n"}
            << "-ERR [AUTH] Authentication failed." << QByteArray("CAPA\r\nUSER taro\r\nPASS se'cret\r\nQUIT\r\n");
        QTest::newRow("unknown user") << QList<QByteArray>{"+OK hi\r\n", capa, "-ERR no such user\r\n"}
                                      << "-ERR no such user" << QByteArray("CAPA\r\nUSER taro\r\nQUIT\r\n");
        QTest::newRow("refusing greeting") << QList<QByteArray>{"-ERR go away\r\n"} << "-ERR go away"
                                           << QByteArray("QUIT\r\n");
        QTest::newRow("silent server") << QList<QByteArray>{} << MailSocketText::readTimedOut() << QByteArray("QUIT\r\n");
        QTest::newRow("closed after USER") << QList<QByteArray>{"+OK hi\r\n", capa, "close"} << MailSocketText::closedByPeer()
                                           << QByteArray("CAPA\r\nUSER taro\r\n");
    }
    void failures()
    {
        QFETCH(QList<QByteArray>, script);
        QFETCH(QString, error);
        QFETCH(QByteArray, written);
        FakeMailSocket s;
        for (const QByteArray &chunk : script)
            chunk == "close" ? s.serverCloses() : s.serverSends(chunk);
        QString why;
        QVERIFY(!Pop3LoginLogout(s, options(), &why));
        QCOMPARE(why, error);
        QCOMPARE(s.written, written);
        QVERIFY(!s.isConnected());
    }

    void refusedConnect()
    {
        FakeMailSocket s;
        s.refuseConnect(QStringLiteral("Connection refused"));
        QString why;
        QVERIFY(!Pop3LoginLogout(s, options(), &why));
        QCOMPARE(why, QStringLiteral("Connection refused"));
    }

    void lineBreakInPasswordIsRefused()
    {
        FakeMailSocket s;
        Pop3Options o = options();
        o.password = QStringLiteral("x\r\nDELE 1");
        QString why;
        QVERIFY(!Pop3LoginLogout(s, o, &why));
        QCOMPARE(s.connects, 0);
    }
};

QTEST_GUILESS_MAIN(TestMailPop3)
#include "tst_mail_pop3.moc"

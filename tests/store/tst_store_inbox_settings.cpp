// The inbox's own server settings in their CommonTBL row, beside the SMTP and POP rows, and
// the server a pass over the inbox uses: its own, or the POP row's.
#include "fakes/TestEnv.h"
#include "mail/InboxProcess.h"
#include "store/Database.h"
#include "store/InboxSettings.h"
#include "store/ServerSettings.h"

#include <QtTest>

class TestStoreInboxSettings : public QObject
{
    Q_OBJECT

    std::unique_ptr<TestEnv> env;

private Q_SLOTS:
    void init()
    {
        env = std::make_unique<TestEnv>();
        env->openStore();
    }
    void cleanup() { env.reset(); }

    void roundTrip_data()
    {
        QTest::addColumn<InboxSettings>("settings");
        InboxSettings own{true, QStringLiteral("pop.example.jp"), 995, QStringLiteral("news"), QStringLiteral("pa'ss\"; --"), 2};
        QTest::newRow("own, implicit TLS") << own;
        InboxSettings odd{false, QStringLiteral("h"), 110, QStringLiteral("ユーザ\n"), QString(), 1};
        QTest::newRow("POP row, STLS, odd texts") << odd;
        InboxSettings imap{true, QStringLiteral("imap.example.jp"), 993, QStringLiteral("news"), QStringLiteral("x"), 2,
                           1, 30, QStringLiteral("受信箱/返信"), QStringLiteral("処理済み'; --")};
        QTest::newRow("IMAP, folders, days") << imap;
    }
    void roundTrip()
    {
        QFETCH(InboxSettings, settings);
        ServerSettings server;
        server.SmtpHost = QStringLiteral("smtp.example.jp");
        server.SmtpPort = 25;
        ServerSettings::save(server);
        InboxSettings::save(settings);
        InboxSettings::save(settings);  // an update, not a second row
        QCOMPARE(InboxSettings::load(), settings);
        QCOMPARE(ServerSettings::load(), server);
        Statement s;
        QCOMPARE(s.scalar(QStringLiteral("select count(*) from CommonTBL where key1 = 100 and key2 = 4")), 1);
        QCOMPARE(s.scalar(QStringLiteral("select count(*) from CommonTBL where key1 = 100 and key2 = 5")), 1);
    }

    void missingRowReadsAsDefaults()
    {
        QCOMPARE(InboxSettings::load(), InboxSettings());
    }

    void serverForThePass_data()
    {
        QTest::addColumn<bool>("useOwn");
        QTest::addColumn<bool>("popOn");
        QTest::addColumn<int>("tls");
        QTest::addColumn<QString>("host");  // empty: no server
        QTest::addColumn<int>("port");
        QTest::addColumn<QString>("user");
        QTest::addColumn<bool>("verify");
        QTest::newRow("own") << true << true << 0 << "in.example.jp" << 1110 << "own" << false;
        QTest::newRow("own, implicit TLS, verified") << true << true << 2 << "in.example.jp" << 1110 << "own" << true;
        QTest::newRow("POP row") << false << true << 1 << "pop.example.jp" << 110 << "popuser" << false;
        QTest::newRow("POP row, verified") << false << true << 1 << "pop.example.jp" << 110 << "popuser" << true;
        QTest::newRow("POP row off: none") << false << false << 0 << QString() << 0 << QString() << false;
    }
    void serverForThePass()
    {
        QFETCH(bool, useOwn);
        QFETCH(bool, popOn);
        QFETCH(int, tls);
        QFETCH(QString, host);
        QFETCH(int, port);
        QFETCH(QString, user);
        QFETCH(bool, verify);
        ServerSettings server;
        server.SmtpTls = SmtpSecurity::StartTls;
        server.VerifyCertificate = verify;
        server.PopBeforeSmtp = popOn;
        server.PopHost = QStringLiteral("pop.example.jp");
        server.PopPort = 110;
        server.PopUser = QStringLiteral("popuser");
        server.PopPassword = QStringLiteral("poppass");
        ServerSettings::save(server);
        InboxSettings::save({useOwn, QStringLiteral("in.example.jp"), 1110, QStringLiteral("own"), QStringLiteral("p"), tls});
        QString error;
        const std::optional<InboxOptions> o = InboxOptionsFromStore(&error);
        QCOMPARE(o.has_value(), !host.isEmpty());
        if (!o) {
            QVERIFY(!error.isEmpty());
            return;
        }
        QCOMPARE(o->server.host, host);
        QCOMPARE(int(o->server.port), port);
        QCOMPARE(o->server.user, user);
        QCOMPARE(int(o->server.tls), tls);
        QCOMPARE(o->server.verifyCertificate, verify);
        QCOMPARE(o->protocol, InboxProtocol::Pop3);
    }

    // IMAP and its folders come with the inbox's own server only; the POP row is POP3. The
    // usual port follows the protocol and encryption when none is stored.
    void imapForThePass_data()
    {
        QTest::addColumn<bool>("useOwn");
        QTest::addColumn<int>("port");
        QTest::addColumn<int>("tls");
        QTest::addColumn<int>("protocol");
        QTest::addColumn<int>("expectedPort");
        QTest::newRow("own IMAP") << true << 1143 << 1 << int(InboxProtocol::Imap) << 1143;
        QTest::newRow("own IMAP, no port, clear") << true << 0 << 0 << int(InboxProtocol::Imap) << 143;
        QTest::newRow("own IMAP, no port, TLS") << true << 0 << 2 << int(InboxProtocol::Imap) << 993;
        QTest::newRow("POP row") << false << 0 << 0 << int(InboxProtocol::Pop3) << 110;
    }
    void imapForThePass()
    {
        QFETCH(bool, useOwn);
        QFETCH(int, port);
        QFETCH(int, tls);
        QFETCH(int, protocol);
        QFETCH(int, expectedPort);
        ServerSettings server;
        server.PopBeforeSmtp = true;
        server.PopHost = QStringLiteral("pop.example.jp");
        server.PopPort = 110;
        ServerSettings::save(server);
        InboxSettings::save({useOwn, QStringLiteral("in.example.jp"), port, QStringLiteral("own"), QStringLiteral("p"), tls,
                             1, 14, QStringLiteral("Returns"), QStringLiteral("処理済み")});
        QString error;
        const std::optional<InboxOptions> o = InboxOptionsFromStore(&error);
        QVERIFY2(o.has_value(), qPrintable(error));
        QCOMPARE(int(o->protocol), protocol);
        QCOMPARE(int(o->server.port), expectedPort);
        QCOMPARE(o->folder, useOwn ? QStringLiteral("Returns") : QString());
        QCOMPARE(o->moveTo, useOwn ? QStringLiteral("処理済み") : QString());
        QCOMPARE(o->deleteUnknownAfterDays, 14);
    }
};

QTEST_GUILESS_MAIN(TestStoreInboxSettings)
#include "tst_store_inbox_settings.moc"

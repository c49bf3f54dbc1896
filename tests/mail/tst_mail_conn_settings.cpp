// The mail-server settings without a store or a window: what the connection dialog requires
// before OK, how the settings become the options of the POP3 and SMTP sessions, and the
// session set-up of a delivery over scripted sockets.
#include "fakes/FakeMailSocket.h"
#include "mail/ConnInfo.h"
#include "mail/ConnSettingsCheck.h"

#include <QtTest>

Q_DECLARE_METATYPE(ServerSettings)
Q_DECLARE_METATYPE(ConnSettingsProblem::Field)

namespace {

ServerSettings complete()
{
    ServerSettings s;
    s.SmtpHost = "smtp.example.jp";
    s.SmtpPort = 587;
    s.SmtpAuth = true;
    s.UseSsl = true;
    s.SmtpUser = "taro";
    s.SmtpPassword = "secret";
    s.PopBeforeSmtp = true;
    s.PopHost = "pop.example.jp";
    s.PopPort = 110;
    s.PopUser = "hanako";
    s.PopPassword = "it's";
    return s;
}

} // namespace

class TestMailConnSettings : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void check_data()
    {
        using Field = ConnSettingsProblem::Field;
        QTest::addColumn<ServerSettings>("settings");
        QTest::addColumn<Field>("field");
        QTest::addColumn<QString>("message");

        QTest::newRow("complete") << complete() << Field::None << QString();
        ServerSettings s = complete();
        s.SmtpHost.clear();
        QTest::newRow("no smtp host is fine") << s << Field::None << QString();

        s = complete();
        s.PopUser.clear();
        QTest::newRow("pop user") << s << Field::PopUser << "ユーザ名を入力してください";
        s = complete();
        s.PopPassword.clear();
        QTest::newRow("pop password") << s << Field::PopPassword << "パスワードを入力してください";
        s = complete();
        s.PopHost.clear();
        QTest::newRow("pop server") << s << Field::PopHost << "POPサーバを入力してください";
        s = complete();
        s.PopHost.clear();
        s.PopUser.clear();
        QTest::newRow("pop user before server") << s << Field::PopUser << "ユーザ名を入力してください";
        s = complete();
        s.PopHost.clear();
        s.SmtpUser.clear();
        QTest::newRow("pop before smtp") << s << Field::PopHost << "POPサーバを入力してください";
        s = complete();
        s.PopBeforeSmtp = false;
        s.PopHost.clear();
        s.PopUser.clear();
        s.PopPassword.clear();
        QTest::newRow("pop off needs nothing") << s << Field::None << QString();

        s = complete();
        s.SmtpUser.clear();
        QTest::newRow("smtp user") << s << Field::SmtpUser << "ユーザ名を入力してください";
        s = complete();
        s.SmtpPassword.clear();
        QTest::newRow("smtp password") << s << Field::SmtpPassword << "パスワードを入力してください";
        s = complete();
        s.SmtpAuth = false;
        s.SmtpUser.clear();
        s.SmtpPassword.clear();
        QTest::newRow("auth off needs nothing") << s << Field::None << QString();
    }
    void check()
    {
        QFETCH(ServerSettings, settings);
        QFETCH(ConnSettingsProblem::Field, field);
        QFETCH(QString, message);
        const ConnSettingsProblem problem = CheckConnSettings(settings);
        QCOMPARE(problem.field, field);
        QCOMPARE(problem.message, message);
        QCOMPARE(problem.ok(), field == ConnSettingsProblem::Field::None);
    }

    void sessionOptions_data()
    {
        QTest::addColumn<ServerSettings>("settings");
        QTest::addColumn<QString>("user");
        QTest::addColumn<QString>("password");
        QTest::addColumn<bool>("startTls");
        QTest::addColumn<int>("smtpPort");
        QTest::addColumn<int>("popPort");

        QTest::newRow("auth and ssl") << complete() << "taro" << "secret" << true << 587 << 110;
        ServerSettings s = complete();
        s.SmtpAuth = false;
        QTest::newRow("ssl only with auth") << s << "" << "" << false << 587 << 110;
        s = complete();
        s.UseSsl = false;
        QTest::newRow("auth without ssl") << s << "taro" << "secret" << false << 587 << 110;
        s = complete();
        s.SmtpPort = 70000;
        s.PopPort = -1;
        QTest::newRow("no port") << s << "taro" << "secret" << true << 0 << 0;
        s = complete();
        s.SmtpPort = 65535;
        s.PopPort = 1;
        QTest::newRow("port bounds") << s << "taro" << "secret" << true << 65535 << 1;
    }
    void sessionOptions()
    {
        QFETCH(ServerSettings, settings);
        QFETCH(QString, user);
        QFETCH(QString, password);
        QFETCH(bool, startTls);
        QFETCH(int, smtpPort);
        QFETCH(int, popPort);
        const SmtpOptions o = SmtpOptionsFor(settings);
        QCOMPARE(o.host, settings.SmtpHost);
        QCOMPARE(int(o.port), smtpPort);
        QCOMPARE(o.user, user);
        QCOMPARE(o.password, password);
        QCOMPARE(o.startTls, startTls);
        const Pop3Options p = Pop3OptionsFor(settings);
        QCOMPARE(p.host, settings.PopHost);
        QCOMPARE(int(p.port), popPort);
        QCOMPARE(p.user, settings.PopUser);
        QCOMPARE(p.password, settings.PopPassword);
    }

    // The security row decides when it is there, with or without authentication; without
    // it the SSL flag counts only together with authentication, as it always did. The
    // certificate is checked only on request and only where there is TLS.
    void securityOptions_data()
    {
        QTest::addColumn<ServerSettings>("settings");
        QTest::addColumn<bool>("startTls");
        QTest::addColumn<bool>("implicit");
        QTest::addColumn<bool>("verify");

        QTest::newRow("no row: auth and ssl") << complete() << true << false << false;
        ServerSettings s = complete();
        s.SmtpAuth = false;
        QTest::newRow("no row: ssl without auth") << s << false << false << false;
        s = complete();
        s.VerifyCertificate = true;
        QTest::newRow("no row: verification never") << s << true << false << false;
        s = complete();
        s.SmtpTls = SmtpSecurity::None;
        s.VerifyCertificate = true;
        QTest::newRow("row: none, despite ssl") << s << false << false << false;
        s = complete();
        s.SmtpAuth = false;
        s.UseSsl = false;
        s.SmtpTls = SmtpSecurity::StartTls;
        QTest::newRow("row: STARTTLS without auth") << s << true << false << false;
        s = complete();
        s.SmtpTls = SmtpSecurity::Implicit;
        s.VerifyCertificate = true;
        QTest::newRow("row: SMTPS, verified") << s << false << true << true;
        s.SmtpAuth = false;
        QTest::newRow("row: SMTPS without auth") << s << false << true << true;
    }
    void securityOptions()
    {
        QFETCH(ServerSettings, settings);
        QFETCH(bool, startTls);
        QFETCH(bool, implicit);
        QFETCH(bool, verify);
        const SmtpOptions o = SmtpOptionsFor(settings);
        QCOMPARE(o.startTls, startTls);
        QCOMPARE(o.implicitTls, implicit);
        QCOMPARE(o.verifyCertificate, verify);
        QCOMPARE(o.user.isEmpty(), !settings.SmtpAuth);
    }

    // A delivery's connection is made with the TLS the settings ask for.
    void connectServersUsesTheSecurity()
    {
        ServerSettings settings = complete();
        settings.PopBeforeSmtp = false;
        settings.SmtpTls = SmtpSecurity::Implicit;
        settings.VerifyCertificate = true;
        FakeMailSocket smtpSocket;
        smtpSocket.certificateErrors = QStringList{QStringLiteral("証明書の有効期限が切れています")};
        SmtpClient smtp(smtpSocket);
        QString why;
        QVERIFY(!ConnectServers(smtp, settings, ConnectOptions(), &why));
        QVERIFY(smtpSocket.lastTls.implicit);
        QVERIFY(smtpSocket.lastTls.verify);
        QCOMPARE(why, QStringLiteral("SMTPの接続エラー サーバの証明書を検証できません（名前: smtp.example.jp）: "
                                     "証明書の有効期限が切れています"));
    }

    // POP before SMTP: the POP3 server is logged in to and out of first; a refused login
    // ends the set-up before the SMTP server is contacted.
    void connectServers_data()
    {
        QTest::addColumn<bool>("pop");
        QTest::addColumn<QList<QByteArray>>("popScript");
        QTest::addColumn<bool>("connected");
        QTest::addColumn<QString>("failure");
        QTest::addColumn<int>("smtpConnects");

        const QList<QByteArray> popOk{"+OK hi\r\n", "+OK\r\nUSER\r\n.\r\n", "+OK\r\n", "+OK\r\n", "+OK bye\r\n"};
        QTest::newRow("pop off") << false << QList<QByteArray>() << true << QString() << 1;
        QTest::newRow("pop on") << true << popOk << true << QString() << 1;
        QTest::newRow("pop refused")
            << true << QList<QByteArray>{"+OK hi\r\n", "-ERR no\r\n", "+OK\r\n", "-ERR [AUTH] Authentication failed.\r\n"}
            << false << "Pop3の接続エラー -ERR [AUTH] Authentication failed." << 0;
    }
    void connectServers()
    {
        QFETCH(bool, pop);
        QFETCH(QList<QByteArray>, popScript);
        QFETCH(bool, connected);
        QFETCH(QString, failure);
        QFETCH(int, smtpConnects);

        ServerSettings settings = complete();
        settings.PopBeforeSmtp = pop;
        int popSockets = 0;
        ConnectOptions options;
        options.heloName = "client.example.jp";
        options.socketFactory = [&] {
            ++popSockets;
            auto s = std::make_unique<FakeMailSocket>();
            for (const QByteArray &chunk : popScript)
                s->serverSends(chunk);
            return std::unique_ptr<MailSocket>(std::move(s));
        };
        FakeMailSocket smtpSocket;
        smtpSocket.serverSends("220 hi\r\n").serverSends("250 ok\r\n");
        SmtpClient smtp(smtpSocket);
        QString why;
        QCOMPARE(ConnectServers(smtp, settings, options, &why), connected);
        QCOMPARE(why, failure);
        QCOMPARE(popSockets, pop ? 1 : 0);
        QCOMPARE(smtpSocket.connects, smtpConnects);
        if (smtpConnects) {
            QCOMPARE(smtpSocket.host, QStringLiteral("smtp.example.jp"));
            QCOMPARE(smtpSocket.port, quint16(587));
            QVERIFY(smtpSocket.written.startsWith("EHLO client.example.jp\r\n"));
            QCOMPARE(smtp.options().user, QStringLiteral("taro"));
            QVERIFY(smtp.options().startTls);
        }
    }
};

QTEST_MAIN(TestMailConnSettings)
#include "tst_mail_conn_settings.moc"

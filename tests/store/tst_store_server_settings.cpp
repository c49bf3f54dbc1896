// The mail-server settings rows: what a save writes (values and their types, exactly as the
// rows have always been written), that any text comes back as it went in, how rows an older
// store holds are read, and that a save that fails leaves the rows as they were.
#include "fakes/StoreFixture.h"
#include "fakes/TestEnv.h"
#include "store/Database.h"
#include "store/ServerSettings.h"

#include <QSqlQuery>
#include <QtTest>

Q_DECLARE_METATYPE(ServerSettings)

namespace {

ServerSettings smtpOnly()
{
    ServerSettings r;
    r.SmtpHost = "smtp.example.jp";
    r.SmtpPort = 587;
    r.SmtpAuth = true;
    r.SmtpUser = "taro";
    r.SmtpPassword = "secret";
    return r;
}

ServerSettings withPop(const QString &text)
{
    ServerSettings r = smtpOnly();
    r.SmtpHost = text;
    r.SmtpUser = text;
    r.SmtpPassword = text;
    r.UseSsl = true;
    r.PopBeforeSmtp = true;
    r.PopHost = text;
    r.PopPort = 110;
    r.PopUser = text;
    r.PopPassword = text;
    return r;
}

void sql(const QString &text)
{
    QSqlQuery q(Store::connection());
    QVERIFY2(q.exec(text), qPrintable(text));
}

} // namespace

class TestStoreServerSettings : public QObject
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
        QTest::addColumn<ServerSettings>("settings");
        QTest::newRow("smtp only") << smtpOnly();
        ServerSettings off = smtpOnly();
        off.SmtpAuth = false;
        off.UseSsl = true;  // kept while authentication is off
        QTest::newRow("ssl kept without auth") << off;
        QTest::newRow("empty") << ServerSettings();
        QTest::newRow("quotes") << withPop(QStringLiteral("it's \"quoted\" ''; drop table CommonTBL; --"));
        QTest::newRow("nul") << withPop(QString::fromUtf16(u"pa\u0000ss", 5));
        QTest::newRow("cr lf") << withPop(QStringLiteral("line\r\nnext\rthird\n"));
        QTest::newRow("japanese") << withPop(QStringLiteral("ツバメ便①～"));
        QTest::newRow("40000 chars") << withPop(QString(40000, u'x') + u'\'');
        ServerSettings ports = withPop("h");
        ports.SmtpPort = 65535;
        ports.PopPort = 1;
        QTest::newRow("port bounds") << ports;
    }
    void roundTrip()
    {
        QFETCH(ServerSettings, settings);
        // Inserted the first time, updated in place afterwards: both read back the same.
        ServerSettings::save(settings);
        QCOMPARE(ServerSettings::load(), settings);
        ServerSettings::save(ServerSettings());
        ServerSettings::save(settings);
        ServerSettings::Stored stored;
        QCOMPARE(ServerSettings::load(&stored), settings);
        QVERIFY(stored.smtp);
        QVERIFY(stored.pop);
        QCOMPARE(Statement().scalar("select count(*) from CommonTBL"), 2);
    }

    // The values and types the dialog's statements have always written.
    void storedRows_data()
    {
        QTest::addColumn<ServerSettings>("settings");
        QTest::addColumn<QStringList>("rows");
        ServerSettings first = smtpOnly();
        first.SmtpUser.clear();
        first.SmtpPassword = "pa'ss\"word";
        QTest::newRow("pop off")
            << first
            << QStringList{"100:integer|1:integer|587:integer|1:integer|0:integer|smtp.example.jp:text|:text|pa'ss\"word:text",
                           "100:integer|2:integer|0:integer|0:integer|0:integer|NULL:null|NULL:null|NULL:null"};
        ServerSettings on = smtpOnly();
        on.SmtpAuth = false;
        on.UseSsl = true;
        on.PopBeforeSmtp = true;
        on.PopHost = "pop.example.jp";
        on.PopPort = 110;
        on.PopUser = "hanako";
        on.PopPassword = "";
        QTest::newRow("pop on")
            << on
            << QStringList{"100:integer|1:integer|587:integer|0:integer|1:integer|smtp.example.jp:text|taro:text|secret:text",
                           "100:integer|2:integer|110:integer|1:integer|0:integer|pop.example.jp:text|hanako:text|:text"};
        ServerSettings ignored = smtpOnly();
        ignored.PopHost = "pop.example.jp";
        ignored.PopPort = 110;
        ignored.PopUser = "hanako";
        QTest::newRow("pop fields ignored while off")
            << ignored
            << QStringList{"100:integer|1:integer|587:integer|1:integer|0:integer|smtp.example.jp:text|taro:text|secret:text",
                           "100:integer|2:integer|0:integer|0:integer|0:integer|NULL:null|NULL:null|NULL:null"};
    }
    void storedRows()
    {
        QFETCH(ServerSettings, settings);
        QFETCH(QStringList, rows);
        ServerSettings::save(settings);
        QCOMPARE(StoreFixture::commonRowsWithTypes(), rows);
        // An update writes the same as the insert did.
        sql("update CommonTBL set int1 = 9, str1 = 'x', str2 = NULL where key1 = 100");
        ServerSettings::save(settings);
        QCOMPARE(StoreFixture::commonRowsWithTypes(), rows);
    }

    void updateKeepsOtherRows()
    {
        sql("insert into CommonTBL values(1000,0,0,0,0,'020005','note','a.exe')");
        sql("insert into CommonTBL values(100,2,110,1,7,'pop','u','p')");
        sql("insert into CommonTBL values(100,3,1,2,3,'x','y','z')");
        ServerSettings::save(smtpOnly());
        QCOMPARE(StoreFixture::commonRowsWithTypes(),
                 (QStringList{"100:integer|1:integer|587:integer|1:integer|0:integer|smtp.example.jp:text|taro:text|secret:text",
                              // an update of the POP row leaves int3 as it was
                              "100:integer|2:integer|0:integer|0:integer|7:integer|NULL:null|NULL:null|NULL:null",
                              "100:integer|3:integer|1:integer|2:integer|3:integer|x:text|y:text|z:text",
                              "1000:integer|0:integer|0:integer|0:integer|0:integer|020005:text|note:text|a.exe:text"}));
    }

    // Rows as an older store may hold them read as they always did.
    void olderRows_data()
    {
        QTest::addColumn<QStringList>("inserts");
        QTest::addColumn<ServerSettings>("expected");
        QTest::addColumn<bool>("smtpStored");
        QTest::addColumn<bool>("popStored");

        QTest::newRow("no rows") << QStringList() << ServerSettings() << false << false;
        QTest::newRow("no pop row") << QStringList{"insert into CommonTBL values(100,1,587,1,0,'smtp.example.jp','taro','secret')"}
                                    << smtpOnly() << true << false;
        ServerSettings popOnly;
        popOnly.PopBeforeSmtp = true;
        popOnly.PopHost = "pop.example.jp";
        popOnly.PopPort = 110;
        popOnly.PopUser = "hanako";
        popOnly.PopPassword = "p";
        QTest::newRow("no smtp row") << QStringList{"insert into CommonTBL values(100,2,110,1,0,'pop.example.jp','hanako','p')"}
                                     << popOnly << false << true;
        QTest::newRow("null columns") << QStringList{"insert into CommonTBL (key1,key2) values(100,1)",
                                                     "insert into CommonTBL (key1,key2) values(100,2)"}
                                      << ServerSettings() << true << true;
        ServerSettings flags;
        flags.SmtpAuth = true;
        flags.UseSsl = true;
        flags.PopBeforeSmtp = true;
        QTest::newRow("any value but 0 is on")
            << QStringList{"insert into CommonTBL values(100,1,0,2,-1,NULL,NULL,NULL)",
                           "insert into CommonTBL values(100,2,0,5,0,NULL,NULL,NULL)"}
            << flags << true << true;
        ServerSettings ports;
        ports.SmtpPort = 70000;
        ports.PopPort = -25;
        QTest::newRow("numbers that are no port") << QStringList{"insert into CommonTBL values(100,1,70000,0,0,'','','')",
                                                                 "insert into CommonTBL values(100,2,-25,0,0,'','','')"}
                                                  << ports << true << true;
        QTest::newRow("other rows ignored")
            << QStringList{"insert into CommonTBL values(100,3,25,1,1,'x','y','z')",
                           "insert into CommonTBL values(101,1,25,1,1,'x','y','z')",
                           "insert into CommonTBL values(1000,1,0,0,0,'020005','n','f.exe')"}
            << ServerSettings() << false << false;
        QTest::newRow("the last of two rows counts")
            << QStringList{"insert into CommonTBL values(100,1,25,0,0,'old','a','b')",
                           "insert into CommonTBL values(100,1,587,1,0,'smtp.example.jp','taro','secret')"}
            << smtpOnly() << true << false;
    }
    void olderRows()
    {
        QFETCH(QStringList, inserts);
        QFETCH(ServerSettings, expected);
        QFETCH(bool, smtpStored);
        QFETCH(bool, popStored);
        for (const QString &insert : inserts)
            sql(insert);
        ServerSettings::Stored stored;
        QCOMPARE(ServerSettings::load(&stored), expected);
        QCOMPARE(stored.smtp, smtpStored);
        QCOMPARE(stored.pop, popStored);
    }

    // The security row: read when it is there, written beside the others, and a store
    // without it (or with a choice it does not know) reads as it always did.
    void securityRow_data()
    {
        QTest::addColumn<QStringList>("inserts");
        QTest::addColumn<bool>("stored");
        QTest::addColumn<int>("security");
        QTest::addColumn<bool>("verify");

        const QString smtp = "insert into CommonTBL values(100,1,587,1,1,'smtp.example.jp','taro','secret')";
        const QString noAuth = "insert into CommonTBL values(100,1,587,0,1,'smtp.example.jp','taro','secret')";
        QTest::newRow("old store, auth and ssl") << QStringList{smtp} << false << int(SmtpSecurity::StartTls) << false;
        QTest::newRow("old store, ssl without auth") << QStringList{noAuth} << false << int(SmtpSecurity::None) << false;
        QTest::newRow("none") << QStringList{smtp, "insert into CommonTBL values(100,3,0,0,0,NULL,NULL,NULL)"} << true
                              << int(SmtpSecurity::None) << false;
        QTest::newRow("STARTTLS without auth, verified")
            << QStringList{noAuth, "insert into CommonTBL values(100,3,1,1,0,NULL,NULL,NULL)"} << true
            << int(SmtpSecurity::StartTls) << true;
        QTest::newRow("SMTPS") << QStringList{smtp, "insert into CommonTBL values(100,3,2,0,0,NULL,NULL,NULL)"} << true
                               << int(SmtpSecurity::Implicit) << false;
        QTest::newRow("unknown choice") << QStringList{smtp, "insert into CommonTBL values(100,3,7,1,0,NULL,NULL,NULL)"}
                                        << false << int(SmtpSecurity::StartTls) << false;
        QTest::newRow("null columns") << QStringList{smtp, "insert into CommonTBL (key1,key2) values(100,3)"} << true
                                      << int(SmtpSecurity::None) << false;
    }
    void securityRow()
    {
        QFETCH(QStringList, inserts);
        QFETCH(bool, stored);
        QFETCH(int, security);
        QFETCH(bool, verify);
        for (const QString &insert : inserts)
            sql(insert);
        ServerSettings::Stored rows;
        const ServerSettings s = ServerSettings::load(&rows);
        QCOMPARE(rows.security, stored);
        QCOMPARE(s.SmtpTls.has_value(), stored);
        QCOMPARE(int(s.smtpSecurity()), security);
        QCOMPARE(s.verifyCertificate(), verify);
        QCOMPARE(s.SmtpHost, QStringLiteral("smtp.example.jp"));
    }

    void securityRowRoundTrip()
    {
        ServerSettings s = smtpOnly();
        s.SmtpTls = SmtpSecurity::Implicit;
        s.VerifyCertificate = true;
        s.UseSsl = true;
        ServerSettings::save(s);
        QCOMPARE(StoreFixture::commonRowsWithTypes().last(),
                 QStringLiteral("100:integer|3:integer|2:integer|1:integer|0:integer|NULL:null|NULL:null|NULL:null"));
        QCOMPARE(ServerSettings::load(), s);
        s.SmtpTls = SmtpSecurity::None;
        s.VerifyCertificate = false;
        s.UseSsl = false;
        ServerSettings::save(s);
        ServerSettings::Stored rows;
        QCOMPARE(ServerSettings::load(&rows), s);
        QVERIFY(rows.security);
        QCOMPARE(Statement().scalar("select count(*) from CommonTBL"), 3);
        // Saved without a choice (as a build that knows only the first two rows would), the
        // security row stays as it was.
        ServerSettings older = smtpOnly();
        ServerSettings::save(older);
        QCOMPARE(ServerSettings::load().SmtpTls, std::optional<SmtpSecurity>(SmtpSecurity::None));
    }

    // The security row is written in the same transaction: when it cannot be, the SMTP and
    // POP rows stay as they were too.
    void failedSecurityRowChangesNothing()
    {
        sql("insert into CommonTBL values(100,1,25,0,0,'old','a','b')");
        sql("create trigger refuseSecurity before insert on CommonTBL when new.key2 = 3"
            " begin select raise(abort, 'refused'); end");
        const QStringList rows = StoreFixture::commonRowsWithTypes();
        ServerSettings s = withPop("new");
        s.SmtpTls = SmtpSecurity::Implicit;
        QVERIFY_THROWS_EXCEPTION(StoreError, ServerSettings::save(s));
        QCOMPARE(StoreFixture::commonRowsWithTypes(), rows);
    }

    // Both rows are one transaction: when the POP row cannot be written, the SMTP row is
    // not written either, and the rows stay as they were.
    void failedSaveChangesNothing_data()
    {
        QTest::addColumn<QStringList>("before");
        QTest::newRow("insert") << QStringList();
        QTest::newRow("update") << QStringList{"insert into CommonTBL values(100,1,25,0,0,'old','a','b')",
                                               "insert into CommonTBL values(100,2,0,0,0,NULL,NULL,NULL)"};
    }
    void failedSaveChangesNothing()
    {
        QFETCH(QStringList, before);
        for (const QString &insert : before)
            sql(insert);
        sql("create trigger refusePop before insert on CommonTBL when new.key2 = 2"
            " begin select raise(abort, 'refused'); end");
        sql("create trigger refusePopUpdate before update on CommonTBL when new.key2 = 2"
            " begin select raise(abort, 'refused'); end");
        const QStringList rows = StoreFixture::commonRowsWithTypes();
        QVERIFY_THROWS_EXCEPTION(StoreError, ServerSettings::save(withPop("new")));
        QCOMPARE(StoreFixture::commonRowsWithTypes(), rows);
    }
};

QTEST_MAIN(TestStoreServerSettings)
#include "tst_store_server_settings.moc"

// A magazine's mail settings and the unsubscribe tokens: what is stored and read back, what
// is refused before it could reach a header, that the settings go with their magazine, and
// that only the token the store's key made names a member.
#include "fakes/StoreFixture.h"
#include "fakes/TestEnv.h"
#include "mail/UnsubscribeToken.h"
#include "store/BackupScript.h"
#include "store/Database.h"
#include "store/MagazineMailSettings.h"
#include "store/MagazineSql.h"
#include "store/UnsubscribeKey.h"

#include <QSqlError>
#include <QSqlQuery>
#include <QtTest>

using namespace StoreFixture;

class TestMagazineMailSettings : public QObject
{
    Q_OBJECT
    std::unique_ptr<TestEnv> env;

    static void sql(const QString &text)
    {
        QSqlQuery q(Store::connection());
        QVERIFY2(q.exec(text), qPrintable(text + q.lastError().text()));
    }

private slots:
    void init()
    {
        env = std::make_unique<TestEnv>();
        env->openStore();
    }
    void cleanup() { env.reset(); }

    void roundTripAndDefaults()
    {
        QCOMPARE(MagazineMailSettings::load(1), MagazineMailSettings());
        MagazineMailSettings m;
        m.forceUtf8 = true;
        m.unsubscribeAddress = "stop@example.jp";
        m.unsubscribeUrl = "https://example.jp/stop?list=1";
        m.unsubscribeAction = MagazineMailSettings::UnsubscribeAction::Delete;
        m.bounceLimit = 5;
        m.returnPath = "bounce@example.jp";
        MagazineMailSettings::save(1, m);
        QCOMPARE(MagazineMailSettings::load(1), m);
        QCOMPARE(MagazineMailSettings::load(2), MagazineMailSettings());
    }

    void refused_data()
    {
        QTest::addColumn<QString>("address");
        QTest::addColumn<QString>("url");
        QTest::addColumn<int>("limit");
        QTest::addColumn<bool>("ok");
        QTest::newRow("nothing set") << "" << "" << 3 << true;
        QTest::newRow("address only") << "stop@example.jp" << "" << 3 << true;
        QTest::newRow("header break in address") << "stop@example.jp>\r\nBcc: x@y.jp" << "" << 3 << false;
        QTest::newRow("url without address") << "" << "https://example.jp/u" << 3 << false;
        QTest::newRow("plain http") << "stop@example.jp" << "http://example.jp/u" << 3 << false;
        QTest::newRow("angle bracket in url") << "stop@example.jp" << "https://example.jp/u>x" << 3 << false;
        QTest::newRow("line break in url") << "stop@example.jp" << "https://example.jp/u\r\nX: y" << 3 << false;
        QTest::newRow("blank in url") << "stop@example.jp" << "https://example.jp/a b" << 3 << false;
        QTest::newRow("user info in url") << "stop@example.jp" << "https://me@example.jp/u" << 3 << false;
        QTest::newRow("no bounce limit") << "" << "" << 0 << false;
        QTest::newRow("bounce limit too high") << "" << "" << 101 << false;
    }

    void refused()
    {
        QFETCH(QString, address);
        QFETCH(QString, url);
        QFETCH(int, limit);
        QFETCH(bool, ok);
        MagazineMailSettings m;
        m.unsubscribeAddress = address;
        m.unsubscribeUrl = url;
        m.bounceLimit = limit;
        QCOMPARE(m.problem().isEmpty(), ok);
        if (!ok) {
            QVERIFY_THROWS_EXCEPTION(StoreError, MagazineMailSettings::save(1, m));
            QCOMPARE(Statement().scalar("select count(*) from MagMailSetting"), 0);
        }
        // A row written behind the program's back is read as not set, never passed on.
        QSqlQuery q(Store::connection());
        q.prepare("insert or replace into MagMailSetting (MagIdx, ForceUtf8, UnsubAddress, UnsubUrl, UnsubAction,"
                  " BounceLimit) values(7, 0, ?, ?, 0, ?)");
        q.addBindValue(address);
        q.addBindValue(url);
        q.addBindValue(limit);
        QVERIFY(q.exec());
        const MagazineMailSettings read = MagazineMailSettings::load(7);
        QVERIFY(read.problem().isEmpty());
        if (ok)
            QCOMPARE(read, m);
    }

    // A store whose settings table predates the return path gains the column when opened,
    // and its rows read as before.
    void olderTableGainsTheReturnPath()
    {
        sql("drop table MagMailSetting");
        sql("create table MagMailSetting (MagIdx integer primary key, ForceUtf8 integer not null default 0,"
            " UnsubAddress text, UnsubUrl text, UnsubAction integer not null default 0,"
            " BounceLimit integer not null default 3)");
        sql("insert into MagMailSetting (MagIdx, ForceUtf8, UnsubAddress) values(1, 1, 'stop@example.jp')");
        env->closeStore();
        env->openStore();
        MagazineMailSettings expected;
        expected.forceUtf8 = true;
        expected.unsubscribeAddress = "stop@example.jp";
        QCOMPARE(MagazineMailSettings::load(1), expected);
        expected.returnPath = "bounce@example.jp";
        MagazineMailSettings::save(1, expected);
        QCOMPARE(MagazineMailSettings::load(1), expected);
    }

    void goesWithItsMagazine()
    {
        addMagazine(1, "便り");
        addMagazine(2, "お知らせ");
        MagazineMailSettings m;
        m.forceUtf8 = true;
        MagazineMailSettings::save(1, m);
        MagazineMailSettings::save(2, m);
        MagazineSql::removeWithMembers(1);
        // A magazine added later with the same number starts from the defaults.
        QCOMPARE(MagazineMailSettings::load(1), MagazineMailSettings());
        QCOMPARE(MagazineMailSettings::load(2), m);
    }

    void restoreOfOlderBackupDropsThem()
    {
        MagazineMailSettings m;
        m.forceUtf8 = true;
        MagazineMailSettings::save(1, m);
        const QByteArray key = UnsubscribeKey::load();
        {
            BackupScript::Restore r;
            QVERIFY(r.run("delete from Magzine;"));
            QVERIFY(r.run("insert into Magzine (MagIdx,MagName) values(1,'別の便り');"));
            r.commit();
        }
        QCOMPARE(MagazineMailSettings::load(1), MagazineMailSettings());
        // The key is the store's, not a magazine's: tokens already sent stay valid.
        QCOMPARE(UnsubscribeKey::load(), key);
    }

    void backupCarriesThem()
    {
        MagazineMailSettings m;
        m.unsubscribeAddress = "stop@example.jp";
        m.returnPath = "bounce@example.jp";
        MagazineMailSettings::save(3, m);
        QStringList script;
        BackupScript::write([&](const QString &s) { script << s; });
        sql("delete from MagMailSetting");
        {
            BackupScript::Restore r;
            for (const QString &s : script)
                QVERIFY2(r.run(s), qPrintable(s));
            r.commit();
        }
        QCOMPARE(MagazineMailSettings::load(3), m);
    }

    void keyIsMadeOnceAndKept()
    {
        const QByteArray key = UnsubscribeKey::load();
        QCOMPARE(key.size(), 32);
        QCOMPARE(UnsubscribeKey::load(), key);
        sql("update SendSetting set Value = 'zz' where Name = 'UnsubscribeKey'");
        const QByteArray replaced = UnsubscribeKey::load();
        QCOMPARE(replaced.size(), 32);
        QVERIFY(replaced != key);
    }

    void tokens_data()
    {
        QTest::addColumn<QString>("token");
        QTest::addColumn<bool>("valid");
        const QByteArray key(32, 'k');
        const QString good = UnsubscribeToken::make(key, 12, 3456);
        QString altered = good;
        altered[altered.size() - 1] = altered.back() == u'0' ? u'1' : u'0';
        const QString hash = good.section(u'-', 2);
        QTest::newRow("as made") << good << true;
        QTest::newRow("last hash digit changed") << altered << false;
        QTest::newRow("another member, same hash") << "12-3457-" + hash << false;
        QTest::newRow("another magazine, same hash") << "13-3456-" + hash << false;
        QTest::newRow("made with another key") << UnsubscribeToken::make(QByteArray(32, 'x'), 12, 3456) << false;
        QTest::newRow("upper case") << good.toUpper() << false;
        QTest::newRow("text around it") << "unsubscribe " + good << false;
        QTest::newRow("short hash") << good.chopped(1) << false;
        QTest::newRow("signed number") << "+12-3456-" + hash << false;
        QTest::newRow("empty") << QString() << false;
    }

    void tokens()
    {
        QFETCH(QString, token);
        QFETCH(bool, valid);
        const QByteArray key(32, 'k');
        const auto member = UnsubscribeToken::parse(key, token);
        QCOMPARE(member.has_value(), valid);
        if (valid)
            QCOMPARE(*member, (UnsubscribeToken::Member{12, 3456}));
    }

    void tokenTravelsInMailtoAndQuery()
    {
        const QString token = UnsubscribeToken::make(QByteArray(32, 'k'), 1, 2);
        for (const QChar c : token)
            QVERIFY((c >= u'0' && c <= u'9') || (c >= u'a' && c <= u'f') || c == u'-');
    }
};

QTEST_GUILESS_MAIN(TestMagazineMailSettings)
#include "tst_store_magazine_mail_settings.moc"

// Loading a delivery plan from a real store: what the worker sends, in which mode and to
// whom, before any connection is made.
#include "fakes/StoreFixture.h"
#include "fakes/TestEnv.h"
#include "mail/DeliveryPlan.h"
#include "store/Database.h"

#include <QtTest>

class TestMailDeliveryPlan : public QObject
{
    Q_OBJECT

    std::unique_ptr<TestEnv> env;

    static void exec(const QString &sql) { Statement().exec(sql); }

    static QStringList addresses(DeliveryPlan &p)
    {
        QStringList out;
        DeliveryRecipient r;
        while (p.recipients->next(&r))
            out += r.UserAdrs;
        return out;
    }

private Q_SLOTS:
    void init()
    {
        env = std::make_unique<TestEnv>();
        env->openStore();
        StoreFixture::insert("Magzine", {{"MagIdx", 3}, {"MagName", "mag"}, {"Owner", "ツバメ出版"},
                                         {"Adrs", "o@example.jp"}, {"Atena", "各位"}, {"UseUserName", 0}});
        StoreFixture::insert("MagUser", {{"MagIdx", 3}, {"UserIdx", 100}, {"UserName", "太郎"}, {"UserAdrs", "taro@example.com"},
                                         {"url", "http://x"}, {"Count1", 1234}, {"Count2", QVariant()},
                                         {"UserDate1", "20240305"}});
        StoreFixture::insert("MagUser", {{"MagIdx", 3}, {"UserIdx", 101}, {"UserName", "花子"}, {"UserAdrs", "hanako@example.com"}});
        StoreFixture::insert("MagUser", {{"MagIdx", 9}, {"UserIdx", 100}, {"UserName", "other"}, {"UserAdrs", "other@example.com"}});
        StoreFixture::addRecipient(3, 7, 100, {{"SendComplete", 0}});
        StoreFixture::addRecipient(3, 7, 101, {{"SendComplete", 0}});
    }
    void cleanup() { env.reset(); }

    void readsTheIssueAndStreamsItsRecipients()
    {
        StoreFixture::addIssue(3, 7, {.sendCnt = 2, .title = "件名", .body = "It's \"news\"\r\n", .updateSql = "set flg2 = 1"});
        DeliveryPlan p = LoadDeliveryPlan(3, 7);
        QVERIFY(p.recipients);
        QCOMPARE(p.Owner, QStringLiteral("ツバメ出版"));
        QCOMPARE(p.Adrs, QStringLiteral("o@example.jp"));
        QCOMPARE(p.Atena, QStringLiteral("各位"));
        QCOMPARE(p.Title, QStringLiteral("件名"));
        QCOMPARE(p.Body, QStringLiteral("It's \"news\"\r\n"));
        QCOMPARE(p.UpdateSQL, QStringLiteral("set flg2 = 1"));
        QCOMPARE(p.mode, DeliveryMode::Batch);
        DeliveryRecipient r;
        QVERIFY(p.recipients->next(&r));
        QCOMPARE(r.MagUser, 100);
        QCOMPARE(r.UserAdrs, QStringLiteral("taro@example.com"));
        QCOMPARE(r.values.UserName, QStringLiteral("太郎"));
        QCOMPARE(r.values.url, QStringLiteral("http://x"));
        QCOMPARE(r.values.count1, 1234);
        QCOMPARE(r.values.count2, 0);
        QCOMPARE(r.values.UserDate1, QStringLiteral("20240305"));
        QVERIFY(p.recipients->next(&r));
        QCOMPARE(r.UserAdrs, QStringLiteral("hanako@example.com"));
        QVERIFY(!p.recipients->next(&r));
        QVERIFY(p.recipients->failure().isEmpty());
    }

    void chooseTheMode_data()
    {
        QTest::addColumn<QString>("body");
        QTest::addColumn<int>("useUserName");
        QTest::addColumn<int>("mode");
        QTest::newRow("batch") << "plain" << 0 << int(DeliveryMode::Batch);
        QTest::newRow("individual") << "plain" << 1 << int(DeliveryMode::Individual);
        QTest::newRow("a placeholder wins over batch") << "[url]" << 0 << int(DeliveryMode::Personalised);
    }
    void chooseTheMode()
    {
        QFETCH(QString, body);
        QFETCH(int, useUserName);
        QFETCH(int, mode);
        exec("update Magzine set UseUserName = " + QString::number(useUserName));
        // The bodies have no quotes, so the store's escapes leave them as they are.
        StoreFixture::addIssue(3, 7, {.sendCnt = 2, .title = "t", .body = body});
        QCOMPARE(int(LoadDeliveryPlan(3, 7).mode), mode);
    }

    // Nothing to send: no plan recipients, so no connection is made.
    void nothingToSend_data()
    {
        QTest::addColumn<int>("magIdx");
        QTest::addColumn<int>("magCnt");
        QTest::addColumn<bool>("dropMagazine");
        QTest::newRow("no magazine index") << 0 << 7 << false;
        QTest::newRow("no issue number") << 3 << 0 << false;
        QTest::newRow("no recipient rows") << 3 << 8 << false;
        QTest::newRow("no magazine row") << 3 << 7 << true;
    }
    void nothingToSend()
    {
        QFETCH(int, magIdx);
        QFETCH(int, magCnt);
        QFETCH(bool, dropMagazine);
        if (dropMagazine)
            exec("delete from Magzine where MagIdx = 3");
        QVERIFY(!LoadDeliveryPlan(magIdx, magCnt).recipients);
    }

    // A missing issue row leaves subject, body and update empty; the members still get it.
    void missingIssueRow()
    {
        DeliveryPlan p = LoadDeliveryPlan(3, 7);
        QVERIFY(p.recipients);
        QVERIFY(p.Title.isEmpty() && p.Body.isEmpty() && p.UpdateSQL.isEmpty());
        QCOMPARE(addresses(p), (QStringList{"taro@example.com", "hanako@example.com"}));
    }
};

QTEST_MAIN(TestMailDeliveryPlan)
#include "tst_mail_delivery_plan.moc"

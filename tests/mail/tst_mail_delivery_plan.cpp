// Loading a delivery plan from a real store: what the worker sends, in which mode and to
// whom, before any connection is made.
#include "fakes/TestEnv.h"
#include "mail/DeliveryPlan.h"
#include "store/Database.h"
#include "store/Sql.h"

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
        exec("insert into Magzine (MagIdx, MagName, Owner, Adrs, Atena, UseUserName) values(3,'mag','ツバメ出版','o@example.jp','各位',0)");
        exec("insert into MagUser (MagIdx, UserIdx, UserName, UserAdrs, url, Count1, Count2, UserDate1) "
             "values(3, 100, '太郎', 'taro@example.com', 'http://x', 1234, NULL, '20240305')");
        exec("insert into MagUser (MagIdx, UserIdx, UserName, UserAdrs) values(3, 101, '花子', 'hanako@example.com')");
        exec("insert into MagUser (MagIdx, UserIdx, UserName, UserAdrs) values(9, 100, 'other', 'other@example.com')");
        exec("insert into MagHist (MagIdx, MagCnt, MagUser, SendComplete) values(3, 7, 100, 0)");
        exec("insert into MagHist (MagIdx, MagCnt, MagUser, SendComplete) values(3, 7, 101, 0)");
    }
    void cleanup() { env.reset(); }

    void readsTheIssueAndStreamsItsRecipients()
    {
        exec("insert into MagInfo (MagIdx,MagCnt,AddDate,SendCnt,Condition,Title,Body,UpdateSQL) values(3,7,'',2,'',"
             "'件名'," + Sql::q(Sql::escapeBody(QStringLiteral("It's \"news\"\r\n"))) + ",'set flg2 = 1')");
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
        exec("insert into MagInfo (MagIdx,MagCnt,AddDate,SendCnt,Condition,Title,Body,UpdateSQL) values(3,7,'',2,'','t',"
             + Sql::q(body) + ",'')");
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

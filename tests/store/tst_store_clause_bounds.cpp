// A free condition that would run for ever, make a huge value or fill the disk with the
// engine's temporary files is stopped with a message, in the test run as in the count and
// the recording of an issue; the connection's own settings come back afterwards.
#include "fakes/StoreFixture.h"
#include "fakes/TestEnv.h"
#include "issue/UCondition.h"
#include "store/ClauseBounds.h"
#include "store/Database.h"
#include "store/IssueRecords.h"
#include "store/RecipientQuery.h"

#include <QElapsedTimer>
#include <QRegularExpression>
#include <QtTest>

#include <sqlite3.h>

namespace {

// Counts from 1 without end.
const QString kEndless = QStringLiteral("with recursive c(x) as (select 1 union all select x + 1 from c)");

std::array<QString, 7> names()
{
    return {QStringLiteral("購読"), QStringLiteral("特典"), QStringLiteral("旗3"), QStringLiteral("ポイント"),
            QStringLiteral("回数"), QStringLiteral("誕生日"), QStringLiteral("記念日")};
}

// Well beyond any bound: the test fails on its timeout rather than hanging, and a stop far
// past the bound still shows.
constexpr qint64 kWithinMillis = 15000;

} // namespace

class TestStoreClauseBounds : public QObject
{
    Q_OBJECT

private slots:
    void init()
    {
        m_env = std::make_unique<TestEnv>();
        m_env->openStore();
        StoreFixture::addMagazine(1, QStringLiteral("便り"));
        StoreFixture::insertMany(QStringLiteral("MagUser"), 400, [](int i) {
            return StoreFixture::memberRow(1, i + 1, QStringLiteral("会員%1").arg(i + 1),
                                           QStringLiteral("m%1@example.jp").arg(i + 1), StoreFixture::blankMemberColumns());
        });
    }
    void cleanup() { m_env.reset(); }

    void runawayConditionStopped_data()
    {
        QTest::addColumn<QString>("clause");
        QTest::addColumn<QString>("message"); // a pattern
        QTest::addColumn<bool>("recorded"); // also tried as the recording of an issue
        const QString late = QStringLiteral("秒を超えたため");
        const QString huge = QStringLiteral("MB を超える値");
        // Filling the temporary files races the clock on a busy machine; either bound may stop
        // them first (temporaryStorageBudget shows the budget alone).
        const QString temp = QStringLiteral("一時領域が|秒を超えたため");
        QTest::newRow("recursive with") << QStringLiteral("(%1 select count(*) from c) > 0").arg(kEndless) << late << false;
        QTest::newRow("huge cross join")
            << QStringLiteral("(select count(*) from MagUser a, MagUser b, MagUser c, MagUser d) > 0") << late << false;
        QTest::newRow("randomblob") << QStringLiteral("length(randomblob(1000000000)) > 0") << huge << true;
        QTest::newRow("huge text") << QStringLiteral("length(hex(zeroblob(100000000))) > 0") << huge << true;
        // the engine collects the sub-select's rows in a temporary table before the first member
        QTest::newRow("collected without end")
            << QStringLiteral("U.UserName in (%1 select randomblob(1000000) from c)").arg(kEndless) << temp << true;
        QTest::newRow("sorted without end")
            << QStringLiteral("U.UserIdx in (select x from (%1 select x, randomblob(100000) r from c) order by r)").arg(kEndless)
            << temp << true;
    }
    void runawayConditionStopped()
    {
        QFETCH(QString, clause);
        QFETCH(QString, message);
        QFETCH(bool, recorded);
        const QRegularExpression stopped(message);
        QElapsedTimer clock;

        clock.start();
        QString why;
        QVERIFY(!CheckCondition(clause, names(), &why));
        QVERIFY2(why.contains(stopped), qPrintable(why));
        QVERIFY(why.startsWith(Condition::wrongText()));
        QVERIFY(clock.elapsed() < kWithinMillis);

        const RecipientQuery query = Recipients::matching(1, FreeClause::read(clause));
        clock.restart();
        try {
            CountTargets(query);
            QFAIL("the count ran to its end");
        } catch (const StoreError &e) {
            QVERIFY2(e.text().contains(stopped), qPrintable(e.text()));
        }
        QVERIFY(clock.elapsed() < kWithinMillis);

        if (recorded) {
            IssueRow row;
            row.MagIdx = 1;
            row.Title = QStringLiteral("件名");
            clock.restart();
            try {
                InsertIssue(row, query);
                QFAIL("the issue was recorded");
            } catch (const StoreError &e) {
                QVERIFY2(e.text().contains(stopped), qPrintable(e.text()));
            }
            QVERIFY(clock.elapsed() < kWithinMillis);
            QCOMPARE(Statement().scalar(QStringLiteral("select count(*) from MagInfo")), 0);
            QCOMPARE(Statement().scalar(QStringLiteral("select count(*) from MagHist")), 0);
        }

        // the connection is as it was: the engine's own length limit, and writes go ahead
        QCOMPARE(Statement().scalar(QStringLiteral("select length(zeroblob(300000000))")), 300000000);
        Statement().exec(QStringLiteral("insert into CommonTBL (key1) values (1)"));
    }

    // The deadline is the bounds' own: the statement it stopped runs to its end afterwards.
    void deadlineEndsWithBounds()
    {
        const QString work = QStringLiteral("with recursive c(x) as (select 1 union all select x + 1 from c limit 1000000)"
                                            " select count(*) from c");
        QElapsedTimer clock;
        clock.start();
        try {
            ClauseBounds::run({50, 1024 * 1024, 1024 * 1024}, [&] { return Statement().scalar(work); });
            QFAIL("the deadline did not stop the statement");
        } catch (const StoreError &e) {
            QVERIFY2(e.text().contains(QStringLiteral("秒を超えたため")), qPrintable(e.text()));
        }
        QVERIFY(clock.elapsed() < kWithinMillis);
        QCOMPARE(Statement().scalar(work), 1000000);
    }

    // The budget counts what the temporary files hold: the same sort passes with room for it
    // and stops without.
    void temporaryStorageBudget_data()
    {
        QTest::addColumn<qint64>("bytes");
        QTest::addColumn<bool>("stops");
        QTest::newRow("room") << qint64(256) * 1024 * 1024 << false;
        QTest::newRow("no room") << qint64(4) * 1024 * 1024 << true;
    }
    void temporaryStorageBudget()
    {
        QFETCH(qint64, bytes);
        QFETCH(bool, stops);
        // about 40 MB to sort, well past what the engine sorts in memory
        const QString sort = QStringLiteral("select count(*) from (with recursive c(x) as (select 1 union all select x + 1"
                                            " from c limit 200000) select x, randomblob(200) r from c order by r)");
        try {
            const qint64 n = ClauseBounds::run({60000, bytes, 128 * 1024 * 1024}, [&] { return Statement().scalar(sort); });
            QVERIFY(!stops);
            QCOMPARE(n, 200000);
        } catch (const StoreError &e) {
            QVERIFY2(stops, qPrintable(e.text()));
            QVERIFY2(e.text().contains(QStringLiteral("一時領域が 4 MB を超えた")), qPrintable(e.text()));
        }
        // a budget ends with its bounds
        QCOMPARE(Statement().scalar(sort), 200000);
    }

    // An ordinary condition over every member runs as before.
    void plainConditionPasses()
    {
        QString why;
        QVERIFY2(CheckCondition(QStringLiteral("U.Flg1 = 0 and U.UserName like '会員%'"), names(), &why), qPrintable(why));
        QCOMPARE(CountTargets(Recipients::matching(1, FreeClause::read(QStringLiteral("U.UserIdx % 2 = 0")))), 200);
    }

private:
    std::unique_ptr<TestEnv> m_env;
};

QTEST_GUILESS_MAIN(TestStoreClauseBounds)
#include "tst_store_clause_bounds.moc"

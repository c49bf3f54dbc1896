// The update rows on their own: what a recorded version looks like in the store (values and
// types), and which rows count as installed, waiting and to be fetched, with version texts
// compared as text and any text bound rather than pasted.
#include "fakes/StoreFixture.h"
#include "fakes/TestEnv.h"
#include "store/Database.h"
#include "store/UpdateRows.h"

#include <QtTest>

namespace {

QStringList versions(const QList<UpdateRows::Waiting> &rows)
{
    QStringList out;
    for (const UpdateRows::Waiting &r : rows)
        out += r.version + u'=' + r.fileName;
    out.sort();
    return out;
}

} // namespace

class TestUpdateRows : public QObject
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

    void addWritesTheRowAsBefore()
    {
        UpdateRows::add(0, "020005", "2.0.5 の修正", "Tsubame205.exe");
        UpdateRows::add(1, "020007", QString(), "it's \"odd\".exe");
        QCOMPARE(StoreFixture::commonRowsWithTypes(),
                 (QStringList{"1000:integer|0:integer|0:integer|0:integer|0:integer|020005:text|2.0.5 の修正:text|Tsubame205.exe:text",
                              // an empty note is an empty text, never NULL
                              "1000:integer|1:integer|0:integer|0:integer|0:integer|020007:text|:text|it's \"odd\".exe:text"}));
    }

    void knownIsNewestRowFirst()
    {
        QVERIFY(UpdateRows::known().isEmpty());
        UpdateRows::add(0, "020005", "", "a.exe");
        UpdateRows::add(2, "020004", "", "c.exe");
        UpdateRows::add(1, "020008", "", "b.exe");
        Statement().exec("insert into CommonTBL values(100,9,0,0,0,'999999','','')");
        const QList<UpdateRows::Known> rows = UpdateRows::known();
        QCOMPARE(rows.size(), 3);
        QCOMPARE(rows[0].key2, 2);
        QCOMPARE(rows[0].version, QStringLiteral("020004"));
        QCOMPARE(rows[1].key2, 1);
        QCOMPARE(rows[2].version, QStringLiteral("020005"));
    }

    void installedWaitingAndNewer_data()
    {
        QTest::addColumn<QString>("program");
        QTest::addColumn<qint64>("waiting");
        QTest::addColumn<QStringList>("newer");
        QTest::newRow("2.0.6") << "020006" << qint64(2) << QStringList{"020007=b.exe", "020010=c.exe"};
        QTest::newRow("equal counts as installed") << "020007" << qint64(1) << QStringList{"020010=c.exe"};
        QTest::newRow("compared as text") << "020009" << qint64(1) << QStringList{"020010=c.exe"};
        QTest::newRow("newest") << "020010" << qint64(0) << QStringList();
        QTest::newRow("quote in the version") << "02' or '1'='1" << qint64(3) << QStringList{"020005=a.exe", "020007=b.exe", "020010=c.exe"};
    }
    void installedWaitingAndNewer()
    {
        QFETCH(QString, program);
        QFETCH(qint64, waiting);
        QFETCH(QStringList, newer);
        UpdateRows::add(0, "020005", "", "a.exe");
        UpdateRows::add(1, "020007", "", "b.exe");
        UpdateRows::add(2, "020010", "", "c.exe");
        Statement().exec("insert into CommonTBL values(100,1,25,0,0,'020001','','')");
        QCOMPARE(UpdateRows::countWaiting(), 3);
        UpdateRows::markInstalled(program);
        QCOMPARE(UpdateRows::countWaiting(), waiting);
        QCOMPARE(versions(UpdateRows::waitingNewerThan(program)), newer);
        // Only update rows are marked.
        QCOMPARE(Statement().scalar("select int1 from CommonTBL where key1 = 100"), 25);
    }

    void waitingSkipsInstalledRows()
    {
        UpdateRows::add(0, "020007", "", "b.exe");
        UpdateRows::add(1, "020008", "", "c.exe");
        Statement().exec("update CommonTBL set int1 = 1 where key2 = 0");
        QCOMPARE(versions(UpdateRows::waitingNewerThan("020006")), QStringList{"020008=c.exe"});
    }
};

QTEST_MAIN(TestUpdateRows)
#include "tst_update_rows.moc"

// The engine's plan of each statement that runs against a large store: member and recipient
// rows must be found on an index, never by reading the whole table. A store of a million
// members or of years of recipient rows turns a full read into a wait of many seconds, and
// the plan is chosen the same way on an empty store as on a large one (no statistics are
// gathered), so the plan of an empty store shows the fault.
#include "fakes/TestEnv.h"
#include "store/PreparedStatement.h"
#include "store/Database.h"
#include "store/HistoryRecords.h"
#include "store/MemberSql.h"
#include "store/RecipientQuery.h"

#include <QtTest>

class TestPlans : public QObject
{
    Q_OBJECT

private:
    std::unique_ptr<TestEnv> env;

    // The plan's lines, e.g. "SEARCH U USING INDEX MagUserMagIdx (MagIdx=?)".
    static QStringList planOf(const QString &statement, const QVariantList &values)
    {
        PreparedStatement s(QStringLiteral("explain query plan ") + statement);
        s.bindFrom(0, values);
        s.exec();
        QStringList lines;
        while (s.next())
            lines << s.value(3).toString();
        return lines;
    }

private Q_SLOTS:
    void init()
    {
        env = std::make_unique<TestEnv>();
        env->openStore();
        Statement().exec(MemberSql::chosenTable());
    }
    void cleanup() { env.reset(); }

    void rowsAreFoundOnAnIndex_data()
    {
        QTest::addColumn<QString>("statement");
        QTest::addColumn<QVariantList>("values");
        // the names (tables or their aliases) that must never be read whole
        QTest::addColumn<QStringList>("neverScanned");
        const QStringList members{"U", "MagUser"};
        const QStringList membersAndHistory{"U", "H", "MagUser", "MagHist"};
        const auto count = [](const RecipientQuery &q) { return TargetCountStatement(q); };
        const auto row = [&](const char *name, const RecipientQuery &q, const QStringList &never) {
            QTest::newRow(name) << count(q) << q.values << never;
        };
        row("condition: all", Recipients::all(1), members);
        row("condition: flag on", Recipients::flag(1, MemberColumn::Flg1, true), members);
        row("condition: count at least", Recipients::compare(1, MemberColumn::Count1, Comparison::AtLeast, qint64(5)), members);
        row("condition: date up to", Recipients::compare(1, MemberColumn::UserDate1, Comparison::AtMost, QString("20240101")),
            members);
        row("condition: month and day", Recipients::monthAndDay(1, MemberColumn::UserDate1, "0301"), members);
        row("condition: sent issue", Recipients::sentIssue(1, 3), membersAndHistory);
        row("condition: not sent issue", Recipients::notSentIssue(1, 3), membersAndHistory);
        const QVariantList upTo{1, 1, QString("2024/01/01 23:59:59")};
        QTest::newRow("history: rows to delete") << HistoryRecords::countRowsStatement("MagHist") << upTo
                                                 << QStringList{"H", "MagHist"};
        QTest::newRow("history: delivery rows to delete") << HistoryRecords::countRowsStatement("SendState") << upTo
                                                          << QStringList{"S", "SendState"};
        QTest::newRow("history: delete recipient rows")
            << HistoryRecords::removeRowsStatement("MagHist") << QVariantList{1, 3, 25000} << QStringList{"H", "MagHist"};
        QTest::newRow("history: delete delivery rows")
            << HistoryRecords::removeRowsStatement("SendState") << QVariantList{1, 3, 25000} << QStringList{"S", "SendState"};
        const QStringList deletes = MemberSql::removeStatements();
        QTest::newRow("members: delete chosen") << deletes.value(0) << QVariantList{1} << QStringList{"MagUser"};
        QTest::newRow("members: delete their counts") << deletes.value(1) << QVariantList{1} << QStringList{"MemberBounce"};
    }
    void rowsAreFoundOnAnIndex()
    {
        QFETCH(QString, statement);
        QFETCH(QVariantList, values);
        QFETCH(QStringList, neverScanned);
        const QStringList plan = planOf(statement, values);
        QVERIFY(!plan.isEmpty());
        for (const QString &line : plan) {
            const QStringList words = line.split(u' ');
            const bool fullRead = words.value(0) == QLatin1String("SCAN")
                                  && neverScanned.contains(words.value(1), Qt::CaseInsensitive);
            QVERIFY2(!fullRead, qPrintable(plan.join(QStringLiteral(" | "))));
        }
    }
};

QTEST_MAIN(TestPlans)
#include "tst_store_plans.moc"

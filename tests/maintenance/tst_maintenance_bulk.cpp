// Bulk changes of member flags, counters and dates: the change each command means and what
// the store holds after it.
#include "fakes/StoreFixture.h"
#include "fakes/TestEnv.h"
#include "maintenance/UBulkUpdate.h"
#include "store/Database.h"
#include "store/MemberSql.h"
#include "store/Sql.h"

#include <QtTest>

using namespace BulkUpdate;
using BulkUpdateRecords::Field;
using BulkUpdateRecords::Op;

Q_DECLARE_METATYPE(BulkUpdateRecords::Change)
Q_DECLARE_METATYPE(MemberField)

class TestBulkUpdate : public QObject
{
    Q_OBJECT

private:
    std::unique_ptr<TestEnv> env;

    // Members 1..n of a magazine, counters 1000 + UserIdx, every flag OFF, dates empty.
    static void addMembers(int magIdx, int count, int firstIdx = 1)
    {
        StoreFixture::insertMany(QStringLiteral("MagUser"), count, [&](int n) {
            const int i = firstIdx + n;
            return StoreFixture::memberRow(magIdx, i, QString("member%1").arg(i), QString("m%1@example.jp").arg(i),
                                           StoreFixture::blankMemberColumns()
                                               + StoreFixture::Row{{"Count1", 1000 + i}, {"Count2", 2000 + i}});
        });
    }
    static qint64 field(int magIdx, int userIdx, const QString &column)
    {
        Statement s;
        return s.scalar(QString("select %1 from MagUser where MagIdx = %2 and UserIdx = %3")
                            .arg(column).arg(magIdx).arg(userIdx));
    }
    static QString textField(int magIdx, int userIdx, const QString &column)
    {
        Statement s;
        s.open(QString("select %1 from MagUser where MagIdx = %2 and UserIdx = %3").arg(column).arg(magIdx).arg(userIdx));
        return s.next() ? s.text(0) : QString("<none>");
    }

private Q_SLOTS:
    void init()
    {
        env = std::make_unique<TestEnv>();
        env->openStore();
    }
    void cleanup() { env.reset(); }

    void changes_data()
    {
        QTest::addColumn<Change>("change");
        QTest::addColumn<QString>("column");
        QTest::addColumn<int>("op");
        QTest::addColumn<QVariant>("value");
        const int set = int(Op::Set);
        QTest::newRow("flag 1 on") << flagChange(MemberField::Flag1, true) << "Flg1" << set << QVariant(1);
        QTest::newRow("flag 3 on") << flagChange(MemberField::Flag3, true) << "Flg3" << set << QVariant(1);
        QTest::newRow("flag 2 off") << flagChange(MemberField::Flag2, false) << "Flg2" << set << QVariant(0);
        QTest::newRow("flag 3 off") << flagChange(MemberField::Flag3, false) << "Flg3" << set << QVariant(0);
        QTest::newRow("counter set") << counterChange(MemberField::Count1, SetValue, 1234567) << "Count1" << set
                                     << QVariant(1234567);
        QTest::newRow("counter add") << counterChange(MemberField::Count2, AddValue, 5) << "Count2" << int(Op::Add)
                                     << QVariant(5);
        QTest::newRow("counter subtract") << counterChange(MemberField::Count1, SubtractValue, 7) << "Count1"
                                          << int(Op::Subtract) << QVariant(7);
        QTest::newRow("date") << dateChange(MemberField::Date2, QDate(2008, 3, 5)) << "UserDate2" << set
                              << QVariant("20080305");
    }
    void changes()
    {
        QFETCH(Change, change);
        QFETCH(QString, column);
        QFETCH(int, op);
        QFETCH(QVariant, value);
        QCOMPARE(BulkUpdateRecords::columnName(change.field), column);
        QCOMPARE(int(change.op), op);
        QCOMPARE(change.value.toString(), value.toString());
    }

    // Each command changes only the selected members of its own magazine, although the
    // other magazine has members with the same UserIdx.
    void selectionChangesOnlyItsMembers_data()
    {
        QTest::addColumn<Change>("change");
        QTest::addColumn<QString>("column");
        QTest::addColumn<QString>("before2");
        QTest::addColumn<QString>("after2");
        QTest::addColumn<QString>("after4");
        QTest::newRow("flag on") << flagChange(MemberField::Flag2, true) << "Flg2" << "0" << "1" << "1";
        QTest::newRow("counter set") << counterChange(MemberField::Count1, SetValue, 42) << "Count1" << "1002" << "42"
                                     << "42";
        QTest::newRow("counter add") << counterChange(MemberField::Count1, AddValue, 5) << "Count1" << "1002"
                                     << "1007" << "1009";
        QTest::newRow("subtract below zero") << counterChange(MemberField::Count2, SubtractValue, 5000) << "Count2"
                                             << "2002" << "-2998" << "-2996";
        QTest::newRow("date") << dateChange(MemberField::Date1, QDate(2008, 3, 5)) << "UserDate1" << ""
                              << "20080305" << "20080305";
    }
    void selectionChangesOnlyItsMembers()
    {
        QFETCH(Change, change);
        QFETCH(QString, column);
        QFETCH(QString, before2);
        QFETCH(QString, after2);
        QFETCH(QString, after4);
        addMembers(1, 5);
        addMembers(2, 5);
        QCOMPARE(updateSelected(change, 1, {4, 2}), 2);
        QCOMPARE(textField(1, 2, column), after2);
        QCOMPARE(textField(1, 4, column), after4);
        for (int other : {1, 3, 5})
            QCOMPARE(textField(1, other, column), textField(2, other, column));
        QCOMPARE(textField(2, 2, column), before2);
    }

    void emptySelectionRunsNothing()
    {
        addMembers(1, 3);
        QCOMPARE(updateSelected(flagChange(MemberField::Flag1, true), 1, {}), 0);
        QCOMPARE(field(1, 1, "Flg1"), 0);
    }

    // A hundred thousand selected members change in one command, however long the list.
    void hundredThousandMembersInOneCommand()
    {
        const int n = 100000;
        addMembers(1, n);
        addMembers(2, 10);
        QList<int> all;
        for (int i = n; i >= 1; --i)
            all << i;
        QVERIFY(all.size() > 2 * kSelectionChunk);
        QCOMPARE(updateSelected(counterChange(MemberField::Count1, AddValue, 5), 1, all), n);
        Statement s;
        QCOMPARE(s.scalar("select count(*) from MagUser where MagIdx = 1 and Count1 = 1005 + UserIdx"), qint64(n));
        QCOMPARE(s.scalar("select count(*) from MagUser where MagIdx = 2 and Count1 = 1000 + UserIdx"), qint64(10));
        QHash<int, qint64> counters;
        MemberSql::forEachRow(1, all, [&](const MemberRowView &r) { counters.insert(r.userIdx(), r.count(0)); });
        QCOMPARE(counters.size(), n);
        QCOMPARE(counters.value(n), qint64(1005 + n));
    }

    // The chunks are one change: a refusal half-way leaves every member as it was.
    void refusedChunkLeavesEveryMemberUnchanged()
    {
        const int n = 3 * kSelectionChunk;
        addMembers(1, n);
        Statement s;
        s.exec(QString("create temp trigger RefuseOne before update on MagUser when new.UserIdx = %1 "
                       "begin select raise(abort, 'refused'); end")
                   .arg(2 * kSelectionChunk + 10));
        QList<int> all;
        for (int i = 1; i <= n; ++i)
            all << i;
        QVERIFY_THROWS_EXCEPTION(StoreError, updateSelected(flagChange(MemberField::Flag1, true), 1, all));
        QCOMPARE(s.scalar("select count(*) from MagUser where Flg1 <> 0"), qint64(0));
    }

    void resetChanges_data()
    {
        QTest::addColumn<MemberField>("field");
        QTest::addColumn<QString>("column");
        QTest::addColumn<QString>("value");
        QTest::newRow("flag 1") << MemberField::Flag1 << "Flg1" << "0";
        QTest::newRow("flag 3") << MemberField::Flag3 << "Flg3" << "0";
        QTest::newRow("counter 1") << MemberField::Count1 << "Count1" << "0";
        QTest::newRow("counter 2") << MemberField::Count2 << "Count2" << "0";
        QTest::newRow("date 1") << MemberField::Date1 << "UserDate1" << "20240229";
        QTest::newRow("date 2") << MemberField::Date2 << "UserDate2" << "20240229";
    }
    void resetChanges()
    {
        QFETCH(MemberField, field);
        QFETCH(QString, column);
        QFETCH(QString, value);
        const Change change = resetChange(field, QDate(2024, 2, 29));
        QCOMPARE(BulkUpdateRecords::columnName(change.field), column);
        QCOMPARE(int(change.op), int(Op::Set));
        QCOMPARE(change.value.toString(), value);
    }

    void resetChangesTheWholeMagazineOnly()
    {
        addMembers(1, 4);
        addMembers(2, 4);
        QCOMPARE(resetAll(resetChange(MemberField::Date1, QDate(2024, 2, 29)), 2), 4);
        Statement s;
        QCOMPARE(s.scalar("select count(*) from MagUser where MagIdx = 2 and UserDate1 = '20240229'"), qint64(4));
        QCOMPARE(s.scalar("select count(*) from MagUser where MagIdx = 1 and UserDate1 = ''"), qint64(4));
        resetAll(resetChange(MemberField::Count2, QDate()), 1);
        QCOMPARE(s.scalar("select count(*) from MagUser where MagIdx = 1 and Count2 = 0"), qint64(4));
        QCOMPARE(s.scalar("select count(*) from MagUser where MagIdx = 2 and Count2 = 0"), qint64(0));
    }

    void resetQuestionNamesTheField()
    {
        QCOMPARE(resetQuestion("購読回数"), QString("メンバーすべてのフィールド「購読回数」を変更します。よろしいですか？"));
    }
};

QTEST_MAIN(TestBulkUpdate)
#include "tst_maintenance_bulk.moc"

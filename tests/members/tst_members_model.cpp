// The member list's model under Qt's own model checker: every change the list makes
// (load, add, edit, suspend, delete, sort, new columns, empty, rows read again) keeps the
// model's promises to the views, with persistent indexes (selections) following their rows.
#include "fakes/StoreFixture.h"
#include "fakes/TestEnv.h"
#include "members/MemberBounceColumns.h"
#include "members/MemberListModel.h"
#include "members/UMemberOrder.h"
#include "store/Database.h"

#include <QAbstractItemModelTester>
#include <QPixmap>
#include <QtTest>

class TestMembersModel : public QObject
{
    Q_OBJECT

    static QStringList captions() { return MemberOrder::captions(MemberOrder::placeholderFieldNames()); }
    static QStringList column(const TMemberListModel &m, int c)
    {
        QStringList out;
        for (int r = 0; r < m.rowCount(); ++r)
            out << m.data(m.index(r, c)).toString();
        return out;
    }

private Q_SLOTS:
    void everyChangeKeepsTheModelSound()
    {
        TestEnv env;
        env.openStore();
        StoreFixture::addMagazine(1, "A");
        StoreFixture::addMember(1, 1, "佐藤", "sato@example.jp", {{"Sleep", 0}, {"Count1", 3}});
        StoreFixture::addMember(1, 2, "鈴木", "suzuki@example.jp", {{"Sleep", 1}, {"Count1", 1}});
        StoreFixture::addMember(1, 3, "青木", "aoki@example.jp", {{"Sleep", 0}, {"Count1", 2}});
        StoreFixture::addMember(2, 9, "他誌", "other@example.jp");

        TMemberListModel model;
        QPixmap mark(8, 8);
        mark.fill(Qt::red);
        model.setSleepIcon(QIcon(mark));
        QAbstractItemModelTester tester(&model, QAbstractItemModelTester::FailureReportingMode::QtTest);

        const QStringList all = captions();
        model.setColumns({MemberOrder::Name, MemberOrder::Address, MemberOrder::Count1},
                         {all[MemberOrder::Name], all[MemberOrder::Address], all[MemberOrder::Count1]});
        QCOMPARE(model.columnCount(), 3);
        model.load(1);
        QCOMPARE(column(model, 0), (QStringList{"佐藤", "鈴木", "青木"}));
        QVERIFY(!model.data(model.index(1, 0), Qt::DecorationRole).isNull());
        QVERIFY(model.data(model.index(1, 1), Qt::DecorationRole).isNull());
        QCOMPARE(model.data(model.index(2, 0), TMemberListModel::UserIdxRole).toInt(), 3);

        // A selected row keeps pointing at its member through a sort.
        const QPersistentModelIndex suzuki = model.index(1, 1);
        model.sortRows(2, false);
        QCOMPARE(column(model, 2), (QStringList{"1", "2", "3"}));
        QCOMPARE(suzuki.row(), 0);
        QCOMPARE(suzuki.data().toString(), QString("suzuki@example.jp"));
        model.sortRows(0, true);
        QCOMPARE(suzuki.data().toString(), QString("suzuki@example.jp"));

        model.appendRow(4, false, {"新人", "new@example.jp", "0"});
        QCOMPARE(model.rowOf(4), 3);
        model.setRow(3, true, {"新人", "new2@example.jp", "5"});
        QVERIFY(model.data(model.index(3, 0), TMemberListModel::SleepRole).toBool());
        model.setCell(3, 1, "new3@example.jp");
        model.setSleep(3, false);
        QCOMPARE(model.cell(3, 1), QString("new3@example.jp"));
        model.removeRow(model.rowOf(2));
        QCOMPARE(model.rowCount(), 3);
        QVERIFY(!suzuki.isValid());

        // New columns keep the rows; out-of-range sections and cells read as nothing.
        model.setColumns({MemberOrder::Address}, {all[MemberOrder::Address]});
        QCOMPARE(model.columnCount(), 1);
        QVERIFY(model.headerData(1, Qt::Horizontal).isNull());
        QVERIFY(model.data(model.index(5, 0)).isNull());

        model.load(2);
        QCOMPARE(column(model, 0), (QStringList{"other@example.jp"}));
        model.load(-1);
        QCOMPARE(model.rowCount(), 0);
        model.load(3); // a magazine without members
        QCOMPARE(model.rowCount(), 0);
        model.clear();
        model.setColumns({}, {});
        QCOMPARE(model.columnCount(), 0);
    }

    // Reading given members again shows what the store now holds for them, in their rows
    // wherever a sort put them; the other rows, members not listed, members gone from the
    // store and the returned-mail column stay as shown.
    void refreshReadsTheGivenMembersOnly_data()
    {
        QTest::addColumn<QList<int>>("members");
        QTest::addColumn<QStringList>("names");   // column 0, in the sorted rows' order
        QTest::addColumn<QStringList>("counts");  // column 1
        QTest::addColumn<QStringList>("bounces"); // column 2
        QTest::addColumn<QList<bool>>("sleep");
        const QStringList before{"a", "b", "c"};
        QTest::newRow("none") << QList<int>{} << before << QStringList{"3", "2", "1"} << QStringList{"2", "", ""}
                              << QList<bool>{false, false, false};
        QTest::newRow("one") << QList<int>{3} << QStringList{"a", "b", "C"} << QStringList{"3", "2", "1,001"}
                             << QStringList{"2", "", ""} << QList<bool>{false, false, true};
        QTest::newRow("all, one gone, one of another magazine")
            << QList<int>{1, 2, 3, 9} << QStringList{"A", "b", "C"} << QStringList{"1,003", "2", "1,001"}
            << QStringList{"2", "", ""} << QList<bool>{true, false, true};
    }
    void refreshReadsTheGivenMembersOnly()
    {
        QFETCH(QList<int>, members);
        QFETCH(QStringList, names);
        QFETCH(QStringList, counts);
        QFETCH(QStringList, bounces);
        QFETCH(QList<bool>, sleep);
        TestEnv env;
        env.openStore();
        StoreFixture::addMagazine(1, "A");
        StoreFixture::addMember(1, 3, "c", "c@example.jp", {{"Sleep", 0}, {"Count1", 1}});
        StoreFixture::addMember(1, 2, "b", "b@example.jp", {{"Sleep", 0}, {"Count1", 2}});
        StoreFixture::addMember(1, 1, "a", "a@example.jp", {{"Sleep", 0}, {"Count1", 3}});
        StoreFixture::addMember(2, 9, "x", "x@example.jp");
        StoreFixture::insert("MemberBounce", {{"MagIdx", 1}, {"UserIdx", 1}, {"Bounces", 2}, {"HardBounces", 2},
                                              {"LastDate", "2024/01/02"}, {"LastReason", "550"}});
        TMemberListModel model;
        QAbstractItemModelTester tester(&model, QAbstractItemModelTester::FailureReportingMode::QtTest);
        model.setColumns({MemberOrder::Name, MemberOrder::Count1, MemberBounceColumns::kCount}, {"名前", "数", "不達"});
        model.load(1);
        model.sortRows(0, false);
        QCOMPARE(column(model, 0), (QStringList{"a", "b", "c"}));
        // Changed behind the list: only what is read again shows it.
        Statement().exec("update MagUser set UserName = upper(UserName), Count1 = Count1 + 1000, Sleep = 1"
                         " where MagIdx = 1 and UserIdx <> 2");
        Statement().exec("delete from MagUser where MagIdx = 1 and UserIdx = 2");
        Statement().exec("update MemberBounce set Bounces = 7");
        QSignalSpy changed(&model, &QAbstractItemModel::dataChanged);
        model.refresh(1, members);
        QCOMPARE(changed.isEmpty(), members.isEmpty());
        QCOMPARE(column(model, 0), names);
        QCOMPARE(column(model, 1), counts);
        QCOMPARE(column(model, 2), bounces);
        QList<bool> shownSleep;
        for (int r = 0; r < model.rowCount(); ++r)
            shownSleep << model.sleep(r);
        QCOMPARE(shownSleep, sleep);
    }
};

QTEST_MAIN(TestMembersModel)
#include "tst_members_model.moc"

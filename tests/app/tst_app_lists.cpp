// The member list and the magazine list on their own, without the main window: each reads
// the current magazine, keeps its own columns, widths and sort order, and does its commands
// on its selection.
#include "app/MagazineList.h"
#include "app/MemberList.h"
#include "fakes/StoreFixture.h"
#include "fakes/TestEnv.h"
#include "members/CurrentMagazine.h"
#include "members/MemberListModel.h"
#include "members/UMemberOrder.h"
#include "store/AppSettings.h"
#include "store/Database.h"
#include "widgets/MessageBox.h"

#include <QHeaderView>
#include <QSignalSpy>
#include <QtTest>

class TestAppLists : public QObject
{
    Q_OBJECT

    std::unique_ptr<TestEnv> env;

    static QStringList column(const TMemberList &list, int c)
    {
        QStringList out;
        for (int r = 0; r < list.memberModel()->rowCount(); ++r)
            out << list.memberModel()->cell(r, c);
        return out;
    }

private Q_SLOTS:
    void init()
    {
        env = std::make_unique<TestEnv>();
        env->openStore();
        for (const auto &[magIdx, name] : {std::pair{1, "夏"}, std::pair{2, "秋"}})
            StoreFixture::insert("Magzine", {{"MagIdx", magIdx}, {"MagName", name}, {"Owner", "o"},
                                             {"Adrs", "o@example.jp"}, {"Atena", "様"}});
        StoreFixture::insert("MagUser", {{"MagIdx", 1}, {"UserIdx", 1}, {"UserName", "b"}, {"UserAdrs", "b@example.jp"}});
        StoreFixture::insert("MagUser", {{"MagIdx", 1}, {"UserIdx", 2}, {"UserName", "a"}, {"UserAdrs", "a@example.jp"}});
        MemberOrder::save(1, "M:1,A:1,");
    }
    void cleanup()
    {
        MessageBox::takeShown();
        env.reset();
    }

    void memberListFollowsTheMagazine()
    {
        CurrentMagazine magazine;
        TMemberList list(magazine);
        list.show();
        QCOMPARE(list.objectName(), QString("ListView2"));
        // no magazine: no columns, and the commands only warn
        list.BuildMemberColumns();
        QCOMPARE(list.ColumnMap()[0], -1);
        QTest::keyClick(&list, Qt::Key_Insert);
        const auto warned = MessageBox::takeShown();
        QCOMPARE(warned.size(), 1);
        QCOMPARE(warned[0].text, QString("マガジン名を選択してください。"));

        magazine.choose(1);
        list.BuildMemberColumns();
        list.LoadMemberRows(1);
        QCOMPARE(list.ColumnMap()[0], int(MemberOrder::Name));
        QCOMPARE(list.columnOf(MemberOrder::Address), 1);
        QCOMPARE(column(list, 0), (QStringList{"b", "a"}));

        // the header's indicator sorts, and the list remembers the order
        list.ListView2ColumnClick(0);
        QCOMPARE(column(list, 0), (QStringList{"a", "b"}));
        QCOMPARE(list.MemberSortColumn(), 0);
        QVERIFY(!list.SortDescending());
        list.ListView2ColumnClick(0);
        QCOMPARE(column(list, 0), (QStringList{"b", "a"}));
        QVERIFY(list.SortDescending());

        // widths are stored under the list's own names
        list.header()->resizeSection(1, 123);
        list.saveColumnWidths();
        QCOMPARE(AppSettings::readInt("List2Width2", -1), 123);
        list.header()->resizeSection(1, 50);
        list.BuildMemberColumns();
        QCOMPARE(list.header()->sectionSize(1), 123);

        // Delete asks about the selected member and removes it from the list and the store
        QSignalSpy counted(&list, &TMemberList::countChanged);
        list.selectionModel()->select(list.memberModel()->index(0, 0),
                                      QItemSelectionModel::ClearAndSelect | QItemSelectionModel::Rows);
        MessageBox::queueAnswer(MessageBox::Answer::Yes);
        QTest::keyClick(&list, Qt::Key_Delete);
        const auto asked = MessageBox::takeShown();
        QCOMPARE(asked.size(), 1);
        QCOMPARE(asked[0].text, QString("「b」を削除します。よろしいですか？"));
        QCOMPARE(column(list, 0), (QStringList{"a"}));
        QCOMPARE(counted.size(), 1);
        QCOMPARE(Statement().scalar("select count(*) from MagUser where MagIdx = 1"), 1);

        // text dropped on it is kept trimmed, up to a NUL
        list.OleDropTarget1Drop(QString(" a@example.jp\r\n") + QChar(0) + "rest");
        QCOMPARE(list.DroppedText(), QString("a@example.jp"));
    }

    void magazineListSortsAndCounts()
    {
        CurrentMagazine magazine;
        TMagazineList list(magazine);
        QCOMPARE(list.objectName(), QString("ListView1"));
        list.LoadMagazineList();
        QCOMPARE(list.topLevelItemCount(), 2);
        for (int i = 0; i < 2; ++i)
            QCOMPARE(list.topLevelItem(i)->text(1), TMagazineList::magIdxOf(list.topLevelItem(i)) == 1 ? "2" : "0");
        QCOMPARE(list.FindMagazineRow(), -1);

        magazine.choose(2);
        const int row = list.FindMagazineRow();
        QCOMPARE(TMagazineList::magIdxOf(list.topLevelItem(row)), 2);
        list.ShowMemberCount(7);
        QCOMPARE(list.topLevelItem(row)->text(1), QString("7"));

        list.ListView1ColumnClick(0);
        QCOMPARE(list.MagSortColumn(), 0);
        QVERIFY(!list.SortDescending());
        const QString first = list.topLevelItem(0)->text(0);
        list.ListView1ColumnClick(0);
        QVERIFY(list.SortDescending());
        QCOMPARE(list.topLevelItem(1)->text(0), first);

        list.setColumnWidth(0, 140);
        list.saveColumnWidths();
        list.setColumnWidth(0, 20);
        list.loadColumnWidths();
        QCOMPARE(list.columnWidth(0), 140);
    }
};

QTEST_MAIN(TestAppLists)
#include "tst_app_lists.moc"

// The targets and recipients views read their lines a page at a time as the list scrolls:
// every page boundary must keep the lines exactly those of the whole statement, in member
// order, whatever the condition joins and however many members have gone since.
#include "fakes/StoreFixture.h"
#include "fakes/TestEnv.h"
#include "issue/MemberLines.h"
#include "issue/ui/FHistDlg.h"
#include "issue/ui/MemberLinesModel.h"
#include "store/Database.h"
#include "store/FreeClause.h"

#include <QLabel>
#include <QListView>
#include <QScrollBar>
#include <QtTest>

Q_DECLARE_METATYPE(RecipientQuery)

namespace {

constexpr int kMembers = 2500; // five pages of the view, and more than one block of members

QString name(int i)
{
    return QStringLiteral("会員%1").arg(i, 5, 10, QLatin1Char('0'));
}

QString line(int i)
{
    return name(i) + QStringLiteral(" <m%1@example.jp>").arg(i);
}

// Members 1..count of magazine 1, stored out of member order (every 7th member first), so
// that the store's row order is not the member order; every 10th is suspended. Magazine 2
// has members of the same numbers, which no list of magazine 1 may show.
void addMembers(int count)
{
    QList<int> order;
    for (int i = 7; i <= count; i += 7)
        order << i;
    for (int i = 1; i <= count; ++i)
        if (i % 7 != 0)
            order << i;
    StoreFixture::insertMany("MagUser", int(order.size()), [&](int k) {
        const int i = order[k];
        return StoreFixture::memberRow(1, i, name(i), QStringLiteral("m%1@example.jp").arg(i),
                                       {{"Sleep", i % 10 == 0 ? 1 : 0}, {"Flg1", i % 3 == 0 ? 1 : 0}});
    });
    StoreFixture::insertMany("MagUser", 50, [](int k) {
        return StoreFixture::memberRow(2, k + 1, QStringLiteral("他誌%1").arg(k), QStringLiteral("o%1@example.jp").arg(k));
    });
}

QStringList expected(int count, const std::function<bool(int)> &selected)
{
    QStringList out;
    for (int i = 1; i <= count; ++i)
        if (selected(i))
            out << line(i);
    return out;
}

QStringList allLines(MemberLines &source)
{
    QStringList out;
    while (!source.atEnd())
        source.read(MemberLinesModel::kPage, &out);
    return out;
}

} // namespace

class TestIssueMemberLines : public QObject
{
    Q_OBJECT

    std::unique_ptr<TestEnv> env;

private Q_SLOTS:
    void init()
    {
        env = std::make_unique<TestEnv>();
        env->openStore();
        StoreFixture::addMagazine(1, "週刊ツバメ");
        StoreFixture::addMagazine(2, "別誌");
    }
    void cleanup()
    {
        env.reset();
    }

    void targetsInMemberOrder_data()
    {
        QTest::addColumn<RecipientQuery>("query");
        QTest::addColumn<QStringList>("lines");
        const auto active = [](int i) { return i % 10 != 0; };
        QTest::newRow("all") << Recipients::all(1) << expected(kMembers, active);
        QTest::newRow("flag on") << Recipients::flag(1, MemberColumn::Flg1, true)
                                 << expected(kMembers, [&](int i) { return active(i) && i % 3 == 0; });
        // Joins the recipient rows of issue 1: members 1..1200 and a repeated row of member 5.
        QTest::newRow("sent issue 1") << Recipients::sentIssue(1, 1)
                                      << [&] {
                                             QStringList l = expected(1200, active);
                                             l.insert(4, line(5));
                                             return l;
                                         }();
        QTest::newRow("not sent issue 1") << Recipients::notSentIssue(1, 1)
                                          << expected(kMembers, [&](int i) { return active(i) && i > 1200; });
        // Picks one member near the end: the blocks of members read grow until it comes.
        QTest::newRow("one member") << Recipients::compare(1, MemberColumn::Count1, Comparison::Equals, qint64(2499))
                                    << QStringList{line(2499)};
        QTest::newRow("nobody") << Recipients::nobody(1) << QStringList();
    }
    void targetsInMemberOrder()
    {
        QFETCH(RecipientQuery, query);
        QFETCH(QStringList, lines);
        addMembers(kMembers);
        Statement().exec(QStringLiteral("update MagUser set Count1 = UserIdx where MagIdx = 1"));
        StoreFixture::addIssue(1, 1, {.addDate = "2026/12/10 09:00:00", .sendCnt = 1200, .title = "号"});
        StoreFixture::insertMany("MagHist", 1200, [](int i) {
            return StoreFixture::Row{{"MagIdx", 1}, {"MagCnt", 1}, {"MagUser", i + 1}};
        });
        StoreFixture::addRecipient(1, 1, 5);
        const auto source = MemberLineSources::targets(query, 1);
        QCOMPARE(allLines(*source), lines);
        QVERIFY(source->AddDate.isEmpty());
    }

    // The recipients of an older issue, in member order, lose the members deleted since;
    // a run of deleted members longer than a page does not end the list early.
    void recipientsPastDeletedMembers()
    {
        addMembers(kMembers);
        StoreFixture::addIssue(1, 3, {.addDate = "2026/12/10 09:00:00", .sendCnt = kMembers, .title = "三号"});
        StoreFixture::insertMany("MagHist", kMembers, [](int i) {
            // stored newest member first, so row order is not member order
            return StoreFixture::Row{{"MagIdx", 1}, {"MagCnt", 3}, {"MagUser", kMembers - i}};
        });
        Statement().exec(QStringLiteral("delete from MagUser where MagIdx = 1 and UserIdx <= 1800"));
        const auto source = MemberLineSources::recipients(1, 3);
        QCOMPARE(source->AddDate, QString("2026/12/10 09:00:00"));
        QCOMPARE(source->Title, QString("三号"));
        QCOMPARE(allLines(*source), expected(kMembers, [](int i) { return i > 1800; }));

        // none of them left: no lines, and no date or subject above them
        Statement().exec(QStringLiteral("delete from MagUser where MagIdx = 1"));
        const auto none = MemberLineSources::recipients(1, 3);
        QVERIFY(none->AddDate.isEmpty());
        QVERIFY(none->Title.isEmpty());
        QVERIFY(allLines(*none).isEmpty());
    }

    // The view opens with a page, and scrolling to the end reads the rest and shows the last.
    void scrollingToTheEndShowsTheLastMember()
    {
        constexpr int members = 20000;
        StoreFixture::insertMany("MagUser", members, [](int i) {
            return StoreFixture::memberRow(1, i + 1, name(i + 1), QStringLiteral("m%1@example.jp").arg(i + 1));
        });
        THistDlg dlg;
        dlg.ListMode = THistDlg::Mode::Targets;
        dlg.ListMagIdx = 1;
        dlg.ListWhere = Recipients::all(1);
        dlg.FormShow();
        dlg.show();
        QVERIFY(QTest::qWaitForWindowExposed(&dlg));
        MemberLinesModel *model = dlg.model();
        QVERIFY(model->rowCount() < members);
        QCOMPARE(model->data(model->index(0), Qt::ForegroundRole).value<QBrush>().color(), QColor(Qt::blue));
        for (int i = 0; i < members && model->rowCount() < members; ++i) {
            dlg.memberList->scrollToBottom();
            QCoreApplication::processEvents();
        }
        QCOMPARE(model->rowCount(), members);
        QVERIFY(!model->canFetchMore(QModelIndex()));
        dlg.memberList->scrollToBottom();
        QCoreApplication::processEvents();
        const QRect shown = dlg.memberList->visualRect(model->index(members - 1));
        QVERIFY(dlg.memberList->viewport()->rect().contains(shown.center()));
        QCOMPARE(model->line(members - 1), line(members));
    }

    // A clause the store rejects when it runs fails at opening, with the store's text, and
    // the list is left empty.
    void aFailingStatementThrows()
    {
        addMembers(10);
        THistDlg dlg;
        dlg.ListMode = THistDlg::Mode::Targets;
        dlg.ListMagIdx = 1;
        dlg.ListWhere = {QStringLiteral(" where NoSuchColumn = 1 and U.MagIdx = ?"), {1}};
        try {
            dlg.FormShow();
            QFAIL("no error");
        } catch (const StoreError &e) {
            QVERIFY(e.text().contains(QStringLiteral("NoSuchColumn"), Qt::CaseInsensitive));
        }
        QCOMPARE(dlg.model()->rowCount(), 0);
    }
};

QTEST_MAIN(TestIssueMemberLines)
#include "tst_issue_member_lines.moc"

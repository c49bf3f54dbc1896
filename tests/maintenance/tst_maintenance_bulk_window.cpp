// The bulk field commands in the main window: the selection they change, the cells that
// show the store afterwards, the dialogs and confirmations that stop them, the reload after
// a reset.
#include "members/CurrentMagazine.h"
#include "app/MainForm.h"
#include "fakes/ModalDialog.h"
#include "fakes/StoreFixture.h"
#include "fakes/TestEnv.h"
#include "maintenance/ui/FCountDlg.h"
#include "maintenance/ui/FDateDlg.h"
#include "members/MemberListModel.h"
#include "members/UMemberOrder.h"
#include "store/Database.h"
#include "widgets/MessageBox.h"

#include <QAction>
#include <QDateEdit>
#include <QItemSelectionModel>
#include <QLabel>
#include <QPushButton>
#include <QRadioButton>
#include <QSpinBox>
#include <QTabWidget>
#include <QTreeView>
#include <QTreeWidget>
#include <QtTest>

class TestBulkWindow : public QObject
{
    Q_OBJECT

private:
    std::unique_ptr<TestEnv> env;
    std::unique_ptr<TMainForm> form;

    static void exec(const QString &sql) { Statement().exec(sql); }
    static qint64 scalar(const QString &sql) { return Statement().scalar(sql); }
    static QString text(const QString &sql)
    {
        Statement s;
        s.open(sql);
        return s.next() ? s.text(0) : QString("<none>");
    }

    static void addMagazine(int magIdx, const QString &name)
    {
        StoreFixture::addMagazine(magIdx, name, StoreFixture::shopFieldNames());
    }
    // Members 1..count, Count1 = 1230 + UserIdx (member 4 shows 1,234).
    static void addMembers(int magIdx, int count)
    {
        for (int i = 1; i <= count; ++i)
            StoreFixture::addMember(magIdx, i, QString("会員%1").arg(i), QString("m%1@example.jp").arg(i),
                                    StoreFixture::blankMemberColumns() + StoreFixture::Row{{"Count1", 1230 + i}});
    }

    // Opens the window on magazine 1 with the given columns.
    void openOn(const QString &memberOrder)
    {
        MemberOrder::save(1, memberOrder);
        form = std::make_unique<TMainForm>();
        form->show();
        for (int i = 0; i < form->magazineList->topLevelItemCount(); ++i)
            if (form->magazineList->topLevelItem(i)->data(0, Qt::UserRole).toInt() == 1)
                form->magazineList->setCurrentItem(form->magazineList->topLevelItem(i));
        QCOMPARE(form->Magazine->CurMagIdx(), 1);
        QCOMPARE(model()->rowCount(), 6);
    }
    TMemberListModel *model() const { return qobject_cast<TMemberListModel *>(form->memberList->model()); }
    int rowOf(int userIdx) const { return model()->rowOf(userIdx); }
    void select(const QList<int> &userIdx)
    {
        QItemSelectionModel *sel = form->memberList->selectionModel();
        sel->clearSelection();
        for (int u : userIdx)
            sel->select(model()->index(rowOf(u), 0), QItemSelectionModel::Select | QItemSelectionModel::Rows);
    }
    QString cell(int userIdx, int column) const { return model()->cell(rowOf(userIdx), column); }
    QStringList cells(int userIdx) const
    {
        QStringList out;
        for (int c = 0; c < model()->columnCount(); ++c)
            out << cell(userIdx, c);
        return out;
    }
    QString shownTexts() const
    {
        QStringList out;
        for (const auto &s : MessageBox::takeShown())
            out << s.text;
        return out.join('|');
    }

    static void answerCount(int mode, int value)
    {
        ModalDialog::whenShown<TCountDlg>([mode, value](TCountDlg *d) {
            QCOMPARE(d->windowTitle(), QString("カウンタ値の設定"));
            QVERIFY(d->setRadio->isChecked());
            QCOMPARE(d->valueSpin->value(), 0);
            d->valueSpin->setValue(value);
            (mode == 1 ? d->addRadio : mode == 2 ? d->subtractRadio : d->setRadio)->setChecked(true);
            d->okButton->click();
        });
    }
    static void answerDate(const QDate &day, const QString &expectLabel)
    {
        ModalDialog::whenShown<TDateDlg>([day, expectLabel](TDateDlg *d) {
            QCOMPARE(d->windowTitle(), QString("日付の設定"));
            QCOMPARE(d->fieldLabel->text(), expectLabel);
            QCOMPARE(d->date(), QDate::currentDate());
            d->setDate(day);
            d->okButton->click();
        });
    }
    static void cancelDate()
    {
        ModalDialog::whenShown<TDateDlg>([](TDateDlg *d) { d->cancelButton->click(); });
    }

private Q_SLOTS:
    void init()
    {
        env = std::make_unique<TestEnv>();
        env->openStore();
        addMagazine(1, "週刊ツバメ");
        addMagazine(2, "別マガジン");
        addMembers(1, 6);
        addMembers(2, 6);
        MessageBox::takeShown();
    }
    void cleanup()
    {
        if (form)
            form->close();
        form.reset();
        env.reset();
    }

    void flagOnAndOffForTheSelection()
    {
        openOn("M:1,A:1,F1:1,C1:1,D1:1,U:0,F2:0,F3:0,C2:0,D2:0,S:0,");
        select({5, 2});
        form->action("A4Click", 1)->trigger();
        QCOMPARE(scalar("select count(*) from MagUser where MagIdx = 1 and Flg1 = 1"), qint64(2));
        QCOMPARE(scalar("select count(*) from MagUser where MagIdx = 1 and Flg1 = 1 and UserIdx in (2,5)"), qint64(2));
        QCOMPARE(scalar("select count(*) from MagUser where MagIdx = 2 and Flg1 = 1"), qint64(0));
        QCOMPARE(cell(2, 2), QString("ON"));
        QCOMPARE(cell(5, 2), QString("ON"));
        QCOMPARE(cell(3, 2), QString("OFF"));
        select({5});
        form->action("popup_A4Click", 11)->trigger();
        QCOMPARE(text("select Flg1 from MagUser where MagIdx = 1 and UserIdx = 5"), QString("0"));
        QCOMPARE(cell(5, 2), QString("OFF"));
        QCOMPARE(cell(2, 2), QString("ON"));
        QCOMPARE(shownTexts(), QString());
    }

    void hiddenFlagColumnChangesOnlyTheStore()
    {
        openOn("M:1,A:1,F1:1,C1:1,D1:1,U:0,F2:0,F3:0,C2:0,D2:0,S:0,");
        select({3});
        const QStringList before = cells(3);
        form->action("A4Click", 2)->trigger();
        QCOMPARE(text("select Flg2 from MagUser where MagIdx = 1 and UserIdx = 3"), QString("1"));
        QCOMPARE(cells(3), before);
    }

    void flagWithoutMagazineOrSelection()
    {
        form = std::make_unique<TMainForm>();
        form->show();
        form->action("A4Click", 1)->trigger();
        QCOMPARE(shownTexts(), QString("マガジン名を選択してください。"));
        form->action("N15Click", 1)->trigger(); // silent without a magazine
        form->action("N16Click", 1)->trigger();
        QCOMPARE(shownTexts(), QString());
        form.reset();
        openOn("M:1,A:1,F1:1,C1:1,D1:1,U:0,F2:0,F3:0,C2:0,D2:0,S:0,");
        form->memberList->selectionModel()->clearSelection();
        form->action("A4Click", 1)->trigger();
        form->action("N15Click", 1)->trigger(); // no dialog opens without a selection
        form->action("N16Click", 2)->trigger();
        QCOMPARE(shownTexts(), QString());
        QCOMPARE(scalar("select count(*) from MagUser where Flg1 <> 0"), qint64(0));
    }

    void counterModes_data()
    {
        QTest::addColumn<int>("mode");
        QTest::addColumn<int>("value");
        QTest::addColumn<qint64>("stored");
        QTest::addColumn<QString>("shown");
        QTest::newRow("add 5 to 1,234") << 1 << 5 << qint64(1239) << "1,239";
        QTest::newRow("subtract below zero") << 2 << 1300 << qint64(-66) << "-66";
        QTest::newRow("set") << 0 << 1234567 << qint64(1234567) << "1,234,567";
    }
    void counterModes()
    {
        QFETCH(int, mode);
        QFETCH(int, value);
        QFETCH(qint64, stored);
        QFETCH(QString, shown);
        openOn("M:1,A:1,F1:1,C1:1,D1:1,U:0,F2:0,F3:0,C2:0,D2:0,S:0,");
        QCOMPARE(cell(4, 3), QString("1,234"));
        select({4});
        answerCount(mode, value);
        form->action("N15Click", 1)->trigger();
        QCOMPARE(scalar("select Count1 from MagUser where MagIdx = 1 and UserIdx = 4"), stored);
        QCOMPARE(cell(4, 3), shown);
        QCOMPARE(scalar("select Count1 from MagUser where MagIdx = 2 and UserIdx = 4"), qint64(1234));
    }

    // A counter shown first is read from and written to the row's first cell; a cell that
    // was out of date ends up showing what the store holds.
    void counterInFirstColumnShowsWhatTheStoreHolds()
    {
        openOn("C1:1,M:1,A:1,F1:0,U:0,F2:0,F3:0,C2:0,D1:0,D2:0,S:0,");
        QCOMPARE(cell(2, 0), QString("1,232"));
        exec("update MagUser set Count1 = 5000 where MagIdx = 1 and UserIdx = 6"); // a delivery counted up
        select({2, 6});
        answerCount(1, 10);
        form->action("popup_N15Click", 1)->trigger();
        QCOMPARE(cell(2, 0), QString("1,242"));
        QCOMPARE(cell(6, 0), QString("5,010"));
        QCOMPARE(scalar("select Count1 from MagUser where MagIdx = 1 and UserIdx = 6"), qint64(5010));
        QCOMPARE(cell(2, 1), QString("会員2"));
    }

    void counterCancelledChangesNothing()
    {
        openOn("M:1,A:1,F1:1,C1:1,D1:1,U:0,F2:0,F3:0,C2:0,D2:0,S:0,");
        select({4});
        ModalDialog::whenShown<TCountDlg>([](TCountDlg *d) {
            QCOMPARE(d->valueLabel->text(), QString("ポイント"));
            d->valueSpin->setValue(9);
            d->cancelButton->click();
        });
        form->action("N15Click", 2)->trigger();
        QCOMPARE(scalar("select count(*) from MagUser where Count2 <> 0"), qint64(0));
    }

    void dateForTheSelection()
    {
        openOn("M:1,A:1,F1:1,C1:1,D1:1,U:0,F2:0,F3:0,C2:0,D2:0,S:0,");
        select({1, 6});
        answerDate(QDate(2008, 3, 5), "最終購読日");
        form->action("N16Click", 1)->trigger();
        QCOMPARE(scalar("select count(*) from MagUser where MagIdx = 1 and UserDate1 = '20080305'"), qint64(2));
        QCOMPARE(scalar("select count(*) from MagUser where MagIdx = 2 and UserDate1 = '20080305'"), qint64(0));
        QCOMPARE(cell(1, 4), QString("2008/03/05"));
        QCOMPARE(cell(6, 4), QString("2008/03/05"));
        QCOMPARE(cell(3, 4), QString());
    }

    void resetAsksAndReloads()
    {
        openOn("M:1,A:1,F1:1,C1:1,D1:1,U:0,F2:0,F3:0,C2:0,D2:0,S:0,");
        exec("update MagUser set Flg1 = 1");
        // the list still shows OFF; No and Cancel change nothing
        MessageBox::queueAnswer(MessageBox::Answer::No);
        form->action("OFF11Click", 1)->trigger();
        MessageBox::queueAnswer(MessageBox::Answer::Cancel);
        form->action("OFF11Click", 1)->trigger();
        QCOMPARE(shownTexts(), QString("メンバーすべてのフィールド「既読」を変更します。よろしいですか？|"
                                       "メンバーすべてのフィールド「既読」を変更します。よろしいですか？"));
        QCOMPARE(scalar("select count(*) from MagUser where Flg1 = 1"), qint64(12));
        MessageBox::queueAnswer(MessageBox::Answer::Yes);
        form->action("OFF11Click", 4)->trigger();
        QCOMPARE(shownTexts(), QString("メンバーすべてのフィールド「購読回数」を変更します。よろしいですか？"));
        QCOMPARE(scalar("select count(*) from MagUser where MagIdx = 1 and Count1 = 0"), qint64(6));
        QCOMPARE(scalar("select count(*) from MagUser where MagIdx = 2 and Count1 = 0"), qint64(0));
        // reloaded: every row shows the store
        for (int u = 1; u <= 6; ++u) {
            QCOMPARE(cell(u, 3), QString("0"));
            QCOMPARE(cell(u, 2), QString("ON"));
        }
    }

    void resetOfADate()
    {
        openOn("M:1,A:1,F1:1,C1:1,D1:1,U:0,F2:0,D2:1,F3:0,C2:0,S:0,");
        cancelDate();
        form->action("OFF11Click", 7)->trigger();
        QCOMPARE(shownTexts(), QString()); // no confirmation after the cancelled date
        answerDate(QDate(2024, 2, 29), "誕生日");
        MessageBox::queueAnswer(MessageBox::Answer::Yes);
        form->action("OFF11Click", 7)->trigger();
        QCOMPARE(shownTexts(), QString("メンバーすべてのフィールド「誕生日」を変更します。よろしいですか？"));
        QCOMPARE(scalar("select count(*) from MagUser where MagIdx = 1 and UserDate2 = '20240229'"), qint64(6));
        QCOMPARE(scalar("select count(*) from MagUser where MagIdx = 2 and UserDate2 = '20240229'"), qint64(0));
        QCOMPARE(cell(3, 5), QString("2024/02/29"));
    }

    void resetWithoutMagazineWarns()
    {
        form = std::make_unique<TMainForm>();
        form->show();
        form->action("OFF11Click", 6)->trigger();
        QCOMPARE(shownTexts(), QString("マガジン名を選択してください。"));
    }

    void menuItemsAndShortcuts_data()
    {
        QTest::addColumn<QString>("handler");
        QTest::addColumn<int>("tag");
        QTest::addColumn<QString>("caption");
        QTest::addColumn<QKeySequence>("key");
        QTest::newRow("N13") << "A4Click" << 1 << "フラグ１ (&1)" << QKeySequence();
        QTest::newRow("N32") << "A4Click" << 13 << "フラグ３ (&3)" << QKeySequence();
        QTest::newRow("N23") << "N15Click" << 2 << "カウンタ２ (&2)..." << QKeySequence();
        QTest::newRow("N16") << "N16Click" << 1 << "日付１ (&1)..." << QKeySequence();
        QTest::newRow("OFF31") << "OFF11Click" << 3 << "フラグ３をOFF(&3)" << QKeySequence();
        QTest::newRow("N11") << "OFF11Click" << 5 << "カウンタ２をゼロ (&5)" << QKeySequence();
        QTest::newRow("N71") << "OFF11Click" << 7 << "日付２をセット (&7)..." << QKeySequence();
        QTest::newRow("furagu1") << "popup_A4Click" << 1 << "フラグ１" << QKeySequence(Qt::CTRL | Qt::Key_F1);
        QTest::newRow("N27") << "popup_A4Click" << 13 << "フラグ３" << QKeySequence(Qt::SHIFT | Qt::Key_F3);
        QTest::newRow("N29") << "popup_N15Click" << 2 << "カウンタ２" << QKeySequence(Qt::CTRL | Qt::Key_F7);
        QTest::newRow("N30") << "popup_N16Click" << 1 << "日付１" << QKeySequence(Qt::SHIFT | Qt::Key_F6);
    }
    void menuItemsAndShortcuts()
    {
        QFETCH(QString, handler);
        QFETCH(int, tag);
        QFETCH(QString, caption);
        QFETCH(QKeySequence, key);
        form = std::make_unique<TMainForm>();
        QAction *a = form->action(handler, tag);
        QVERIFY(a);
        QCOMPARE(a->text(), caption);
        QCOMPARE(a->shortcut(), key);
    }

    // The shortcut reaches the command from the member list.
    void shortcutSetsTheFlag()
    {
        openOn("M:1,A:1,F1:1,C1:1,D1:1,U:0,F2:0,F3:0,C2:0,D2:0,S:0,");
        QApplication::setActiveWindow(form.get());
        QVERIFY(QTest::qWaitForWindowActive(form.get()));
        // The shortcuts belong to the member list: its page is in front and it has the focus.
        form->pages->setCurrentWidget(form->memberPage);
        form->memberList->setFocus();
        QCOMPARE(QApplication::focusWidget(), form->memberList);
        select({6});
        QTest::keyClick(form->memberList, Qt::Key_F3, Qt::ControlModifier);
        QCOMPARE(text("select Flg3 from MagUser where MagIdx = 1 and UserIdx = 6"), QString("1"));
    }
};

QTEST_MAIN(TestBulkWindow)
#include "tst_maintenance_bulk_window.moc"

// The magazine and member commands of the main window, driven headless as a user would:
// dialogs are filled and confirmed from inside their own exec(), and the store is checked
// against what the lists show.
#include "app/MemberList.h"
#include "members/CurrentMagazine.h"
#include "app/MainForm.h"
#include "issue/ui/FSendPage.h"
#include "fakes/ModalDialog.h"
#include "fakes/StoreFixture.h"
#include "fakes/TestEnv.h"
#include "members/ui/FDispOptDlg.h"
#include "members/ui/FMagzineDlg.h"
#include "members/ui/FUserDlg.h"
#include "members/MemberListModel.h"
#include "members/UMemberOrder.h"
#include "store/Database.h"
#include "widgets/MessageBox.h"

#include <QApplication>
#include <QCheckBox>
#include <QDateEdit>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QMenu>
#include <QPushButton>
#include <QSettings>
#include <QSpinBox>
#include <QTreeView>
#include <QTreeWidget>
#include <QtTest>

#include <functional>

class TestAppMembers : public QObject
{
    Q_OBJECT

private:
    std::unique_ptr<TestEnv> env;

    // Runs `fill` on the modal dialog of type T once it is open.
    static TMemberListModel *model(TMainForm &form) { return qobject_cast<TMemberListModel *>(form.memberList->model()); }
    static QStringList headers(TMainForm &form)
    {
        QStringList out;
        auto *m = form.memberList->model();
        for (int c = 0; m && c < m->columnCount(); ++c)
            out << m->headerData(c, Qt::Horizontal).toString();
        return out;
    }
    static QStringList column(TMainForm &form, int c)
    {
        QStringList out;
        for (int r = 0; r < model(form)->rowCount(); ++r)
            out << model(form)->cell(r, c);
        return out;
    }
    static void addMagazine(TMainForm &form, const QString &name)
    {
        ModalDialog::answer<TMagzineDlg>([name](TMagzineDlg *d) {
            d->nameEdit->setText(name);
            d->ownerEdit->setText("発行者");
            d->addressEdit->setText("owner@example.jp");
            d->Button1Click();
        });
        form.A2Click();
    }
    static void addMember(TMainForm &form, const QString &name, const QString &address, bool sleep = false)
    {
        ModalDialog::answer<TUserDlg>([=](TUserDlg *d) {
            d->nameEdit->setText(name);
            d->addressEdit->setText(address);
            d->sleepCheck->setChecked(sleep);
            d->Button1Click();
        });
        form.A1Click();
    }
    static void select(TMainForm &form, int magRow) { form.magazineList->setCurrentItem(form.magazineList->topLevelItem(magRow)); }
    static void selectMembers(TMainForm &form, const QList<int> &rows)
    {
        auto *sel = form.memberList->selectionModel();
        sel->clearSelection();
        for (int r : rows)
            sel->select(model(form)->index(r, 0), QItemSelectionModel::Select | QItemSelectionModel::Rows);
    }
    // Every row on screen is the stored member, cell for cell, and nothing else is stored.
    static void verifyStoreMatchesScreen(TMainForm &form)
    {
        TMemberListModel *m = model(form);
        QCOMPARE(Statement().scalar("select count(*) from MagUser where MagIdx = " + QString::number(form.Magazine->CurMagIdx())),
                 qint64(m->rowCount()));
        for (int r = 0; r < m->rowCount(); ++r) {
            const auto stored = MemberSql::load(form.Magazine->CurMagIdx(), m->userIdx(r));
            QVERIFY(stored);
            QCOMPARE(m->sleep(r), stored->sleep);
            QCOMPARE(MemberCells::cells(*stored, m->fields()), [&] {
                QStringList cells;
                for (int c = 0; c < m->columnCount(); ++c)
                    cells << m->cell(r, c);
                return cells;
            }());
        }
        const int magRow = form.FindMagazineRow();
        QVERIFY(magRow >= 0);
        QCOMPARE(form.magazineList->topLevelItem(magRow)->text(1), QString::number(m->rowCount()));
    }

private Q_SLOTS:
    void init()
    {
        env = std::make_unique<TestEnv>();
        MessageBox::takeShown();
    }
    void cleanup() { env.reset(); }

    // The member list deletes the highest member while an issue still had to reach them:
    // the issue has nothing left to send, and the next member added through the window gets
    // a number never given before, so the issue and the departed member's unsubscribe token
    // can never reach the newcomer.
    void deletedMemberThroughTheWindow()
    {
        TMainForm form;
        form.show();
        addMagazine(form, "便り");
        select(form, 0);
        addMember(form, "一", "one@example.jp");
        addMember(form, "二", "two@example.jp");
        addMember(form, "三", "three@example.jp");
        StoreFixture::addIssue(1, 1, {});
        for (int i = 1; i <= 3; ++i)
            StoreFixture::addRecipient(1, 1, i);
        StoreFixture::addSendStates(1, 1);
        Statement().exec("update SendState set State = 2 where MagUser < 3");
        QCOMPARE(SendStates::counts(1, 1).open(), 1);

        selectMembers(form, {2});
        MessageBox::queueAnswer(MessageBox::Answer::Yes);
        form.yu1Click();
        MessageBox::takeShown();
        QCOMPARE(model(form)->rowCount(), 2);
        const SendStateCounts c = SendStates::counts(1, 1);
        QCOMPARE(c.open(), 0);
        QCOMPARE(c.skipped, 1);
        QVERIFY(SendStates::resumable().isEmpty());

        addMember(form, "新", "new@example.jp");
        QCOMPARE(Statement().scalar("select UserIdx from MagUser where UserAdrs = 'new@example.jp'"), 4);
        QCOMPARE(SendStates::counts(1, 1).total(), 3);
    }

    void newUserWalkthrough()
    {
        TMainForm form;
        form.show();
        QCOMPARE(form.magazineList->topLevelItemCount(), 0);
        QVERIFY(headers(form).isEmpty());

        // A magazine with the defaults; afterwards none is current.
        addMagazine(form, "週刊 \"ツバメ\" 便①");
        QCOMPARE(form.magazineList->topLevelItemCount(), 1);
        QCOMPARE(form.magazineList->topLevelItem(0)->text(0), QString("週刊 \"ツバメ\" 便①"));
        QCOMPARE(form.magazineList->topLevelItem(0)->text(1), QString("0"));
        QCOMPARE(form.Magazine->CurMagIdx(), -1);
        form.A1Click();
        QCOMPARE(MessageBox::takeShown().value(0).text, QString("マガジン名を選択してください。"));

        select(form, 0);
        QCOMPARE(form.Magazine->CurMagIdx(), 1);
        QCOMPARE(form.MagNamePanel->text(), QString("週刊 \"ツバメ\" 便①"));
        QCOMPARE(form.Magazine->MagFieldNames()[4], QString("数字2"));
        QCOMPARE(headers(form), (QStringList{"メンバー名", "メールアドレス"}));
        QCOMPARE(form.memberList->ColumnMap()[0], 0);
        QCOMPARE(form.memberList->ColumnMap()[1], 1);
        QCOMPARE(form.memberList->ColumnMap()[2], -1);

        addMember(form, "山田 太郎", "taro@example.jp");
        addMember(form, "o'brien 😀", "bob@example.jp", true);
        addMember(form, "Alice", "alice@example.jp");
        QCOMPARE(model(form)->rowCount(), 3);
        QCOMPARE(column(form, 0), (QStringList{"山田 太郎", "o'brien 😀", "Alice"}));
        QVERIFY(model(form)->sleep(1));
        QCOMPARE(form.magazineList->topLevelItem(0)->text(1), QString("3"));
        verifyStoreMatchesScreen(form);

        // Display settings: the sign-up date first, the address hidden.
        ModalDialog::answer<TDispOptDlg>([](TDispOptDlg *d) {
            QListWidget *list = d->fieldList;
            list->item(10)->setCheckState(Qt::Checked);
            list->item(1)->setCheckState(Qt::Unchecked);
            list->setCurrentRow(10);
            for (int i = 0; i < 10; ++i)
                d->Button3Click();
            d->Button1Click();
        });
        form.O1Click();
        QCOMPARE(headers(form), (QStringList{"登録日", "メンバー名"}));
        const QString today = QDate::currentDate().toString("yyyy/MM/dd");
        QCOMPARE(column(form, 0), (QStringList{today, today, today}));
        verifyStoreMatchesScreen(form);

        // Sort by name: ascending, then descending.
        form.ListView2ColumnClick(1);
        QCOMPARE(column(form, 1), (QStringList{"Alice", "o'brien 😀", "山田 太郎"}));
        QCOMPARE(form.memberList->header()->sortIndicatorSection(), 1);
        QCOMPARE(form.memberList->header()->sortIndicatorOrder(), Qt::AscendingOrder);
        form.ListView2ColumnClick(1);
        QCOMPARE(column(form, 1), (QStringList{"山田 太郎", "o'brien 😀", "Alice"}));
        QCOMPARE(form.memberList->header()->sortIndicatorOrder(), Qt::DescendingOrder);
        form.ListView2ColumnClick(0);
        QCOMPARE(form.memberList->header()->sortIndicatorOrder(), Qt::AscendingOrder);
        form.ListView2ColumnClick(1);

        // Suspend a selection of one active and one suspended member: both switch.
        selectMembers(form, {0, 1});
        form.S2Click();
        QVERIFY(model(form)->sleep(0));
        QVERIFY(!model(form)->sleep(1));
        verifyStoreMatchesScreen(form);

        // Delete two members: asked once, rows go from the bottom up.
        selectMembers(form, {1, 2});
        MessageBox::queueAnswer(MessageBox::Answer::Yes);
        form.yu1Click();
        QCOMPARE(MessageBox::takeShown().value(0).text, QString("選択された複数のメンバーを削除します。よろしいですか？"));
        QCOMPARE(column(form, 1), (QStringList{"Alice"}));
        verifyStoreMatchesScreen(form);

        // One member: asked by name; No keeps it.
        selectMembers(form, {0});
        MessageBox::queueAnswer(MessageBox::Answer::No);
        form.yu1Click();
        QCOMPARE(MessageBox::takeShown().value(0).text, QString("「%1」を削除します。よろしいですか？").arg(today));
        QCOMPARE(model(form)->rowCount(), 1);
        verifyStoreMatchesScreen(form);

        // Refresh brings the store's order back; the arrow stays.
        form.N45Click();
        QCOMPARE(model(form)->rowCount(), 1);
        QVERIFY(form.memberList->header()->isSortIndicatorShown());
    }

    // Deleting many selected members: the rows the store took go from the list, a block
    // or rows spread over it alike; when the store refuses, the error is shown and the list
    // and the store stay as they were.
    void deleteSelectedMembers_data()
    {
        QTest::addColumn<QList<int>>("rows");
        QTest::addColumn<bool>("refused");
        QList<int> spread;
        for (int r = 1; r < 60; r += 2)
            spread << r;
        QTest::newRow("a block") << QList<int>{10, 11, 12, 13} << false;
        QTest::newRow("spread over the list") << spread << false;
        QTest::newRow("refused") << spread << true;
    }
    void deleteSelectedMembers()
    {
        QFETCH(QList<int>, rows);
        QFETCH(bool, refused);
        TMainForm form;
        form.show();
        addMagazine(form, "A");
        StoreFixture::insertMany("MagUser", 60, [](int i) {
            return StoreFixture::memberRow(1, i + 1, QStringLiteral("m%1").arg(i + 1), QStringLiteral("m%1@example.jp").arg(i + 1));
        });
        select(form, 0);
        form.N45Click();
        QCOMPARE(model(form)->rowCount(), 60);
        QStringList kept = column(form, 0);
        if (refused)
            Statement().exec("create temp trigger Refuse before delete on MagUser when old.UserIdx = 40"
                             " begin select raise(abort, 'refused'); end");
        else
            for (auto it = rows.crbegin(); it != rows.crend(); ++it)
                kept.removeAt(*it);
        selectMembers(form, rows);
        MessageBox::queueAnswer(MessageBox::Answer::Yes);
        form.yu1Click();
        const QList<MessageBox::Shown> shown = MessageBox::takeShown();
        QCOMPARE(shown.size(), refused ? 2 : 1);
        if (refused)
            QVERIFY(shown[1].text.contains("refused"));
        QCOMPARE(column(form, 0), kept);
        verifyStoreMatchesScreen(form);
    }

    void editMemberUpdatesRow()
    {
        TMainForm form;
        form.show();
        addMagazine(form, "A");
        select(form, 0);
        MemberOrder::save(1, "M:1,A:1,U:1,C1:1,");
        form.BuildMemberColumns();
        ModalDialog::answer<TUserDlg>([](TUserDlg *d) {
            d->nameEdit->setText("花子");
            d->addressEdit->setText("hanako@example.jp");
            d->urlEdit->setText("http://example.jp/");
            d->count1Spin->setValue(1234567);
            d->Button1Click();
        });
        form.A1Click();
        QCOMPARE(column(form, 3), (QStringList{"1,234,567"}));
        selectMembers(form, {0});
        ModalDialog::answer<TUserDlg>([](TUserDlg *d) {
            QCOMPARE(d->urlEdit->text(), QString("http://example.jp/"));
            QCOMPARE(d->flag1Check->toolTip(), QString("フラグ１"));
            d->urlEdit->clear();
            d->sleepCheck->setChecked(true);
            d->Button1Click();
        });
        form.E3Click();
        QCOMPARE(column(form, 2), (QStringList{""}));
        QVERIFY(model(form)->sleep(0));
        verifyStoreMatchesScreen(form);
    }

    void magazineListCountsSortAndDelete()
    {
        TMainForm form;
        form.show();
        addMagazine(form, "b");
        addMagazine(form, "A");
        addMagazine(form, "c");
        for (const auto &[magIdx, members] : {std::pair{1, 10}, std::pair{2, 9}})
            for (int i = 1; i <= members; ++i)
                StoreFixture::insert("MagUser", {{"MagIdx", magIdx}, {"UserIdx", i}, {"UserAdrs", "x@y.jp"}});
        form.LoadMagazineList();
        auto texts = [&](int c) {
            QStringList out;
            for (int i = 0; i < form.magazineList->topLevelItemCount(); ++i)
                out << form.magazineList->topLevelItem(i)->text(c);
            return out;
        };
        QCOMPARE(texts(1), (QStringList{"10", "9", "0"}));
        form.ListView1ColumnClick(1);
        QCOMPARE(texts(1), (QStringList{"0", "10", "9"}));
        form.ListView1ColumnClick(0);
        QCOMPARE(texts(0), (QStringList{"A", "b", "c"}));
        form.ListView1ColumnClick(0);
        QCOMPARE(texts(0), (QStringList{"c", "b", "A"}));

        // Select "b" (MagIdx 1), then delete it.
        select(form, 1);
        QCOMPARE(form.Magazine->CurMagIdx(), 1);
        QCOMPARE(model(form)->rowCount(), 10);
        StoreFixture::insert("MagInfo", {{"MagIdx", 1}, {"MagCnt", 1}, {"Title", "kept"}});
        MessageBox::queueAnswer(MessageBox::Answer::Cancel);
        form.D2Click();
        QCOMPARE(MessageBox::takeShown().value(0).text, QString("「b」を削除します。よろしいですか？"));
        QCOMPARE(form.magazineList->topLevelItemCount(), 3);
        MessageBox::queueAnswer(MessageBox::Answer::Yes);
        form.D2Click();
        MessageBox::takeShown();
        QCOMPARE(texts(0), (QStringList{"c", "A"}));
        QCOMPARE(Statement().scalar("select count(*) from Magzine where MagIdx = 1"), 0);
        QCOMPARE(Statement().scalar("select count(*) from MagUser where MagIdx = 1"), 0);
        QCOMPARE(Statement().scalar("select count(*) from MagInfo where MagIdx = 1"), 1);
        QVERIFY(MemberOrder::load(1));
        QCOMPARE(form.Magazine->CurMagIdx(), -1);
        QCOMPARE(model(form)->rowCount(), 0);
        form.A1Click();
        QCOMPARE(MessageBox::takeShown().value(0).text, QString("マガジン名を選択してください。"));
    }

    void editMagazineRenamesAndRelabels()
    {
        TMainForm form;
        // The send page's after-send boxes, wherever that page keeps them (stand-ins while
        // the page has none).
        if (!form.SendPage->findChild<QCheckBox *>("CheckBox1"))
            for (int i = 1; i <= 7; ++i)
                (new QCheckBox(form.SendPage))->setObjectName(QString("CheckBox%1").arg(i));
        form.show();
        addMagazine(form, "旧名");
        select(form, 0);
        auto *box7 = form.SendPage->findChild<QCheckBox *>("CheckBox7");
        QCOMPARE(box7->text(), QString("日付２を今日の日付"));
        QCOMPARE(box7->toolTip(), QString("日付２を今日の日付"));
        QCOMPARE(form.SendPage->findChild<QCheckBox *>("CheckBox1")->text(), QString("フラグ１をON"));
        QCOMPARE(form.SendPage->findChild<QCheckBox *>("CheckBox5")->text(), QString("数字2を加算"));
        ModalDialog::answer<TMagzineDlg>([](TMagzineDlg *d) {
            QCOMPARE(d->nameEdit->text(), QString("旧名"));
            d->nameEdit->setText("新名");
            d->flag1NameEdit->setText("会員");
            d->Button1Click();
        });
        form.E2Click();
        QCOMPARE(form.magazineList->topLevelItem(0)->text(0), QString("新名"));
        QCOMPARE(form.Magazine->MagFieldNames()[0], QString("会員"));
        QCOMPARE(form.SendPage->findChild<QCheckBox *>("CheckBox1")->text(), QString("会員をON"));
    }

    void columnWidthsSharedBetweenMagazines()
    {
        TMainForm form;
        form.show();
        addMagazine(form, "A");
        addMagazine(form, "B");
        select(form, 0);
        form.memberList->header()->resizeSection(0, 211);
        form.memberList->header()->resizeSection(1, 123);
        select(form, 1);
        QCOMPARE(form.memberList->header()->sectionSize(0), 211);
        QCOMPARE(form.memberList->header()->sectionSize(1), 123);
        QSettings settings("Brindlow", "Quillpost2");
        QCOMPARE(settings.value("List2Width1").toInt(), 211);
    }

    void refreshWithoutMagazineEmpties()
    {
        TMainForm form;
        form.show();
        addMagazine(form, "A");
        select(form, 0);
        addMember(form, "x", "x@example.jp");
        addMagazine(form, "B");  // no magazine current now, as after a deletion
        QCOMPARE(model(form)->rowCount(), 0);
        form.N45Click();
        QCOMPARE(model(form)->rowCount(), 0);
        QCOMPARE(Statement().scalar("select count(*) from MagUser"), 1);
    }

    // The member list's own context menu: an item changes the selected members in the store
    // and no other, and every cell then shows what the store holds.
    void contextMenuChangesTheSelection_data()
    {
        QTest::addColumn<QStringList>("path"); // the submenus' captions, then the item's
        QTest::addColumn<QString>("column");
        QTest::addColumn<QString>("stored"); // members 1, 2, 3
        QTest::addColumn<int>("shownIn");    // the column that shows it, -1 for the mark
        QTest::addColumn<QString>("shown");  // member 1's cell after the command
        QTest::addColumn<bool>("asks");      // a dialog asks for the value
        QTest::newRow("flag on") << QStringList{"フラグON(&N)", "フラグ２"} << "Flg2" << "1,0,1" << 3 << "ON" << false;
        QTest::newRow("flag off") << QStringList{"フラグOFF(&F)", "フラグ１"} << "Flg1" << "0,1,0" << 2 << "OFF"
                                  << false;
        QTest::newRow("counter") << QStringList{"カウンタ設定(&C)", "カウンタ１"} << "Count1" << "1234567,2000,1234567"
                                 << 4 << "1,234,567" << true;
        QTest::newRow("date") << QStringList{"日付設定(&H)", "日付２"} << "UserDate2" << "20080305,,20080305" << 5
                              << "2008/03/05" << true;
        QTest::newRow("suspend") << QStringList{"休止・再開(&S)"} << "Sleep" << "1,0,1" << -1 << "" << false;
    }
    void contextMenuChangesTheSelection()
    {
        QFETCH(QStringList, path);
        QFETCH(QString, column);
        QFETCH(QString, stored);
        QFETCH(int, shownIn);
        QFETCH(QString, shown);
        QFETCH(bool, asks);
        env->openStore();
        StoreFixture::addMagazine(1, "A");
        for (int i = 1; i <= 3; ++i)
            StoreFixture::addMember(1, i, QString("m%1").arg(i), QString("m%1@example.jp").arg(i),
                                    StoreFixture::blankMemberColumns()
                                        + StoreFixture::Row{{"Flg1", 1}, {"Count1", 1000 * i}, {"UserDate2", ""}});
        MemberOrder::save(1, "M:1,A:1,F1:1,F2:1,C1:1,D2:1,U:0,F3:0,C2:0,D1:0,S:0,");
        TMainForm form;
        form.show();
        select(form, 0);
        QCOMPARE(model(form)->rowCount(), 3);
        selectMembers(form, {0, 2});
        if (asks)
            ModalDialog::answer<QDialog>([](QDialog *d) {
                if (auto *spin = d->findChild<QSpinBox *>("NumberSpin1"))
                    spin->setValue(1234567);
                if (auto *day = d->findChild<QDateEdit *>("DateTimePicker1"))
                    day->setDate(QDate(2008, 3, 5));
                d->findChild<QPushButton *>("Button1")->click();
            });
        QMenu *menu = form.memberList->findChild<QMenu *>("PopupMenu1");
        QVERIFY(menu);
        QAction *item = nullptr;
        for (const QString &caption : path) {
            QVERIFY2(menu, qPrintable(caption));
            const QList<QAction *> actions = menu->actions();
            const auto it = std::find_if(actions.begin(), actions.end(), [&](QAction *a) { return a->text() == caption; });
            QVERIFY2(it != actions.end(), qPrintable(caption));
            item = *it;
            menu = item->menu();
        }
        item->trigger();
        Statement s;
        s.open("select " + column + " from MagUser where MagIdx = 1 order by UserIdx");
        QStringList values;
        while (s.next())
            values << s.text(0);
        QCOMPARE(values.join(','), stored);
        if (shownIn >= 0)
            QCOMPARE(model(form)->cell(0, shownIn), shown);
        else
            QVERIFY(model(form)->sleep(0));
        verifyStoreMatchesScreen(form);
        QVERIFY(MessageBox::takeShown().isEmpty());
    }

    void droppedText()
    {
        TMainForm form;
        form.show();
        addMagazine(form, "A");
        select(form, 0);
        form.OleDropTarget1Drop(" \r\n");
        QCOMPARE(form.memberList->DroppedText(), QString());
        QTest::qWait(50);  // nothing to read: no dialog
        QVERIFY(MessageBox::takeShown().isEmpty());
        bool answered = false;
        ModalDialog::answer<TUserDlg>([&](TUserDlg *d) {
            answered = true;
            QCOMPARE(d->nameEdit->text(), QString());
            QCOMPARE(d->addressEdit->text(), QString("yamada@example.jp"));
            QVERIFY(d->flag1Check->toolTip().isEmpty());
            d->Button1Click();
        });
        form.OleDropTarget1Drop("山田 <yamada@example.jp>");
        QCOMPARE(form.memberList->DroppedText(), QString("山田 <yamada@example.jp>"));
        QVERIFY(!answered);  // the dialog opens after the drop has returned
        QTRY_VERIFY(answered);
        QCOMPARE(column(form, 1), (QStringList{"yamada@example.jp"}));
        verifyStoreMatchesScreen(form);
    }

    // A click on a column title changes the header's arrow before the window hears of it;
    // the rows must still follow the arrow: up, down, another column up, and up again after
    // the columns are rebuilt, exactly as the sort commands do.
    void headerClicksSortLikeTheCommands()
    {
        TMainForm form;
        form.show();
        QVERIFY(QTest::qWaitForWindowExposed(&form));
        addMagazine(form, "A");
        select(form, 0);
        addMember(form, "b", "b@example.jp");
        addMember(form, "c", "c@example.jp");
        addMember(form, "a", "a@example.jp");
        QHeaderView *header = form.memberList->header();
        auto click = [](QHeaderView *h, int section) {
            QVERIFY(h->isVisible());
            // narrow columns, so the clicked one is on screen
            for (int i = 0; i < h->count(); ++i)
                h->resizeSection(i, 60);
            QVERIFY(h->sectionViewportPosition(section) + 60 <= h->viewport()->width());
            // apart in time, so that no two clicks make a double click
            QTest::qWait(QApplication::doubleClickInterval() + 50);
            QTest::mouseClick(h->viewport(), Qt::LeftButton, {},
                              QPoint(h->sectionViewportPosition(section) + 30, h->height() / 2));
        };
        auto arrow = [](QHeaderView *h) {
            return h->isSortIndicatorShown() ? QString("%1%2").arg(h->sortIndicatorSection()).arg(
                                                   h->sortIndicatorOrder() == Qt::AscendingOrder ? "^" : "v")
                                             : QString("-");
        };
        form.pages->setCurrentWidget(form.memberPage);
        QCOMPARE(arrow(header), QString("-"));
        click(header, 0);
        QCOMPARE(column(form, 0), (QStringList{"a", "b", "c"}));
        QCOMPARE(arrow(header), QString("0^"));
        QVERIFY(!form.memberList->SortDescending());
        click(header, 0);
        QCOMPARE(column(form, 0), (QStringList{"c", "b", "a"}));
        QCOMPARE(arrow(header), QString("0v"));
        QVERIFY(form.memberList->SortDescending());
        click(header, 1);
        QCOMPARE(column(form, 1), (QStringList{"a@example.jp", "b@example.jp", "c@example.jp"}));
        QCOMPARE(arrow(header), QString("1^"));
        QCOMPARE(form.memberList->MemberSortColumn(), 1);

        // Reloading keeps the arrow, and the next click on its column turns it down.
        form.N45Click();
        QCOMPARE(arrow(header), QString("1^"));
        click(header, 1);
        QCOMPARE(column(form, 1), (QStringList{"c@example.jp", "b@example.jp", "a@example.jp"}));
        QCOMPARE(arrow(header), QString("1v"));

        // Rebuilt columns have no arrow: the next click sorts up, by a click or by the command alike.
        form.BuildMemberColumns();
        QCOMPARE(arrow(header), QString("-"));
        click(header, 1);
        QCOMPARE(arrow(header), QString("1^"));
        form.BuildMemberColumns();
        form.LoadMemberRows(form.Magazine->CurMagIdx());
        form.ListView2ColumnClick(1);
        QCOMPARE(arrow(header), QString("1^"));
        QCOMPARE(column(form, 1), (QStringList{"a@example.jp", "b@example.jp", "c@example.jp"}));

        // The magazine list follows its header the same way.
        addMagazine(form, "B");
        QHeaderView *magHeader = form.magazineList->header();
        auto names = [&] {
            QStringList out;
            for (int i = 0; i < form.magazineList->topLevelItemCount(); ++i)
                out << form.magazineList->topLevelItem(i)->text(0);
            return out;
        };
        click(magHeader, 0);
        QCOMPARE(names(), (QStringList{"A", "B"}));
        QCOMPARE(arrow(magHeader), QString("0^"));
        QCOMPARE(form.magazineList->MagSortColumn(), 0);
        click(magHeader, 0);
        QCOMPARE(names(), (QStringList{"B", "A"}));
        QCOMPARE(arrow(magHeader), QString("0v"));
        form.ListView1ColumnClick(0);
        QCOMPARE(names(), (QStringList{"A", "B"}));
        QCOMPARE(arrow(magHeader), QString("0^"));
    }
};

QTEST_MAIN(TestAppMembers)
#include "tst_app_members.moc"

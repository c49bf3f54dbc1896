// Changing the current magazine through the window, by selecting, adding, editing or
// deleting one: the member list, its columns, the history, the magazine list's mark and the
// name beside the toolbar end up exactly as a window that chooses the same magazine afresh
// shows them, and the change is told once, with the new magazine's texts already readable.
#include "app/HistoryPage.h"
#include "app/MagazineList.h"
#include "app/MainForm.h"
#include "app/MemberList.h"
#include "fakes/ModalDialog.h"
#include "fakes/StoreFixture.h"
#include "fakes/TestEnv.h"
#include "members/CurrentMagazine.h"
#include "members/MemberListModel.h"
#include "members/UMagazineChoice.h"
#include "members/UMemberOrder.h"
#include "members/ui/FMagzineDlg.h"
#include "widgets/MessageBox.h"

#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QTreeWidget>
#include <QtTest>

class TestMagazineChoice : public QObject
{
    Q_OBJECT

private:
    std::unique_ptr<TestEnv> env;

    static void select(TMainForm &form, int magIdx)
    {
        for (int i = 0; i < form.magazineList->topLevelItemCount(); ++i)
            if (TMagazineList::magIdxOf(form.magazineList->topLevelItem(i)) == magIdx)
                form.magazineList->setCurrentItem(form.magazineList->topLevelItem(i));
    }
    static void fill(QDialog *d, const char *edit, const QString &text)
    {
        auto *e = d->findChild<QLineEdit *>(QLatin1String(edit));
        QVERIFY2(e, edit);
        e->setText(text);
    }
    // What the window shows of the current magazine, one line per part.
    static QString screen(TMainForm &form)
    {
        QStringList out;
        out << "current " + QString::number(form.Magazine->CurMagIdx());
        out << "name " + form.MagNamePanel->text();
        QStringList magazines;
        for (int i = 0; i < form.magazineList->topLevelItemCount(); ++i) {
            const QTreeWidgetItem *item = form.magazineList->topLevelItem(i);
            // the current one is marked in the role after the magazine number
            magazines << item->text(0) + " " + item->text(1) + (item->data(0, Qt::UserRole + 1).toBool() ? " *" : "");
        }
        magazines.sort();
        out << "magazines " + magazines.join(", ");
        const TMemberListModel *model = form.memberList->memberModel();
        QStringList headers;
        for (int c = 0; c < model->columnCount(); ++c)
            headers << model->headerData(c, Qt::Horizontal).toString();
        out << "columns " + headers.join(", ");
        for (int r = 0; r < model->rowCount(); ++r) {
            QStringList cells;
            for (int c = 0; c < model->columnCount(); ++c)
                cells << model->cell(r, c);
            out << "member " + cells.join(", ") + (model->sleep(r) ? " (休止)" : "");
        }
        for (int i = 0; i < form.historyList->topLevelItemCount(); ++i)
            out << "issue " + form.historyList->topLevelItem(i)->text(0);
        out << "preview " + form.historyPreview->toPlainText();
        return out.join('\n');
    }

private Q_SLOTS:
    void init()
    {
        env = std::make_unique<TestEnv>();
        env->openStore();
        StoreFixture::addMagazine(1, "週刊", StoreFixture::shopFieldNames());
        StoreFixture::addMagazine(2, "月刊");
        for (int i = 1; i <= 3; ++i)
            StoreFixture::addMember(1, i, QString("会員%1").arg(i), QString("m%1@example.jp").arg(i),
                                    StoreFixture::blankMemberColumns() + StoreFixture::Row{{"Count1", 1000 * i}});
        StoreFixture::addMember(2, 1, "月の人", "month@example.jp", {{"Sleep", 1}});
        MemberOrder::save(1, "M:1,A:1,F1:1,C1:1,U:0,F2:0,F3:0,C2:0,D1:0,D2:0,S:0,");
        StoreFixture::addIssue(1, 1, {"20240105", 3, "", "一月号", "本文", ""});
        StoreFixture::addIssue(2, 1, {"20240106", 1, "", "月刊一号", "本文", ""});
        MessageBox::takeShown();
    }
    void cleanup() { env.reset(); }

    void sameScreenAsChoosingAfresh_data()
    {
        QTest::addColumn<QString>("command");
        QTest::addColumn<int>("chosen");
        QTest::addColumn<QString>("told");
        QTest::newRow("select another") << "select" << 2 << "2 月刊 フラグ１";
        QTest::newRow("edit the current one") << "edit" << 1 << "1 週刊増刊 会員";
        QTest::newRow("add one") << "add" << int(MagazineChoice::None) << "-1  既読";
        QTest::newRow("delete the current one") << "delete" << int(MagazineChoice::None) << "-1  既読";
    }
    void sameScreenAsChoosingAfresh()
    {
        QFETCH(QString, command);
        QFETCH(int, chosen);
        QFETCH(QString, told);
        QString after;
        {
            TMainForm form;
            form.show();
            select(form, 1);
            // the first magazine's history and one issue's preview are on screen
            form.H1Click();
            QCOMPARE(form.historyList->topLevelItemCount(), 1);
            form.historyList->setCurrentItem(form.historyList->topLevelItem(0));
            QCOMPARE(form.historyPreview->toPlainText(), QString("本文"));
            QStringList heard;
            connect(form.Magazine, &CurrentMagazine::changed, this, [&] {
                heard << QString("%1 %2 %3").arg(form.Magazine->CurMagIdx()).arg(form.Magazine->name(),
                                                                                 form.Magazine->MagFieldNames()[0]);
            });
            if (command == "select") {
                select(form, 2);
            } else if (command == "edit") {
                ModalDialog::answer<TMagzineDlg>([](TMagzineDlg *d) {
                    fill(d, "Edit1", "週刊増刊");
                    fill(d, "Edit5", "会員");
                    d->Button1Click();
                });
                form.E2Click();
            } else if (command == "add") {
                ModalDialog::answer<TMagzineDlg>([](TMagzineDlg *d) {
                    fill(d, "Edit1", "新刊");
                    fill(d, "Edit2", "発行者");
                    fill(d, "Edit3", "new@example.jp");
                    d->Button1Click();
                });
                form.A2Click();
            } else {
                MessageBox::queueAnswer(MessageBox::Answer::Yes);
                form.D2Click();
            }
            QCOMPARE(heard, QStringList{told});
            QCOMPARE(int(MessageBox::takeShown().size()), command == "delete" ? 1 : 0);
            after = screen(form);
            form.close();
        }
        TMainForm fresh;
        fresh.show();
        if (MagazineChoice::isChosen(chosen))
            select(fresh, chosen);
        QCOMPARE(fresh.Magazine->CurMagIdx(), chosen);
        QCOMPARE(after, screen(fresh));
    }

    // Selecting the magazine that is already current changes nothing and tells no one.
    void selectingTheCurrentOneAgainIsQuiet()
    {
        TMainForm form;
        form.show();
        select(form, 1);
        QSignalSpy changed(form.Magazine, &CurrentMagazine::changed);
        form.magazineList->clearSelection();
        select(form, 1);
        QCOMPARE(changed.size(), 0);
        QCOMPARE(form.memberList->memberModel()->rowCount(), 3);
    }
};

QTEST_MAIN(TestMagazineChoice)
#include "tst_app_magazine_choice.moc"

// The history tab as a user meets it: two issues sent, listed newest first, previewed,
// loaded back into the composer, their recipients listed, and deleted up to a day.
#include "members/CurrentMagazine.h"
#include "app/HistoryPage.h"
#include "app/MainForm.h"
#include "fakes/ModalDialog.h"
#include "fakes/StoreFixture.h"
#include "fakes/TestEnv.h"
#include "issue/ui/FHistDlg.h"
#include "issue/UIssue.h"
#include "maintenance/ui/FDateDlg.h"
#include "store/Database.h"
#include "store/SendStates.h"
#include "widgets/MessageBox.h"

#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QTabWidget>
#include <QTextEdit>
#include <QTreeWidget>
#include <QtTest>

class TestHistoryWindow : public QObject
{
    Q_OBJECT

private:
    std::unique_ptr<TestEnv> env;
    std::unique_ptr<TMainForm> form;

    static void exec(const QString &sql) { Statement().exec(sql); }
    static qint64 scalar(const QString &sql) { return Statement().scalar(sql); }
    static QString shownTexts()
    {
        QStringList out;
        for (const auto &s : MessageBox::takeShown())
            out << s.text;
        return out.join('|');
    }

    static void addMagazine(int magIdx, const QString &name) { StoreFixture::addMagazine(magIdx, name); }
    static void addMember(int magIdx, int userIdx, const QString &name, const QString &address)
    {
        StoreFixture::addMember(magIdx, userIdx, name, address);
    }
    // Sends an issue to every member of the magazine the way the send command records it.
    static int send(int magIdx, const QDateTime &when, const QString &title, const QString &body,
                    const QString &condition = "無条件")
    {
        IssueRecord issue;
        issue.magIdx = magIdx;
        issue.where = Recipients::all(magIdx);
        issue.condition = condition;
        issue.targetCount = CountTargets(issue.where);
        issue.title = title;
        issue.body = body;
        issue.created = when;
        const int magCnt = CreateIssue(issue);
        // Delivered: every recipient recorded as sent, so no issue is left to resume.
        QList<SendResult> sent;
        for (const SendStateRow &row : SendStates::rows(magIdx, magCnt)) {
            SendResult r;
            r.MagUser = row.MagUser;
            r.state = SendState::Sent;
            r.reply = "250 ok";
            r.attempts = 1;
            sent << r;
        }
        SendStates::record(magIdx, magCnt, QString(), sent);
        return magCnt;
    }

    void openOn(int magIdx)
    {
        form = std::make_unique<TMainForm>();
        form->show();
        for (int i = 0; i < form->magazineList->topLevelItemCount(); ++i)
            if (form->magazineList->topLevelItem(i)->data(0, Qt::UserRole).toInt() == magIdx)
                form->magazineList->setCurrentItem(form->magazineList->topLevelItem(i));
        QCOMPARE(form->Magazine->CurMagIdx(), magIdx);
    }
    QStringList column(int c) const
    {
        QStringList out;
        for (int i = 0; i < form->historyList->topLevelItemCount(); ++i)
            out << form->historyList->topLevelItem(i)->text(c);
        return out;
    }
    void selectHistoryRow(int row) { form->historyList->setCurrentItem(form->historyList->topLevelItem(row)); }

private Q_SLOTS:
    void init()
    {
        env = std::make_unique<TestEnv>();
        env->openStore();
        addMagazine(1, "週刊ツバメ");
        addMagazine(2, "別マガジン");
        addMember(1, 1, "山田太郎", "taro@example.jp");
        addMember(1, 2, "佐藤花子", "hanako@example.jp");
        addMember(2, 1, "別の人", "other@example.jp");
        MessageBox::takeShown();
    }
    void cleanup()
    {
        if (form)
            form->close();
        form.reset();
        env.reset();
    }

    void twoIssuesListedPreviewedAndLoaded()
    {
        QCOMPARE(send(1, QDateTime(QDate(2024, 1, 10), QTime(9, 0)), "一月号", "It's \"new\"\r\n二行目"), 1);
        QCOMPARE(send(2, QDateTime(QDate(2024, 1, 20), QTime(9, 0)), "別号", "x"), 2);
        QCOMPARE(send(1, QDateTime(QDate(2024, 2, 10), QTime(9, 0)), "二月号", "二月の本文",
                      "フラグ１が\r\nONの\r\nメンバー"),
                 3);
        openOn(1);
        form->subjectEdit->setText("書きかけ");
        form->pages->setCurrentWidget(form->HistoryPage); // bringing the tab to front loads it
        QCOMPARE(form->historyList->topLevelItemCount(), 2);
        QCOMPARE(column(0), (QStringList{"二月号", "一月号"}));
        QCOMPARE(column(1), (QStringList{"3", "1"}));
        QCOMPARE(column(2), (QStringList{"2024/02/10 09:00:00", "2024/01/10 09:00:00"}));
        QCOMPARE(column(3), (QStringList{"2", "2"}));
        QCOMPARE(column(4), (QStringList{"フラグ１が ONの メンバー", "無条件"}));
        QCOMPARE(form->historyList->topLevelItem(1)->data(0, Qt::UserRole).toInt(), 1);

        selectHistoryRow(1);
        QCOMPARE(form->historyPreview->toPlainText(), QString("It's \"new\"\n二行目"));

        form->E4Click();
        QCOMPARE(form->pages->currentWidget(), form->mailPage);
        QCOMPARE(form->subjectEdit->text(), QString("一月号"));
        QCOMPARE(form->bodyEdit->toPlainText(), QString("It's \"new\"\n二行目"));
        QCOMPARE(shownTexts(), QString());
    }

    void recipientsListed()
    {
        send(1, QDateTime(QDate(2024, 3, 1), QTime(12, 0)), "三月号", "本文");
        addMember(1, 3, "後から入会", "late@example.jp"); // joined after the issue
        openOn(1);
        form->H1Click();
        QCOMPARE(form->pages->currentWidget(), form->HistoryPage);
        selectHistoryRow(0);
        QStringList lines;
        QString date, title;
        ModalDialog::whenShown<THistDlg>([&](THistDlg *d) {
            lines = d->lines();
            date = d->sentAtLabel->text();
            title = d->subjectLabel->text();
            d->closeButton->click();
        });
        form->action("M1Click", 1)->trigger();
        lines.sort();
        QCOMPARE(lines, (QStringList{"佐藤花子 <hanako@example.jp>  送信済", "山田太郎 <taro@example.jp>  送信済"}));
        QCOMPARE(date, QString("2024/03/01 12:00:00"));
        QCOMPARE(title, QString("三月号"));

        exec("delete from MagUser where MagIdx = 1 and UserIdx = 1");
        ModalDialog::whenShown<THistDlg>([&](THistDlg *d) {
            lines = d->lines();
            d->closeButton->click();
        });
        form->M1Click(1);
        // a member deleted since the issue keeps its line, by number, with how its mail went
        QCOMPARE(lines, (QStringList{"（削除されたメンバー 1）  送信済", "佐藤花子 <hanako@example.jp>  送信済"}));
    }

    void commandsOnOneIssueNeedMagazineAndRow()
    {
        send(1, QDateTime(QDate(2024, 3, 1), QTime(12, 0)), "三月号", "本文");
        form = std::make_unique<TMainForm>();
        form->show();
        form->E4Click();
        form->M1Click(1);
        form->H1Click();
        QCOMPARE(shownTexts(), QString("マガジン名を選択してください。|マガジン名を選択してください。|"
                                       "マガジン名を選択してください。"));
        form.reset();
        openOn(1);
        form->H1Click();
        form->historyList->clearSelection();
        form->E4Click();
        form->M1Click(1);
        QCOMPARE(shownTexts(), QString("表示する履歴を選択してください。|表示する履歴を選択してください。"));
        // selecting another magazine empties the list
        for (int i = 0; i < form->magazineList->topLevelItemCount(); ++i)
            if (form->magazineList->topLevelItem(i)->data(0, Qt::UserRole).toInt() == 2)
                form->magazineList->setCurrentItem(form->magazineList->topLevelItem(i));
        QCOMPARE(form->historyList->topLevelItemCount(), 0);
    }

    // Deleting up to today takes today's issues of this magazine only, though the other
    // magazine's issues carry the same dates; the list shows what is left.
    void deleteUpToToday()
    {
        const QDate today = QDate::currentDate();
        send(1, QDateTime(today, QTime(0, 0, 0)), "今朝", "a");
        send(2, QDateTime(today, QTime(0, 0, 0)), "別・今朝", "b");
        send(1, QDateTime(today, QTime(23, 59, 59)), "今夜", "c");
        send(2, QDateTime(today, QTime(23, 59, 59)), "別・今夜", "d");
        send(1, QDateTime(today.addDays(1), QTime(0, 0, 0)), "明日", "e");
        openOn(1);
        form->H1Click();
        QCOMPARE(form->historyList->topLevelItemCount(), 3);

        bool asked = false;
        ModalDialog::whenShown<TDateDlg>([&](TDateDlg *d) {
            asked = true;
            QCOMPARE(d->fieldLabel->text(), QString("削除日付"));
            QCOMPARE(d->date(), today);
            d->cancelButton->click();
        });
        form->D4Click();
        QVERIFY(asked);
        QCOMPARE(shownTexts(), QString()); // cancelled at the date: no question

        ModalDialog::whenShown<TDateDlg>([](TDateDlg *d) { d->okButton->click(); });
        MessageBox::queueAnswer(MessageBox::Answer::Cancel);
        form->D4Click();
        QCOMPARE(shownTexts(), today.toString("yyyy/MM/dd") + "以前の履歴データを削除します。よろしいですか？");
        QCOMPARE(scalar("select count(*) from MagInfo"), qint64(5));

        ModalDialog::whenShown<TDateDlg>([](TDateDlg *d) { d->okButton->click(); });
        MessageBox::queueAnswer(MessageBox::Answer::Ok);
        form->action("D4Click")->trigger();
        QCOMPARE(scalar("select count(*) from MagInfo where MagIdx = 1"), qint64(1));
        QCOMPARE(scalar("select count(*) from MagHist where MagIdx = 1"), qint64(2));
        QCOMPARE(scalar("select count(*) from MagInfo where MagIdx = 2"), qint64(2));
        QCOMPARE(scalar("select count(*) from MagHist where MagIdx = 2"), qint64(2));
        QCOMPARE(column(0), QStringList{"明日"});
    }

    void columnWidthsKeptBetweenRuns()
    {
        form = std::make_unique<TMainForm>();
        form->show();
        form->historyList->setColumnWidth(0, 211);
        form->historyList->setColumnWidth(4, 333);
        form->close();
        form = std::make_unique<TMainForm>();
        QCOMPARE(form->historyList->columnWidth(0), 211);
        QCOMPARE(form->historyList->columnWidth(4), 333);
        QCOMPARE(form->historyList->columnCount(), 6);
    }

    void deleteWithoutMagazineDoesNothing()
    {
        form = std::make_unique<TMainForm>();
        form->show();
        bool asked = false;
        ModalDialog::whenShown<TDateDlg>(
            [&](TDateDlg *d) {
                asked = true;
                d->cancelButton->click();
            },
            300);
        form->D4Click();
        QTest::qWait(400);
        QVERIFY(!asked);
        QCOMPARE(shownTexts(), QString());
    }
};

QTEST_MAIN(TestHistoryWindow)
#include "tst_issue_history_window.moc"

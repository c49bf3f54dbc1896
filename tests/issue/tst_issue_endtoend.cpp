// A new user's first issue, headless from an empty HOME: a magazine with a signature, three
// members, a personalised body with quotes, "フラグがON", a real SMTP server on loopback.
#include "mail/DeliveryProgress.h"
#include "members/CurrentMagazine.h"
#include "app/MainForm.h"
#include "fakes/MailServers.h"
#include "fakes/ModalDialog.h"
#include "fakes/TestEnv.h"
#include "issue/ui/FComposer.h"
#include "issue/ui/FSendPage.h"
#include "issue/ui/FSignDlg.h"
#include "issue/ui/RadioGroup.h"
#include "mail/DeliveryManager.h"
#include "mail/ui/FConnDlg.h"
#include "members/ui/FMagzineDlg.h"
#include "members/ui/FUserDlg.h"
#include "store/Codec.h"
#include "store/Database.h"
#include "store/Sql.h"
#include "widgets/FileDialog.h"
#include "widgets/MessageBox.h"

#include <QCheckBox>
#include <QComboBox>
#include <QDir>
#include <QFile>
#include <QJsonObject>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QSpinBox>
#include <QTextEdit>
#include <QTreeWidget>
#include <QtTest>

class TestIssueEndToEnd : public QObject
{
    Q_OBJECT

private:
    std::unique_ptr<TestEnv> env;

    static void addMember(TMainForm &form, const QString &name, const QString &address, bool flag1)
    {
        ModalDialog::whenShown<TUserDlg>([=](TUserDlg *d) {
            d->nameEdit->setText(name);
            d->addressEdit->setText(address);
            d->flag1Check->setChecked(flag1);
            d->Button1Click();
        });
        form.A1Click();
    }

private Q_SLOTS:
    void init() { env = std::make_unique<TestEnv>(); }
    void cleanup()
    {
        env.reset();
    }

    void firstIssueReachesExactlyTheFlaggedMembers()
    {
        SmtpTestServer server;
        QVERIFY2(server.start(), qPrintable(server.error()));

        TMainForm form;
        QVERIFY(form.startedOk());
        form.show();
        QVERIFY(QTest::qWaitForWindowExposed(&form));

        // the mail server, entered in the connection dialog
        const quint16 port = server.port();
        ModalDialog::whenShown<TConnDlg>([port](TConnDlg *d) {
            d->smtpHostEdit->setText(QStringLiteral("127.0.0.1"));
            d->smtpPortSpin->setValue(port);
            d->Button1Click();
        });
        form.C1Click();
        QCOMPARE(form.Conn.SmtpHost, QStringLiteral("127.0.0.1"));

        // a signature for the magazine to use
        QFile sig(form.DataDir + "sign/tsubame.txt");
        QVERIFY(sig.open(QIODevice::WriteOnly));
        sig.write(Codec::toCp932(QStringLiteral("--\r\nツバメ便 編集部\r\n")));
        sig.close();

        ModalDialog::whenShown<TMagzineDlg>([](TMagzineDlg *d) {
            d->nameEdit->setText(QStringLiteral("ツバメ通信"));
            d->ownerEdit->setText(QStringLiteral("ツバメ出版"));
            d->addressEdit->setText(QStringLiteral("owner@example.jp"));
            d->salutationEdit->setText(QStringLiteral("読者各位"));
            d->flag1NameEdit->setText(QStringLiteral("購読"));
            d->signatureCombo->setCurrentIndex(d->signatureCombo->findText(QStringLiteral("tsubame.txt")));
            d->Button1Click();
        });
        form.A2Click();
        QCOMPARE(form.magazineList->topLevelItemCount(), 1);
        form.magazineList->setCurrentItem(form.magazineList->topLevelItem(0));
        QCOMPARE(form.Magazine->CurMagIdx(), 1);
        QCOMPARE(form.Magazine->MagSign(), QStringLiteral("tsubame.txt"));
        QCOMPARE(form.SendPage->CheckBoxes[0]->text(), QStringLiteral("購読をON"));

        addMember(form, QStringLiteral("山田 太郎"), QStringLiteral("taro@example.jp"), true);
        addMember(form, QStringLiteral("鈴木 花子"), QStringLiteral("hanako@example.jp"), false);
        addMember(form, QStringLiteral("O'Brien \"Bob\""), QStringLiteral("bob@example.jp"), true);
        QCOMPARE(Statement().scalar("select count(*) from MagUser where MagIdx = 1"), 3);

        // compose: subject, a personalised body with quotes, and the signature at the end
        form.pages->setCurrentWidget(form.mailPage);
        form.subjectEdit->setText(QStringLiteral("It's \"news\" 第1号"));
        form.bodyEdit->setPlainText(QStringLiteral("[member name] 様\nDon't miss \"this\".\n"));
        form.bodyEdit->moveCursor(QTextCursor::End);
        form.templateCombo->setCurrentIndex(form.templateCombo->findText(QStringLiteral("署名")));
        form.Composer->Button3Click();
        const QString body = QStringLiteral("[member name] 様\r\nDon't miss \"this\".\r\n--\r\nツバメ便 編集部\r\n");
        QCOMPARE(form.Composer->body(), body);

        // send to the flagged members, counting up counter 1 afterwards
        form.pages->setCurrentWidget(form.SendPage);
        TSendPage *page = form.SendPage;
        page->conditionGroup->setItemIndex(3);
        page->RadioGroup3Click(3);
        page->fieldGroup->setItemIndex(0);
        page->CheckBoxes[3]->setChecked(true);
        MessageBox::takeShown();
        MessageBox::queueAnswer(MessageBox::Answer::Yes);
        page->Button1Click();
        const auto shown = MessageBox::takeShown();
        QCOMPARE(shown.size(), 1);
        QCOMPARE(shown[0].text, QStringLiteral("購読がONのメンバー\r\n上記の条件でメールを送信します。よろしいですか？"));

        // the issue is recorded at once, body escaped, with its two recipients
        Statement s;
        s.open("select * from MagInfo where MagIdx = 1 and MagCnt = 1");
        QVERIFY(s.next());
        QCOMPARE(s.integer("SendCnt"), 2);
        QCOMPARE(s.text("Condition"), QStringLiteral("購読がONのメンバー"));
        QCOMPARE(s.text("Title"), QStringLiteral("It's \"news\" 第1号"));
        QCOMPARE(s.text("Body"), QStringLiteral("[member name] 様\r\nDon\\~t miss \\^this\\^.\r\n--\r\nツバメ便 編集部\r\n"));
        QCOMPARE(s.text("UpdateSQL"), QStringLiteral("set Count1 = Count1 + 1"));
        s.close();
        QCOMPARE(form.Progress->SendTotal(), 2);
        s.open("select U.UserName from MagHist H, MagUser U where H.MagIdx = 1 and H.MagCnt = 1 "
               "and U.MagIdx = 1 and U.UserIdx = H.MagUser order by U.UserIdx");
        QStringList recipients;
        while (s.next())
            recipients << s.text(0);
        s.close();
        QCOMPARE(recipients, (QStringList{"山田 太郎", "O'Brien \"Bob\""}));

        // each flagged member gets a mail of their own, read back by Python's email package
        QVERIFY(server.waitFor(2, 30000));
        QTest::qWait(300);
        const auto got = server.received();
        QCOMPARE(got.size(), 2);
        QMap<QString, QString> names{{"taro@example.jp", "山田 太郎"}, {"bob@example.jp", "O'Brien \"Bob\""}};
        QStringList reached;
        for (const auto &r : got) {
            QCOMPARE(r.to.size(), 1);
            reached << r.to.first();
            const QJsonObject mail = ReadMail(r.path);
            QCOMPARE(mail["subject"].toString(), QStringLiteral("It's \"news\" 第1号"));
            QCOMPARE(mail["to_name"].toString(), QStringLiteral("読者各位"));
            QCOMPARE(mail["from_addr"].toString(), QStringLiteral("owner@example.jp"));
            QString text = mail["body"].toString();
            text.replace("\r\n", "\n");
            qInfo().noquote() << "received for" << r.to.first() << "subject" << mail["subject"].toString() << "body"
                              << text.section('\n', 0, 1);
            QCOMPARE(text, names.value(r.to.first()) + QStringLiteral(" 様\nDon't miss \"this\".\n--\nツバメ便 編集部\n"));
        }
        reached.sort();
        QCOMPARE(reached, (QStringList{"bob@example.jp", "taro@example.jp"}));

        // after completion: recipient rows complete, counter 1 raised for the recipients only
        QTRY_COMPARE_WITH_TIMEOUT(Statement().scalar("select count(*) from MagHist where MagCnt = 1 and SendComplete = 1"),
                                  2, 30000);
        QTRY_COMPARE(Statement().scalar("select sum(Count1) from MagUser where MagIdx = 1 and Flg1 = 1"), 2);
        QCOMPARE(Statement().scalar("select Count1 from MagUser where MagIdx = 1 and Flg1 = 0"), 0);
        QTRY_COMPARE(form.Progress->SentCount(), 2);
        QVERIFY(form.Deliveries->waitForAll(30000));

        // sending again records a new issue with the next number; nothing on the window was reset
        QCOMPARE(form.subjectEdit->text(), QStringLiteral("It's \"news\" 第1号"));
        QCOMPARE(page->conditionGroup->itemIndex(), 3);
        form.close();
    }

    void signatureLinkOpensTheEditor()
    {
        TMainForm form;
        QVERIFY(form.startedOk());
        QFile sig(form.DataDir + "sign/a.txt");
        QVERIFY(sig.open(QIODevice::WriteOnly));
        sig.write(Codec::toCp932(QStringLiteral("署名です\r\n")));
        sig.close();
        QString seenName, seenText;
        ModalDialog::whenShown<TMagzineDlg>([&](TMagzineDlg *d) {
            d->signatureCombo->setCurrentIndex(d->signatureCombo->findText(QStringLiteral("a.txt")));
            ModalDialog::whenShown<TSignDlg>([&](TSignDlg *s) {
                seenName = s->FileNameBand->text();
                seenText = s->textMemo->toPlainText();
                // save it under a new name: the magazine dialog lists it afterwards
                s->textMemo->setPlainText(QStringLiteral("新しい署名"));
                FileDialog::queueFileName(form.DataDir + "sign/b");
                s->SaveAs1Click();
                s->Close1Click();
            });
            d->Label4Click();
            QVERIFY(d->signatureCombo->findText(QStringLiteral("b.txt")) >= 0);
            QCOMPARE(d->signatureCombo->currentText(), QStringLiteral("a.txt"));
            d->reject();
        });
        form.A2Click();
        QCOMPARE(seenName, QStringLiteral("a.txt"));
        QCOMPARE(seenText, QStringLiteral("署名です"));
    }

    // The signature link belongs to the window that opened the dialog: once a window has
    // come and gone, a magazine dialog of its own opens no editor (nor reaches the old window).
    void signatureLinkWithoutWindowOpensNothing()
    {
        {
            TMainForm form;
            QVERIFY(form.startedOk());
            form.close();
        }
        TMagzineDlg dlg(env->dataDir());
        dlg.FormShow();
        bool editorShown = false;
        ModalDialog::whenShown<TSignDlg>([&](TSignDlg *s) {
            editorShown = true;
            s->reject();
        }, 200);
        dlg.Label4Click();
        QTest::qWait(300);
        QVERIFY(!editorShown);
    }
};

QTEST_MAIN(TestIssueEndToEnd)
#include "tst_issue_endtoend.moc"

// What comes back to the sender, from the window: the inbox dialog against a real POP3
// server on loopback (its settings saved, members changed, only what was dealt with gone
// from the mailbox, the summary shown), and the member list's columns of returned mail.
#include "app/MemberList.h"
#include "fakes/MailServers.h"
#include "fakes/StoreFixture.h"
#include "fakes/TestEnv.h"
#include "mail/UnsubscribeToken.h"
#include "mail/ui/FInboxDlg.h"
#include "members/CurrentMagazine.h"
#include "members/MemberBounceColumns.h"
#include "members/MemberListModel.h"
#include "members/UMemberOrder.h"
#include "store/Database.h"
#include "store/InboxSettings.h"
#include "store/UnsubscribeKey.h"
#include "widgets/MessageBox.h"

#include <QComboBox>
#include <QLineEdit>
#include <QRadioButton>
#include <QSpinBox>
#include <QtTest>

namespace {

QByteArray unsubscribeMail(const QString &token)
{
    return "From: a@example.jp\r\nTo: stop@example.jp\r\nSubject: unsubscribe " + token.toLatin1()
        + "\r\nMessage-ID: <1@example.jp>\r\n\r\n\r\n";
}

const QByteArray kUnrelated = "From: friend@example.jp\r\nTo: stop@example.jp\r\nSubject: =?UTF-8?B?"
                              + QByteArray("こんにちは").toBase64()
                              + "?=\r\nMessage-ID: <2@example.jp>\r\n\r\nお元気ですか\r\n";

qint64 sleepOf(int userIdx)
{
    return Statement().scalar(QStringLiteral("select Sleep from MagUser where MagIdx = 1 and UserIdx = %1").arg(userIdx));
}

} // namespace

class TestAppReplies : public QObject
{
    Q_OBJECT
    std::unique_ptr<TestEnv> env;

private Q_SLOTS:
    void init()
    {
        env = std::make_unique<TestEnv>();
        env->openStore();
        StoreFixture::insert("Magzine", {{"MagIdx", 1}, {"MagName", "便り"}, {"Owner", "o"},
                                         {"Adrs", "o@example.jp"}, {"Atena", "様"}});
        StoreFixture::insert("MagUser", {{"MagIdx", 1}, {"UserIdx", 1}, {"UserName", "一郎"}, {"UserAdrs", "a@example.jp"}});
        StoreFixture::insert("MagUser", {{"MagIdx", 1}, {"UserIdx", 2}, {"UserName", "二郎"}, {"UserAdrs", "b@example.jp"}});
        MemberOrder::save(1, "M:1,A:1,");
        MessageBox::takeShown();
    }
    void cleanup()
    {
        MessageBox::takeShown();
        env.reset();
    }

    void passOverARealMailbox()
    {
        Pop3TestServer pop;
        QVERIFY2(pop.start("inbox", "secret"), qPrintable(pop.error()));
        const QString token = UnsubscribeToken::make(UnsubscribeKey::load(), 1, 2);
        QVERIFY2(pop.deliver("inbox", unsubscribeMail(token)), qPrintable(pop.error()));
        QVERIFY2(pop.deliver("inbox", kUnrelated), qPrintable(pop.error()));
        QCOMPARE(pop.messageCount("inbox"), 2);

        TInboxDlg dlg;
        dlg.FormShow();
        QVERIFY(dlg.PopRowRadio->isChecked());
        dlg.OwnRadio->setChecked(true);
        dlg.HostEdit->setText("127.0.0.1");
        dlg.PortSpin->setValue(pop.port());
        dlg.UserEdit->setText("inbox");
        dlg.PasswordEdit->setText("secret");
        dlg.RunButtonClick();

        QVERIFY(dlg.ran());
        QCOMPARE(dlg.summary().end, InboxSummary::End::Done);
        QCOMPARE(dlg.summary().unsubscribed, 1);
        const auto shown = MessageBox::takeShown();
        QCOMPARE(shown.size(), 1);
        QCOMPARE(shown[0].kind, MessageBox::Kind::Info);
        QCOMPARE(shown[0].text, dlg.summary().text());
        QCOMPARE(sleepOf(2), 1);
        QCOMPARE(sleepOf(1), 0);
        // The request is gone; the friend's mail stays for the user to read.
        QCOMPARE(pop.messageCount("inbox"), 1);
        // The settings were kept for the next time.
        const InboxSettings saved = InboxSettings::load();
        QVERIFY(saved.useOwn);
        QCOMPARE(saved.host, QString("127.0.0.1"));
        QCOMPARE(saved.port, int(pop.port()));
        QCOMPARE(saved.user, QString("inbox"));
        QCOMPARE(saved.password, QString("secret"));
        // Back again: the dialog starts from them.
        TInboxDlg again;
        again.FormShow();
        QVERIFY(again.OwnRadio->isChecked());
        QCOMPARE(again.PortSpin->value(), int(pop.port()));
    }

    void ownServerNeedsAHost()
    {
        TInboxDlg dlg;
        dlg.FormShow();
        dlg.OwnRadio->setChecked(true);
        dlg.HostEdit->clear();
        dlg.RunButtonClick();
        QVERIFY(!dlg.ran());
        const auto shown = MessageBox::takeShown();
        QCOMPARE(shown.size(), 1);
        QCOMPARE(shown[0].text, QString("POPサーバを入力してください"));
        QVERIFY(!InboxSettings::load().useOwn);
    }

    void portFollowsTheEncryption()
    {
        TInboxDlg dlg;
        dlg.FormShow();
        dlg.TlsCombo->setCurrentIndex(2);
        QCOMPARE(dlg.PortSpin->value(), 995);
        dlg.TlsCombo->setCurrentIndex(1);
        QCOMPARE(dlg.PortSpin->value(), 110);
        dlg.PortSpin->setValue(1995);
        dlg.TlsCombo->setCurrentIndex(2);
        QCOMPARE(dlg.PortSpin->value(), 1995);
    }

    // IMAP from the dialog: the kind of server, the folder to move processed mail to and the
    // days after which mail left alone goes are kept with the server, and a pass uses them.
    void passOverARealImapMailbox()
    {
        Pop3TestServer server;
        QVERIFY2(server.start("inbox", "secret", false, true), qPrintable(server.error()));
        const QString token = UnsubscribeToken::make(UnsubscribeKey::load(), 1, 2);
        QVERIFY2(server.deliver("inbox", unsubscribeMail(token)), qPrintable(server.error()));
        QVERIFY2(server.deliver("inbox", kUnrelated), qPrintable(server.error()));

        TInboxDlg dlg;
        dlg.FormShow();
        QVERIFY(!dlg.MoveToEdit->isEnabled());  // the POP row is POP3
        dlg.OwnRadio->setChecked(true);
        dlg.ProtocolCombo->setCurrentIndex(1);
        QCOMPARE(dlg.PortSpin->value(), 143);
        QVERIFY(dlg.MoveToEdit->isEnabled());
        dlg.HostEdit->setText("127.0.0.1");
        dlg.PortSpin->setValue(server.imapPort());
        dlg.UserEdit->setText("inbox");
        dlg.PasswordEdit->setText("secret");
        dlg.MoveToEdit->setText(QStringLiteral("処理済み"));
        dlg.DeleteUnknownSpin->setValue(30);
        dlg.RunButtonClick();

        QVERIFY(dlg.ran());
        QVERIFY2(dlg.summary().end == InboxSummary::End::Done, qPrintable(dlg.summary().text()));
        QCOMPARE(dlg.summary().unsubscribed, 1);
        MessageBox::takeShown();
        QCOMPARE(sleepOf(2), 1);
        QCOMPARE(server.messageCount("inbox"), 1);
        QCOMPARE(server.messageCount("inbox", QStringLiteral("&UeZ0Bm4IMH8-")), 1);
        const InboxSettings saved = InboxSettings::load();
        QCOMPARE(saved.protocol, 1);
        QCOMPARE(saved.moveTo, QStringLiteral("処理済み"));
        QCOMPARE(saved.deleteUnknownAfterDays, 30);
        TInboxDlg again;
        again.FormShow();
        QCOMPARE(again.ProtocolCombo->currentIndex(), 1);
        QCOMPARE(again.MoveToEdit->text(), QStringLiteral("処理済み"));
        QCOMPARE(again.DeleteUnknownSpin->value(), 30);
        QCOMPARE(again.PortSpin->value(), int(server.imapPort()));
    }

    void portFollowsTheProtocol()
    {
        TInboxDlg dlg;
        dlg.FormShow();
        dlg.OwnRadio->setChecked(true);
        dlg.ProtocolCombo->setCurrentIndex(1);
        QCOMPARE(dlg.PortSpin->value(), 143);
        dlg.TlsCombo->setCurrentIndex(2);
        QCOMPARE(dlg.PortSpin->value(), 993);
        dlg.ProtocolCombo->setCurrentIndex(0);
        QCOMPARE(dlg.PortSpin->value(), 995);
        dlg.PortSpin->setValue(2000);
        dlg.ProtocolCombo->setCurrentIndex(1);
        QCOMPARE(dlg.PortSpin->value(), 2000);
    }

    void memberListShowsReturnedMail()
    {
        StoreFixture::insert("MemberBounce", {{"MagIdx", 1}, {"UserIdx", 2}, {"Bounces", 3}, {"HardBounces", 2},
                                              {"LastReason", "550 5.1.1 user unknown"}, {"LastDate", "2026/12/10 09:00"}});
        CurrentMagazine magazine;
        magazine.choose(1);
        TMemberList list(magazine);
        list.BuildMemberColumns();
        list.LoadMemberRows(1);
        QCOMPARE(list.memberModel()->columnCount(), 2);
        list.Bounces1Click();
        TMemberListModel *model = list.memberModel();
        QCOMPARE(model->columnCount(), 4);
        QCOMPARE(model->headerData(2, Qt::Horizontal).toString(), QString("不達回数"));
        const int row = model->rowOf(2);
        QCOMPARE(model->cell(row, 2), QString("3 (5xx 2)"));
        QCOMPARE(model->cell(row, 3), QString("2026/12/10 09:00 550 5.1.1 user unknown"));
        QCOMPARE(model->cell(model->rowOf(1), 2), QString());
        // A member saved from its dialog keeps what came back to it on the list.
        model->setRow(row, false, {"二郎さん", "b@example.jp", QString(), QString()});
        QCOMPARE(model->cell(row, 0), QString("二郎さん"));
        QCOMPARE(model->cell(row, 2), QString("3 (5xx 2)"));
        // The choice is remembered by the next list.
        TMemberList next(magazine);
        QVERIFY(next.ShowBounces());
        list.Bounces1Click();
        QCOMPARE(list.memberModel()->columnCount(), 2);
    }
};

QTEST_MAIN(TestAppReplies)
#include "tst_app_replies.moc"

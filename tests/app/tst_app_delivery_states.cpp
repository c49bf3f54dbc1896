// Unfinished deliveries as the window offers them: the question at start, the history's
// state column, "再開" and "失敗分の再送" on the history page, and the delivery settings of
// the connection dialog as the main window saves them.
#include "app/MainForm.h"
#include "app/HistoryPage.h"
#include "fakes/MailServers.h"
#include "fakes/ModalDialog.h"
#include "fakes/StoreFixture.h"
#include "fakes/TestEnv.h"
#include "mail/DeliveryManager.h"
#include "mail/DeliveryProgress.h"
#include "mail/ui/DeliveryControls.h"
#include "mail/ui/FConnDlg.h"
#include "members/CurrentMagazine.h"
#include "store/PreparedStatement.h"
#include "store/Database.h"
#include "store/SendSettings.h"
#include "store/SendStates.h"
#include "store/ServerSettings.h"
#include "widgets/MessageBox.h"

#include <QAction>
#include <QLineEdit>
#include <QSignalSpy>
#include <QLabel>
#include <QSpinBox>
#include <QToolButton>
#include <QTcpServer>
#include <QTreeWidget>
#include <QtTest>

Q_DECLARE_METATYPE(MessageBox::Answer)

namespace {

SendResult result(qint64 member, SendState state, const QString &reply = {})
{
    SendResult r;
    r.MagUser = member;
    r.state = state;
    r.reply = reply;
    r.attempts = state == SendState::Skipped ? 0 : 1;
    if (state == SendState::Deferred)
        r.nextTry = QDateTime::currentDateTime().addSecs(3600);
    return r;
}

// A loopback port nobody listens on: a delivery started by a test is refused at once and
// sends nothing anywhere.
int closedPort()
{
    QTcpServer server;
    if (!server.listen(QHostAddress::LocalHost, 0))
        return 0;
    const int port = server.serverPort();
    server.close();
    return port;
}

QStringList shownTexts()
{
    QStringList out;
    for (const auto &s : MessageBox::takeShown())
        out << s.text;
    return out;
}

} // namespace

class TestAppDeliveryStates : public QObject
{
    Q_OBJECT

    std::unique_ptr<TestEnv> env;
    std::unique_ptr<TMainForm> form;
    std::unique_ptr<QSignalSpy> dispatched;

    // An issue of magazine 1 to members 1 to `members`, dated by its number.
    static void addIssue(int magCnt, int members)
    {
        StoreFixture::addIssue(1, magCnt,
                               {.addDate = QStringLiteral("2026/12/%1 09:00:00").arg(magCnt, 2, 10, QLatin1Char('0')),
                                .sendCnt = members,
                                .title = QStringLiteral("第%1号の件名").arg(magCnt)});
        for (int m = 1; m <= members; ++m)
            StoreFixture::addRecipient(1, magCnt, m);
    }

    // The window, with a watch on the deliveries it starts from the moment it exists.
    void openWindow()
    {
        form = std::make_unique<TMainForm>();
        dispatched = std::make_unique<QSignalSpy>(form->Deliveries, &DeliveryManager::Dispatched);
        form->show();
        for (int i = 0; i < form->magazineList->topLevelItemCount(); ++i)
            if (form->magazineList->topLevelItem(i)->data(0, Qt::UserRole).toInt() == 1)
                form->magazineList->setCurrentItem(form->magazineList->topLevelItem(i));
        QCOMPARE(form->Magazine->CurMagIdx(), 1);
    }
    void showHistory()
    {
        form->H1Click();
        MessageBox::takeShown();
    }
    void selectIssue(int magCnt)
    {
        for (int i = 0; i < form->historyList->topLevelItemCount(); ++i)
            if (form->historyList->topLevelItem(i)->data(0, Qt::UserRole).toInt() == magCnt)
                form->historyList->setCurrentItem(form->historyList->topLevelItem(i));
    }
    QList<int> dispatchedCounts() const
    {
        QList<int> out;
        for (const auto &args : *dispatched)
            out << args.at(0).toInt();
        return out;
    }
    static QString stateOf(int magCnt, qint64 member)
    {
        for (const SendStateRow &row : SendStates::rows(1, magCnt))
            if (row.MagUser == member)
                return SendStateName(row.state) + QLatin1Char(' ') + row.reply;
        return {};
    }

private Q_SLOTS:
    void init()
    {
        env = std::make_unique<TestEnv>();
        env->openStore();
        StoreFixture::addMagazine(1, "週刊ツバメ");
        for (int m = 1; m <= 4; ++m)
            StoreFixture::addMember(1, m, QStringLiteral("会員%1").arg(m), QStringLiteral("m%1@example.jp").arg(m));
        ServerSettings server;
        server.SmtpHost = QStringLiteral("127.0.0.1");
        server.SmtpPort = closedPort();
        ServerSettings::save(server);
        MessageBox::takeShown();
    }
    void cleanup()
    {
        if (form) {
            form->Deliveries->stopAll();
            QVERIFY(form->Deliveries->waitForAll(30000));
            form->close();
        }
        dispatched.reset();
        form.reset();
        env.reset();
    }

    // Issue 1 was left by a killed run; issue 2 ended, issue 3 is older than the records.
    void resumeQuestionAtStart_data()
    {
        QTest::addColumn<bool>("yes");
        QTest::newRow("yes") << true;
        QTest::newRow("no") << false;
    }
    void resumeQuestionAtStart()
    {
        QFETCH(bool, yes);
        addIssue(1, 4);
        StoreFixture::addSendStates(1, 1, {result(1, SendState::Sent), result(2, SendState::Deferred, "451 later")}, {4});
        addIssue(2, 2);
        StoreFixture::addSendStates(1, 2, {result(1, SendState::Sent), result(2, SendState::Sent)});
        StoreFixture::addIssue(1, 3, {.addDate = "2020/01/01 00:00:00", .sendCnt = 1, .title = "昔の号"});
        StoreFixture::addRecipient(1, 3, 1);

        MessageBox::queueAnswer(yes ? MessageBox::Answer::Yes : MessageBox::Answer::No);
        openWindow();
        const auto shown = MessageBox::takeShown();
        QCOMPARE(shown.size(), 1);
        QCOMPARE(shown[0].kind, MessageBox::Kind::Confirm);
        const QStringList lines = shown[0].text.split('\n');
        QCOMPARE(lines.value(2), QString("週刊ツバメ 第1号「第1号の件名」 未送信 1 件、保留 1 件、結果不明 1 件"));
        QCOMPARE(lines.value(3), QString());  // the ended and the older issue are not offered
        QVERIFY(shown[0].text.contains("履歴の「失敗分の再送」"));
        if (yes) {
            // The waiting and the deferred recipient; the one of the killed group is not resent.
            QCOMPARE(dispatchedCounts(), QList<int>{2});
        } else {
            QCOMPARE(dispatchedCounts(), QList<int>{});
            const SendStateCounts left = SendStates::counts(1, 1);
            QCOMPARE(left.waiting, 1);
            QCOMPARE(left.deferred, 1);
            // The killed group's row was settled as the start-up read the issue.
            QCOMPARE(left.sending, 0);
            QVERIFY(left.unknown >= 1);
        }
    }

    void nothingToResumeAsksNothing()
    {
        addIssue(1, 2);
        StoreFixture::addSendStates(1, 1, {result(1, SendState::Sent), result(2, SendState::Failed, "550 no")});
        openWindow();
        QCOMPARE(shownTexts(), QStringList());
        QCOMPARE(dispatchedCounts(), QList<int>{});
    }

    // One issue in each state, and what the history's commands allow for it.
    void stateColumn()
    {
        addIssue(1, 2);  // recorded before the per-recipient records
        addIssue(2, 2);
        StoreFixture::addSendStates(1, 2, {result(1, SendState::Sent), result(2, SendState::Skipped)});
        addIssue(3, 2);
        StoreFixture::addSendStates(1, 3, {result(1, SendState::Sent), result(2, SendState::Failed, "550 no")});
        addIssue(4, 2);
        StoreFixture::addSendStates(1, 4, {result(1, SendState::Sent)});
        addIssue(5, 2);
        StoreFixture::addSendStates(1, 5);
        QVERIFY(SendLock::acquire(1, 5));
        openWindow();
        showHistory();
        QCOMPARE(form->historyList->headerItem()->text(5), QString("状態"));
        QStringList states, resume, resend;
        for (int i = 0; i < form->historyList->topLevelItemCount(); ++i) {
            states << form->historyList->topLevelItem(i)->text(5);
            form->historyList->setCurrentItem(form->historyList->topLevelItem(i));
            resume << (form->action("Resume1Click")->isEnabled() ? "再開" : "-");
            resend << (form->action("Resend1Click")->isEnabled() ? "再送" : "-");
        }
        QCOMPARE(states, (QStringList{"送信中", "中断", "一部失敗", "完了", ""}));
        QCOMPARE(resume, (QStringList{"-", "再開", "-", "-", "-"}));
        QCOMPARE(resend, (QStringList{"-", "-", "再送", "-", "-"}));

        // When a delivery ends, the column follows.
        SendLock::release(1, 5);
        Q_EMIT form->Deliveries->Ended(1, 5);
        QCOMPARE(form->historyList->topLevelItem(0)->text(5), QString("中断"));
    }

    void stateColumnWidthIsKept()
    {
        openWindow();
        form->historyList->setColumnWidth(5, 91);
        QVERIFY(form->close());
        form.reset();
        QSettings s(env->settingsFile(), QSettings::NativeFormat);
        QCOMPARE(s.value("List4Width6").toInt(), 91);
        openWindow();
        QCOMPARE(form->historyList->columnWidth(5), 91);
    }

    void resumeCommand_data()
    {
        QTest::addColumn<int>("magCnt");
        QTest::addColumn<QList<int>>("started");
        QTest::addColumn<QString>("warning");
        QTest::newRow("stopped") << 1 << QList<int>{3} << QString();
        QTest::newRow("done") << 2 << QList<int>{} << "この号には送信の残りがありません。";
        QTest::newRow("running") << 3 << QList<int>{} << "この号はいま配信中です。\r\n%holder";
        QTest::newRow("older") << 4 << QList<int>{} << "この号には宛先ごとの配信の記録がありません。";
    }
    void resumeCommand()
    {
        QFETCH(int, magCnt);
        addIssue(1, 4);
        StoreFixture::addSendStates(1, 1, {result(1, SendState::Sent), result(2, SendState::Deferred, "451 later")});
        addIssue(2, 1);
        StoreFixture::addSendStates(1, 2, {result(1, SendState::Sent)});
        addIssue(3, 1);
        StoreFixture::addSendStates(1, 3);
        QVERIFY(SendLock::acquire(1, 3));
        addIssue(4, 1);
        openWindow();
        showHistory();
        selectIssue(magCnt);
        form->Resume1Click();
        QFETCH(QList<int>, started);
        QFETCH(QString, warning);
        warning.replace("%holder", SendLockHolderText(*SendLock::holder(1, 3)));
        QCOMPARE(dispatchedCounts(), started);
        QCOMPARE(shownTexts(), warning.isEmpty() ? QStringList() : QStringList{warning});
        SendLock::release(1, 3);
    }

    // Closing the window while a delivery waits for its pace: the delivery pauses, what went
    // out is recorded, the lock is given back, and the next start offers the rest.
    void closingPausesTheDelivery()
    {
        SmtpTestServer::Options o;
        o.tls = false;
        o.auth = false;
        SmtpTestServer server;
        QVERIFY2(server.start(o), qPrintable(server.error()));
        ServerSettings settings;
        settings.SmtpHost = QStringLiteral("127.0.0.1");
        settings.SmtpPort = server.port();
        ServerSettings::save(settings);
        DeliverySettings pace;
        pace.pacing.perMinute = 1;  // a minute between mails: the delivery waits after the first
        SendSettings::save(pace);
        addIssue(1, 4);
        Statement().exec("update Magzine set UseUserName = 1 where MagIdx = 1");  // one mail each
        openWindow();
        form->StartMailThread(1, 1, 4);
        QVERIFY(server.waitFor(1, 20000));
        MessageBox::queueAnswer(MessageBox::Answer::Yes);  // "送信中のメールがあります。…"
        QVERIFY(form->close());
        QCOMPARE(form->Deliveries->running(), 0);
        dispatched.reset();
        form.reset();

        env->openStore();
        const SendStateCounts left = SendStates::counts(1, 1);
        QCOMPARE(left.sent, 1);
        QCOMPARE(left.waiting, 3);
        QVERIFY(!SendLock::isHeld(1, 1));
        QCOMPARE(SendStates::resumable().size(), 1);
        QCOMPARE(server.received().size(), 1);
    }

    // A delivery another process holds is named with who holds it and since when: in the
    // start-up offer, in the history's state column and its tooltip, and when asked to resume.
    void holderIsNamed()
    {
        addIssue(1, 2);
        StoreFixture::addSendStates(1, 1, {result(1, SendState::Sent)});
        addIssue(2, 2);
        StoreFixture::addSendStates(1, 2);
        const qint64 since = QDateTime(QDate(2026, 12, 10), QTime(9, 5)).toSecsSinceEpoch();
        PreparedStatement lock(QStringLiteral(
            "insert into SendLock (MagIdx,MagCnt,Host,Pid,Started,BootId,Since,Heartbeat) values(1,2,?,4242,1,'',?,?)"));
        lock.run({QStringLiteral("elsewhere"), since, QDateTime::currentSecsSinceEpoch()});
        addIssue(3, 1);
        StoreFixture::addSendStates(1, 3);
        QVERIFY(SendLock::acquire(1, 3));
        const QString elsewhere = QStringLiteral("ホスト elsewhere のプロセス 4242 (2026/12/10 09:05 から)");
        const QString here = SendLockHolderText(*SendLock::holder(1, 3));

        MessageBox::queueAnswer(MessageBox::Answer::No);
        openWindow();
        const QStringList offer = shownTexts().value(0).split('\n');
        QCOMPARE(offer.value(2), QString("週刊ツバメ 第1号「第1号の件名」 未送信 1 件、保留 0 件、結果不明 0 件"));
        QVERIFY2(offer.contains("次の号はほかの配信が送信中のため、再開しません。"), qPrintable(offer.join('|')));
        QVERIFY(offer.contains("週刊ツバメ 第2号「第2号の件名」 " + elsewhere));
        QVERIFY(offer.contains("週刊ツバメ 第3号「第3号の件名」 " + here));

        showHistory();
        QStringList states, tips;
        for (int i = 0; i < form->historyList->topLevelItemCount(); ++i) {
            states << form->historyList->topLevelItem(i)->text(5);
            tips << form->historyList->topLevelItem(i)->toolTip(5);
        }
        // This window's own delivery needs no name in the column.
        QCOMPARE(states, (QStringList{"送信中", "送信中（" + elsewhere + "）", "中断"}));
        QCOMPARE(tips, (QStringList{here + " が送信中", elsewhere + " が送信中", ""}));

        selectIssue(2);
        form->Resume1Click();
        QCOMPARE(shownTexts(), QStringList{"この号はいま配信中です。\r\n" + elsewhere});
        QCOMPARE(dispatchedCounts(), QList<int>{});
        SendLock::release(1, 3);
    }

    // The cancel question of a delivery that ends while it is open goes with it: nothing is
    // cancelled, whatever the answer would have been.
    void cancelQuestionGoesWithTheDelivery_data()
    {
        QTest::addColumn<bool>("endsMeanwhile");
        QTest::newRow("ends while asked") << true;
        QTest::newRow("still stopped when answered") << false;
    }
    void cancelQuestionGoesWithTheDelivery()
    {
        QFETCH(bool, endsMeanwhile);
        addIssue(1, 4);
        StoreFixture::addSendStates(1, 1);
        openWindow();
        QCOMPARE(shownTexts().size(), 1);  // the start-up offer, declined
        auto *buttons = form->findChild<TDeliveryControls *>(QStringLiteral("DeliveryButtons"));
        QVERIFY(buttons);
        // The delivery the buttons follow, as the manager tells it.
        Q_EMIT form->Deliveries->Started(1, 1);
        SendStateCounts left;
        left.waiting = 4;
        const auto end = [this, left] {
            Q_EMIT form->Deliveries->Summary({1, 1, DeliveryEnd::Paused, left});
            Q_EMIT form->Deliveries->Ended(1, 1);
        };
        if (endsMeanwhile)
            MessageBox::queueMeanwhile(end);
        else
            end();
        MessageBox::queueAnswer(MessageBox::Answer::Yes);
        QVERIFY(buttons->cancelButton()->isVisibleTo(form.get()));
        buttons->cancelButton()->click();
        const auto shown = MessageBox::takeShown();
        QVERIFY(!shown.isEmpty());
        QCOMPARE(shown[0].kind, MessageBox::Kind::Confirm);
        QVERIFY(shown[0].text.startsWith("この号の配信を中止しますか？"));
        QCOMPARE(shown[0].withdrawn, endsMeanwhile);
        const SendStateCounts after = SendStates::counts(1, 1);
        if (endsMeanwhile) {
            QCOMPARE(shown.size(), 1);
            QCOMPARE(after.waiting, 4);
            QCOMPARE(after.failed, 0);
            QCOMPARE(buttons->stateLabel()->text(), QString("一時停止中"));
        } else {
            // Answered for a stopped delivery: its rest fails, and the summary says so.
            QCOMPARE(shown.size(), 2);
            QVERIFY(shown[1].text.contains("失敗 4"));
            QCOMPARE(after.failed, 4);
        }
    }

    // Pausing from the progress area: the status says the pause is on its way until the
    // worker has stopped, then "一時停止中"; what was sent is sent, the rest waits, and no
    // recipient is failed or unknown.
    void pauseWaitsForTheWorker()
    {
        SmtpTestServer::Options o;
        o.tls = false;
        o.auth = false;
        SmtpTestServer server;
        QVERIFY2(server.start(o), qPrintable(server.error()));
        ServerSettings settings;
        settings.SmtpHost = QStringLiteral("127.0.0.1");
        settings.SmtpPort = server.port();
        ServerSettings::save(settings);
        DeliverySettings pace;
        pace.pacing.perMinute = 1;  // a minute between mails: the delivery waits after the first
        SendSettings::save(pace);
        addIssue(1, 4);
        Statement().exec("update Magzine set UseUserName = 1 where MagIdx = 1");  // one mail each
        openWindow();
        auto *buttons = form->findChild<TDeliveryControls *>(QStringLiteral("DeliveryButtons"));
        form->StartMailThread(1, 1, 4);
        QVERIFY(server.waitFor(1, 20000));
        buttons->pauseButton()->click();
        QCOMPARE(buttons->stateLabel()->text(), QString("送信中のメールを終えてから一時停止します"));
        QVERIFY(!buttons->pauseButton()->isEnabled());
        QTRY_COMPARE_WITH_TIMEOUT(buttons->stateLabel()->text(), QString("一時停止中"), 30000);
        QVERIFY(buttons->resumeButton()->isVisibleTo(form.get()));
        QTRY_COMPARE(form->Deliveries->running(), 0);
        QCOMPARE(shownTexts(), QStringList());
        const SendStateCounts left = SendStates::counts(1, 1);
        QCOMPARE(left.sent, 1);
        QCOMPARE(left.waiting, 3);
        QCOMPARE(left.failed + left.unknown + left.sending, 0);
        QCOMPARE(form->Progress->SentCount(), 1);
        QCOMPARE(form->Progress->SendTotal(), 4);
    }

    void resendCommand_data()
    {
        QTest::addColumn<QList<MessageBox::Answer>>("answers");
        QTest::addColumn<QList<int>>("started");
        QTest::addColumn<QString>("failed");
        QTest::addColumn<QString>("unknown");
        using A = MessageBox::Answer;
        QTest::newRow("failed and unknown") << QList<A>{A::Yes, A::Yes} << QList<int>{2} << "" << "";
        QTest::newRow("failed only") << QList<A>{A::Yes, A::No} << QList<int>{1} << "" << "unknown 中断により結果不明";
        QTest::newRow("cancelled at the second question")
            << QList<A>{A::Yes, A::Cancel} << QList<int>{} << "failed 550 no such user" << "unknown 中断により結果不明";
        QTest::newRow("no") << QList<A>{A::No} << QList<int>{} << "failed 550 no such user"
                            << "unknown 中断により結果不明";
    }
    void resendCommand()
    {
        QFETCH(QList<MessageBox::Answer>, answers);
        addIssue(1, 3);
        StoreFixture::addSendStates(1, 1, {result(1, SendState::Sent), result(2, SendState::Failed, "550 no such user")},
                                    {3});
        // The killed run's group, as the next delivery of the issue leaves it.
        QVERIFY(SendLock::acquire(1, 1));
        SendStates::settleInterrupted(1, 1);
        SendLock::release(1, 1);
        QCOMPARE(SendStates::counts(1, 1).unknown, 1);
        openWindow();
        showHistory();
        selectIssue(1);
        QVERIFY(form->action("Resend1Click")->isEnabled());
        for (auto a : answers)
            MessageBox::queueAnswer(a);
        form->Resend1Click();
        const QStringList asked = shownTexts();
        QCOMPARE(asked.value(0), QString("この号には失敗 1 件、結果不明 1 件の宛先があります。\n同じ発行番号で再送しますか？"));
        QCOMPARE(asked.size(), answers.size());
        QFETCH(QList<int>, started);
        QFETCH(QString, failed);
        QFETCH(QString, unknown);
        QCOMPARE(dispatchedCounts(), started);
        // What was queued again is no longer as it was, whatever the delivery has made of it
        // since; what was not is untouched.
        if (failed.isEmpty())
            QVERIFY(stateOf(1, 2) != "failed 550 no such user");
        else
            QCOMPARE(stateOf(1, 2), failed);
        if (unknown.isEmpty())
            QVERIFY(!stateOf(1, 3).startsWith("unknown"));
        else
            QCOMPARE(stateOf(1, 3), unknown);
        QCOMPARE(stateOf(1, 1), QString("sent "));
    }

    // The connection dialog's delivery settings, saved by the main window with the others.
    void connectionDialogSavesDeliverySettings()
    {
        openWindow();
        ModalDialog::whenShown<TConnDlg>([](TConnDlg *d) {
            QCOMPARE(d->retryEdit->text(), QString("1m,5m,15m,1h"));
            d->retryEdit->setText("5s,30s,2m");
            d->perMinuteSpin->setValue(20);
            d->perHourSpin->setValue(600);
            d->perConnectionSpin->setValue(50);
            d->pauseSpin->setValue(3);
            d->Button1Click();
        });
        form->C1Click();
        DeliverySettings expected;
        expected.retry.delaysSeconds = {5, 30, 120};
        expected.pacing = {20, 600, 50, 3000};
        QCOMPARE(SendSettings::load(), expected);
        QCOMPARE(ServerSettings::load().SmtpHost, QString("127.0.0.1"));
    }
};

QTEST_MAIN(TestAppDeliveryStates)
#include "tst_app_delivery_states.moc"

// Where each recipient of an issue stands, as the window words it: the start-up question, the
// resend questions, and the recipients view with each state and the server's last reply.
#include "fakes/StoreFixture.h"
#include "fakes/TestEnv.h"
#include "issue/DeliveryOffers.h"
#include "issue/ui/FHistDlg.h"
#include "store/Database.h"
#include "widgets/MessageBox.h"

#include <QElapsedTimer>
#include <QLabel>
#include <QtTest>

Q_DECLARE_METATYPE(SendStateCounts)

namespace {

SendStateCounts counts(qint64 waiting, qint64 sending, qint64 sent, qint64 deferred, qint64 failed, qint64 skipped,
                       qint64 unknown)
{
    SendStateCounts c;
    c.waiting = waiting;
    c.sending = sending;
    c.sent = sent;
    c.deferred = deferred;
    c.failed = failed;
    c.skipped = skipped;
    c.unknown = unknown;
    return c;
}

IssueStateRow issue(int magCnt, const QString &title, const SendStateCounts &c)
{
    IssueStateRow row;
    row.MagIdx = 1;
    row.MagCnt = magCnt;
    row.MagName = QStringLiteral("週刊ツバメ");
    row.Title = title;
    row.counts = c;
    row.state = IssueState::Stopped;
    return row;
}

SendResult result(qint64 member, SendState state, const QString &reply, int attempts = 1,
                  const QDateTime &nextTry = {})
{
    SendResult r;
    r.MagUser = member;
    r.state = state;
    r.reply = reply;
    r.attempts = attempts;
    r.nextTry = nextTry;
    return r;
}

} // namespace

class TestIssueDeliveryStates : public QObject
{
    Q_OBJECT

    std::unique_ptr<TestEnv> env;

private Q_SLOTS:
    void init()
    {
        env = std::make_unique<TestEnv>();
        env->openStore();
        MessageBox::takeShown();
    }
    void cleanup() { env.reset(); }

    void whatIsLeft_data()
    {
        QTest::addColumn<SendStateCounts>("counts");
        QTest::addColumn<QString>("text");
        QTest::addColumn<qint64>("resume");
        QTest::addColumn<bool>("canResume");
        QTest::addColumn<bool>("canResend");
        // A killed run's "sending" recipients are counted as unknown, which they become, and
        // are not among those a resume sends to.
        QTest::newRow("killed") << counts(3, 2, 5, 1, 0, 0, 1) << "未送信 3 件、保留 1 件、結果不明 3 件" << qint64(4)
                                << true << true;
        QTest::newRow("only the killed group left")
            << counts(0, 2, 5, 0, 0, 0, 0) << "未送信 0 件、保留 0 件、結果不明 2 件" << qint64(0) << true << false;
        QTest::newRow("done") << counts(0, 0, 5, 0, 0, 1, 0) << "未送信 0 件、保留 0 件、結果不明 0 件" << qint64(0)
                              << false << false;
        QTest::newRow("failed") << counts(0, 0, 5, 0, 2, 0, 0) << "未送信 0 件、保留 0 件、結果不明 0 件" << qint64(0)
                                << false << true;
    }
    void whatIsLeft()
    {
        QFETCH(SendStateCounts, counts);
        QFETCH(QString, text);
        QFETCH(qint64, resume);
        QFETCH(bool, canResume);
        QFETCH(bool, canResend);
        QCOMPARE(DeliveryOffers::leftText(counts), text);
        QCOMPARE(DeliveryOffers::resumeCount(counts), resume);
        QCOMPARE(DeliveryOffers::canResume(counts), canResume);
        QCOMPARE(DeliveryOffers::canResend(counts), canResend);
    }

    void resumeQuestionListsIssuesAndWarnsOfUnknownOnes()
    {
        const QString text = DeliveryOffers::resumeQuestion(
            {issue(3, "三月号", counts(10, 0, 5, 2, 0, 0, 0)), issue(2, "二月号\r\n偽の行", counts(0, 26, 0, 0, 0, 0, 0))});
        QCOMPARE(text.split('\n'),
                 (QStringList{"配信が終わっていない号があります。今すぐ再開しますか？", "",
                              "週刊ツバメ 第3号「三月号」 未送信 10 件、保留 2 件、結果不明 0 件",
                              "週刊ツバメ 第2号「二月号 偽の行」 未送信 0 件、保留 0 件、結果不明 26 件", "",
                              "結果不明の宛先（届いたかどうか分からないもの）には再送しません。"
                              "再送するときは、履歴の「失敗分の再送」から行ってください。"}));
        // Nothing unknown, nothing said of it.
        QVERIFY(!DeliveryOffers::resumeQuestion({issue(3, "三月号", counts(1, 0, 0, 0, 0, 0, 0))}).contains("結果不明の宛先"));
    }

    void resumeQuestionCutsALongList()
    {
        QList<IssueStateRow> issues;
        for (int i = 1; i <= 40; ++i)
            issues << issue(i, QStringLiteral("第%1回").arg(i), counts(1, 0, 0, 0, 0, 0, 0));
        const QStringList lines = DeliveryOffers::resumeQuestion(issues).split('\n');
        QCOMPARE(lines.size(), 2 + 15 + 1);
        QCOMPARE(lines.last(), QString("ほか 25 号"));
    }

    void resendQuestions()
    {
        QCOMPARE(DeliveryOffers::resendQuestion(counts(0, 0, 7, 0, 2, 0, 3)),
                 QString("この号には失敗 2 件、結果不明 3 件の宛先があります。\n同じ発行番号で再送しますか？"));
        QCOMPARE(DeliveryOffers::resendUnknownQuestion(3),
                 QString("結果不明の 3 件も再送しますか？\nすでに届いている宛先には、同じメールが二度届きます。"));
    }

    void recipientLineKeepsAHostileReplyOnOneLine()
    {
        SendStateRow row;
        row.UserName = "山田";
        row.UserAdrs = "y@example.jp";
        row.state = SendState::Failed;
        row.reply = "550 no such user\r\n250 ok\t" + QString(500, 'x');
        const QString line = DeliveryOffers::recipientLine(row);
        QVERIFY(!line.contains('\n') && !line.contains('\r') && !line.contains('\t'));
        QVERIFY(line.startsWith("山田 <y@example.jp>  失敗  550 no such user 250 ok xxx"));
        QVERIFY(line.endsWith("x…"));
        QCOMPARE(line.size(), QString("山田 <y@example.jp>  失敗  ").size() + 200 + 1);
    }

    // Every state as the recipients view lists it, a deleted member included; one line per
    // recipient of the issue, in member order, under the issue's date and subject.
    void recipientsViewShowsStatesAndReplies()
    {
        StoreFixture::addMagazine(1, "週刊ツバメ");
        const QStringList names{"送信済の人", "待機の人", "保留の人", "失敗の人", "スキップの人", "不明の人", "送信中の人"};
        for (int i = 0; i < names.size(); ++i)
            StoreFixture::addMember(1, i + 1, names[i], QStringLiteral("m%1@example.jp").arg(i + 1));
        StoreFixture::addIssue(1, 1, {.addDate = "2026/12/10 09:00:00", .sendCnt = 7, .title = "十二月号"});
        for (int i = 1; i <= names.size(); ++i)
            StoreFixture::addRecipient(1, 1, i);
        const QDateTime next(QDate(2026, 12, 10), QTime(9, 30));
        StoreFixture::addSendStates(1, 1,
                                    {result(1, SendState::Sent, "250 2.0.0 Ok: queued"),
                                     result(3, SendState::Deferred, "451 4.7.1 try again later", 2, next),
                                     result(4, SendState::Failed, "550 5.1.1 no such user", 1),
                                     result(5, SendState::Skipped, "", 0),
                                     result(6, SendState::Unknown, "接続が切れました", 1)},
                                    {7});

        THistDlg dlg;
        dlg.ListMode = THistDlg::Mode::Recipients;
        dlg.ListMagIdx = 1;
        dlg.ListMagCnt = 1;
        dlg.FormShow();
        QCOMPARE(dlg.sentAtLabel->text(), QString("2026/12/10 09:00:00"));
        QCOMPARE(dlg.subjectLabel->text(), QString("十二月号"));
        QCOMPARE(dlg.lines(),
                 (QStringList{"送信済の人 <m1@example.jp>  送信済", "待機の人 <m2@example.jp>  待機",
                              "保留の人 <m3@example.jp>  保留（2 回試行、次回 2026/12/10 09:30）  451 4.7.1 try again later",
                              "失敗の人 <m4@example.jp>  失敗  550 5.1.1 no such user",
                              "スキップの人 <m5@example.jp>  スキップ", "不明の人 <m6@example.jp>  不明  接続が切れました",
                              "送信中の人 <m7@example.jp>  送信中"}));
    }

    // A large issue is read with one statement and set as one plain text; a line at a time
    // into the view would take minutes.
    void recipientsViewOfALargeIssue()
    {
        constexpr int members = 100000;
        StoreFixture::addMagazine(1, "週刊ツバメ");
        StoreFixture::insertMany("MagUser", members, [](int i) {
            return StoreFixture::memberRow(1, i + 1, QStringLiteral("会員%1").arg(i + 1),
                                           QStringLiteral("m%1@example.jp").arg(i + 1));
        });
        StoreFixture::addIssue(1, 1, {.addDate = "2026/12/10 09:00:00", .sendCnt = members, .title = "大きな号"});
        StoreFixture::insertMany("MagHist", members, [](int i) {
            return StoreFixture::Row{{"MagIdx", 1}, {"MagCnt", 1}, {"MagUser", i + 1}};
        });
        StoreFixture::addSendStates(1, 1, {result(members / 2, SendState::Failed, "550 no such user")});
        THistDlg dlg;
        dlg.ListMode = THistDlg::Mode::Recipients;
        dlg.ListMagIdx = 1;
        dlg.ListMagCnt = 1;
        QElapsedTimer timer;
        timer.start();
        dlg.FormShow();
        qInfo() << "recipients view of" << members << "filled in" << timer.elapsed() << "ms";
        const QStringList lines = dlg.lines();
        QCOMPARE(lines.size(), members);
        QCOMPARE(lines[members / 2 - 1], QString("会員50000 <m50000@example.jp>  失敗  550 no such user"));
        QCOMPARE(lines.last(), QString("会員100000 <m100000@example.jp>  待機"));
    }

    // An issue recorded before the per-recipient records lists its members as it always did.
    void recipientsViewOfAnOlderIssue()
    {
        StoreFixture::addMagazine(1, "週刊ツバメ");
        StoreFixture::addMember(1, 1, "山田太郎", "taro@example.jp");
        StoreFixture::addMember(1, 2, "佐藤花子", "hanako@example.jp");
        StoreFixture::addIssue(1, 1, {.addDate = "2020/01/01 10:00:00", .sendCnt = 2, .title = "昔の号"});
        StoreFixture::addRecipient(1, 1, 1, {{"SendComplete", 1}});
        StoreFixture::addRecipient(1, 1, 2, {{"SendComplete", 1}});
        THistDlg dlg;
        dlg.ListMode = THistDlg::Mode::Recipients;
        dlg.ListMagIdx = 1;
        dlg.ListMagCnt = 1;
        dlg.FormShow();
        QCOMPARE(dlg.subjectLabel->text(), QString("昔の号"));
        QCOMPARE(dlg.lines(), (QStringList{"山田太郎 <taro@example.jp>", "佐藤花子 <hanako@example.jp>"}));
    }
};

QTEST_MAIN(TestIssueDeliveryStates)
#include "tst_issue_delivery_states.moc"

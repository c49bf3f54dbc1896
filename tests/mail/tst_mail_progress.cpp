// The delivery progress follows the delivery manager's signals alone: workers running, the
// shares of the deliveries on the bar (a new bar once none runs), recipients reported at
// their final state, 100 % exactly when a delivery ends with nothing left, and the flag that
// some delivery has ended.
#include "mail/DeliveryManager.h"
#include "mail/DeliveryProgress.h"

#include <QSignalSpy>
#include <QtTest>

namespace {

// Plays steps on the manager's signals. A step is a letter and a number: lower case for
// issue 7, upper case for issue 8. 'd' dispatched n, 's' started, 'm' n recipients reported,
// 'x' pause asked, 'k' cancel asked, 'w' waiting until 10:30, 'g' going on, 'f' finished with
// nothing left, 'p' paused with some left, 'c' cancelled, 'e' ended.
void play(DeliveryManager &deliveries, const QStringList &steps)
{
    SendStateCounts left;
    left.waiting = 5;
    left.sent = 3;
    SendStateCounts none;
    none.sent = 8;
    const QDateTime until(QDate(2026, 12, 10), QTime(10, 30));
    for (const QString &step : steps) {
        const int cnt = step[0].isUpper() ? 8 : 7;
        const int n = step.mid(1).toInt();
        switch (step[0].toLower().toLatin1()) {
        case 'd': Q_EMIT deliveries.Dispatched(n, 3, cnt); break;
        case 's': Q_EMIT deliveries.Started(3, cnt); break;
        case 'm': Q_EMIT deliveries.MailSent(n, 3, cnt); break;
        case 'x': Q_EMIT deliveries.StopRequested(3, cnt, false); break;
        case 'k': Q_EMIT deliveries.StopRequested(3, cnt, true); break;
        case 'w': Q_EMIT deliveries.Waiting(3, cnt, until); break;
        case 'g': Q_EMIT deliveries.Waiting(3, cnt, QDateTime()); break;
        case 'f': Q_EMIT deliveries.Summary({3, cnt, DeliveryEnd::Finished, none}); break;
        case 'p': Q_EMIT deliveries.Summary({3, cnt, DeliveryEnd::Paused, left}); break;
        case 'c': Q_EMIT deliveries.Summary({3, cnt, DeliveryEnd::Cancelled, none}); break;
        case 'e': Q_EMIT deliveries.Ended(3, cnt); break;
        default: QFAIL("unknown step");
        }
    }
}

} // namespace

class TestMailProgress : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void followsTheManager_data()
    {
        QTest::addColumn<QString>("steps");
        QTest::addColumn<QList<int>>("expected"); // SendingCount, SendTotal, SentCount, SendFinished
        QTest::newRow("nothing yet") << "" << QList<int>{0, 0, 0, 0};
        QTest::newRow("one delivery under way") << "d40 s m13" << QList<int>{1, 40, 13, 0};
        QTest::newRow("reports add up per recipient") << "d40 s m1 m1 m1 m10" << QList<int>{1, 40, 13, 0};
        QTest::newRow("a second one joins the bar") << "d40 s m13 D3 S M2" << QList<int>{2, 43, 15, 0};
        QTest::newRow("all reported: full only once it has ended") << "d10 s m10" << QList<int>{1, 10, 9, 0};
        QTest::newRow("finished with nothing left: 100 %") << "d10 s m10 f" << QList<int>{1, 10, 10, 0};
        // Recipients settled as unknown by the lock, or deleted since: never reported, yet
        // the delivery has nothing left.
        QTest::newRow("finished with fewer reports: 100 %") << "d10 s m7 f e" << QList<int>{0, 10, 10, 1};
        QTest::newRow("more reports than recipients: never above") << "d10 s m25" << QList<int>{1, 10, 9, 0};
        QTest::newRow("more reports, then finished") << "d10 s m25 f e" << QList<int>{0, 10, 10, 1};
        QTest::newRow("paused: where it stopped") << "d10 s m4 p e" << QList<int>{0, 10, 4, 1};
        QTest::newRow("cancelled: where it stopped") << "d10 s m4 c e" << QList<int>{0, 10, 4, 1};
        QTest::newRow("a dispatch once all ended starts a new bar") << "d10 s m10 f e d3 s" << QList<int>{1, 3, 0, 1};
        QTest::newRow("also after a pause") << "d10 s m4 p e d6 s" << QList<int>{1, 6, 0, 1};
        // Issue 7 paused while issue 8 runs, then resumed: what it sent stays on the bar and
        // its rest is counted once.
        QTest::newRow("resumed while another runs") << "d10 s D5 S m4 p e d6 s m1" << QList<int>{2, 15, 5, 1};
        QTest::newRow("reports of an issue not on the bar") << "d10 s M3" << QList<int>{1, 10, 0, 0};
        QTest::newRow("nobody to send to") << "d0 s f e" << QList<int>{0, 0, 0, 1};
        QTest::newRow("finished stays set") << "d1 s m1 f e d1 s" << QList<int>{1, 1, 0, 1};
    }
    void followsTheManager()
    {
        QFETCH(QString, steps);
        QFETCH(QList<int>, expected);
        DeliveryManager deliveries;
        DeliveryProgress progress(deliveries);
        QSignalSpy changed(&progress, &DeliveryProgress::changed);
        const QStringList list = steps.split(QLatin1Char(' '), Qt::SkipEmptyParts);
        play(deliveries, list);
        QCOMPARE(changed.size(), list.size());
        const QList<int> actual{progress.SendingCount(), progress.SendTotal(), progress.SentCount(),
                                progress.SendFinished() ? 1 : 0};
        QCOMPARE(actual, expected);
    }

    // The delivery the progress area's buttons act on: running, waiting, a pause or cancel on
    // its way, then stopped with recipients left (再開 offered) or over.
    void followsTheCurrentDelivery_data()
    {
        QTest::addColumn<QString>("steps");
        QTest::addColumn<int>("state");
        QTest::addColumn<QString>("text");
        QTest::addColumn<bool>("bar");
        const int idle = int(DeliveryProgress::State::Idle);
        const int running = int(DeliveryProgress::State::Running);
        const int stopped = int(DeliveryProgress::State::Stopped);
        QTest::newRow("nothing yet") << "" << idle << "" << false;
        QTest::newRow("running") << "s" << running << "" << true;
        QTest::newRow("waiting") << "s w" << running << "待機中 10:30 まで" << true;
        QTest::newRow("waited") << "s w g" << running << "" << true;
        // Until the worker has stopped, the pause is only on its way.
        QTest::newRow("pause asked") << "s x" << running << "送信中のメールを終えてから一時停止します" << true;
        QTest::newRow("pause asked while waiting") << "s w x" << running << "送信中のメールを終えてから一時停止します"
                                                   << true;
        QTest::newRow("paused") << "s x p e" << stopped << "一時停止中" << true;
        QTest::newRow("cancel asked after a pause") << "s x k" << running << "送信中のメールを終えてから中止します"
                                                    << true;
        QTest::newRow("pause asked after a cancel") << "s k x" << running << "送信中のメールを終えてから中止します"
                                                    << true;
        QTest::newRow("another issue's pause") << "s X" << running << "" << true;
        QTest::newRow("resumed") << "s p e s" << running << "" << true;
        QTest::newRow("cancelled") << "s k c e" << idle << "" << false;
        QTest::newRow("finished") << "s f e" << idle << "" << false;
        QTest::newRow("another issue's end") << "s F" << running << "" << true;
    }
    void followsTheCurrentDelivery()
    {
        QFETCH(QString, steps);
        QFETCH(int, state);
        QFETCH(QString, text);
        QFETCH(bool, bar);
        DeliveryManager deliveries;
        DeliveryProgress progress(deliveries);
        play(deliveries, steps.split(QLatin1Char(' '), Qt::SkipEmptyParts));
        QCOMPARE(int(progress.state()), state);
        QCOMPARE(progress.stateText(), text);
        QCOMPARE(progress.barShown(), bar);
    }

    // The end of every issue is told, whichever one the buttons follow.
    void tellsEachEnd()
    {
        DeliveryManager deliveries;
        DeliveryProgress progress(deliveries);
        QSignalSpy ended(&progress, &DeliveryProgress::deliveryEnded);
        play(deliveries, {"s", "S", "F", "p"});
        QCOMPARE(ended.size(), 2);
        QCOMPARE(ended[0], (QList<QVariant>{3, 8}));
        QCOMPARE(ended[1], (QList<QVariant>{3, 7}));
    }

    void summaryTextAndExitCode_data()
    {
        QTest::addColumn<int>("end");
        QTest::addColumn<QList<int>>("counts");  // waiting, sent, deferred, failed, skipped, unknown
        QTest::addColumn<QString>("text");
        QTest::addColumn<int>("code");
        QTest::newRow("all sent") << int(DeliveryEnd::Finished) << QList<int>{0, 5, 0, 0, 1, 0}
                                  << "配信が終わりました。\r\n送信済 5 / 保留 0 / 失敗 0 / スキップ 1 / 不明 0" << 0;
        QTest::newRow("some failed") << int(DeliveryEnd::Finished) << QList<int>{0, 5, 1, 2, 0, 3}
                                     << "配信が終わりました。\r\n送信済 5 / 保留 1 / 失敗 2 / スキップ 0 / 不明 3" << 3;
        QTest::newRow("paused") << int(DeliveryEnd::Paused) << QList<int>{4, 5, 0, 0, 0, 0}
                                << "配信を一時停止しました。\r\n待機 4 / 送信済 5 / 保留 0 / 失敗 0 / スキップ 0 / 不明 0" << 3;
        QTest::newRow("not started") << int(DeliveryEnd::NotStarted) << QList<int>{9, 0, 0, 0, 0, 0}
                                     << "配信を始められませんでした。\r\n待機 9 / 送信済 0 / 保留 0 / 失敗 0 / スキップ 0 / 不明 0"
                                     << 2;
    }
    void summaryTextAndExitCode()
    {
        QFETCH(int, end);
        QFETCH(QList<int>, counts);
        QFETCH(QString, text);
        QFETCH(int, code);
        DeliverySummary s{3, 7, DeliveryEnd(end), {}};
        s.counts.waiting = counts[0];
        s.counts.sent = counts[1];
        s.counts.deferred = counts[2];
        s.counts.failed = counts[3];
        s.counts.skipped = counts[4];
        s.counts.unknown = counts[5];
        QCOMPARE(DeliverySummaryText(s), text);
        QCOMPARE(DeliveryExitCode(s), code);
    }
};

QTEST_MAIN(TestMailProgress)
#include "tst_mail_progress.moc"

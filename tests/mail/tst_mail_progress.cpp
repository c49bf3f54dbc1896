// The delivery progress follows the delivery manager's signals alone: workers running, the
// total of the issues dispatched (a new total once everything before has been reported
// sent), mails sent, and the flag that some delivery has ended.
#include "mail/DeliveryManager.h"
#include "mail/DeliveryProgress.h"

#include <QSignalSpy>
#include <QtTest>

class TestMailProgress : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void followsTheManager_data()
    {
        // Each step: 'd' dispatched n, 's' started, 'm' n mails sent, 'e' ended.
        QTest::addColumn<QString>("steps");
        QTest::addColumn<QList<int>>("expected"); // SendingCount, SendTotal, SentCount, SendFinished
        QTest::newRow("nothing yet") << "" << QList<int>{0, 0, 0, 0};
        QTest::newRow("one delivery under way") << "d40 s m13" << QList<int>{1, 40, 13, 0};
        QTest::newRow("a second one joins the bar") << "d40 s m13 d3 s" << QList<int>{2, 43, 13, 0};
        QTest::newRow("all sent: the next starts from zero") << "d10 s m10 e d3 s" << QList<int>{1, 3, 0, 1};
        QTest::newRow("ended before all were sent: the total stays") << "d10 s m4 e d3 s"
                                                                     << QList<int>{1, 13, 4, 1};
        QTest::newRow("nobody to send to") << "d0 s e" << QList<int>{0, 0, 0, 1};
        QTest::newRow("finished stays set") << "d1 s m1 e d1 s" << QList<int>{1, 1, 0, 1};
    }
    void followsTheManager()
    {
        QFETCH(QString, steps);
        QFETCH(QList<int>, expected);
        DeliveryManager deliveries;
        DeliveryProgress progress(deliveries);
        QSignalSpy changed(&progress, &DeliveryProgress::changed);
        const QStringList list = steps.split(QLatin1Char(' '), Qt::SkipEmptyParts);
        for (const QString &step : list) {
            const int n = step.mid(1).toInt();
            switch (step[0].toLatin1()) {
            case 'd': Q_EMIT deliveries.Dispatched(n); break;
            case 's': Q_EMIT deliveries.Started(3, 7); break;
            case 'm': Q_EMIT deliveries.MailSent(n); break;
            case 'e': Q_EMIT deliveries.Ended(); break;
            default: QFAIL("unknown step");
            }
        }
        QCOMPARE(changed.size(), list.size());
        const QList<int> actual{progress.SendingCount(), progress.SendTotal(), progress.SentCount(),
                                progress.SendFinished() ? 1 : 0};
        QCOMPARE(actual, expected);
    }

    // The delivery the progress area's buttons act on: running, waiting, then stopped with
    // recipients left (再開 offered) or over.
    void followsTheCurrentDelivery_data()
    {
        // 's' started issue 7, 'w' waiting until 10:30, 'g' going on, 'p' paused with some
        // left, 'c' cancelled, 'f' finished with nothing left, 'o' another issue's summary.
        QTest::addColumn<QString>("steps");
        QTest::addColumn<int>("state");
        QTest::addColumn<QString>("text");
        QTest::newRow("nothing yet") << "" << int(DeliveryProgress::State::Idle) << "";
        QTest::newRow("running") << "s" << int(DeliveryProgress::State::Running) << "";
        QTest::newRow("waiting") << "s w" << int(DeliveryProgress::State::Running) << "待機中 10:30 まで";
        QTest::newRow("waited") << "s w g" << int(DeliveryProgress::State::Running) << "";
        QTest::newRow("paused") << "s w p" << int(DeliveryProgress::State::Stopped) << "一時停止中";
        QTest::newRow("resumed") << "s p s" << int(DeliveryProgress::State::Running) << "";
        QTest::newRow("cancelled") << "s c" << int(DeliveryProgress::State::Idle) << "";
        QTest::newRow("finished") << "s f" << int(DeliveryProgress::State::Idle) << "";
        QTest::newRow("another issue's end") << "s o" << int(DeliveryProgress::State::Running) << "";
    }
    void followsTheCurrentDelivery()
    {
        QFETCH(QString, steps);
        QFETCH(int, state);
        QFETCH(QString, text);
        DeliveryManager deliveries;
        DeliveryProgress progress(deliveries);
        SendStateCounts left;
        left.waiting = 5;
        left.sent = 3;
        SendStateCounts none;
        none.sent = 8;
        const QDateTime until(QDate(2026, 12, 10), QTime(10, 30));
        for (const QString &step : steps.split(QLatin1Char(' '), Qt::SkipEmptyParts)) {
            switch (step[0].toLatin1()) {
            case 's': Q_EMIT deliveries.Started(3, 7); break;
            case 'w': Q_EMIT deliveries.Waiting(3, 7, until); break;
            case 'g': Q_EMIT deliveries.Waiting(3, 7, QDateTime()); break;
            case 'p': Q_EMIT deliveries.Summary({3, 7, DeliveryEnd::Paused, left}); break;
            case 'c': Q_EMIT deliveries.Summary({3, 7, DeliveryEnd::Cancelled, left}); break;
            case 'f': Q_EMIT deliveries.Summary({3, 7, DeliveryEnd::Finished, none}); break;
            case 'o': Q_EMIT deliveries.Summary({3, 8, DeliveryEnd::Finished, none}); break;
            default: QFAIL("unknown step");
            }
        }
        QCOMPARE(int(progress.state()), state);
        QCOMPARE(progress.stateText(), text);
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

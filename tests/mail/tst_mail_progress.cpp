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
            case 's': Q_EMIT deliveries.Started(); break;
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
};

QTEST_MAIN(TestMailProgress)
#include "tst_mail_progress.moc"

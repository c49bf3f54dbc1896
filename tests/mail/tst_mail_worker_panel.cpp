// The status-bar progress panel: nothing while idle, the blue square, the bar to the share
// reported, and the count and percentage text (never rounded up to all).
#include "fakes/TestEnv.h"
#include "mail/ui/SendProgressPanel.h"
#include "mail/DeliveryManager.h"
#include "mail/DeliveryProgress.h"

#include <QImage>
#include <QPainter>
#include <QtTest>

namespace {
const QColor kFace(200, 200, 200);

QImage draw(bool shown, bool finished, int sent, int total, QSize size = QSize(300, 20))
{
    QImage img(size, QImage::Format_RGB32);
    img.fill(Qt::black);
    QPainter p(&img);
    TSendProgressPanel::StatusBar1DrawPanel(p, img.rect(), shown, finished, sent, total, kFace);
    return img;
}

bool isBlue(QRgb c)
{
    return qBlue(c) > 200 && qRed(c) < 60 && qGreen(c) < 60;
}
} // namespace

class TestMailWorkerPanel : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void nothingWhileIdle()
    {
        const QImage img = draw(false, false, 13, 40);
        for (int x = 0; x < img.width(); x += 7)
            QCOMPARE(img.pixel(x, 10), qRgb(0, 0, 0));
    }

    void squareOnly_data()
    {
        QTest::addColumn<bool>("finished");
        QTest::addColumn<QColor>("colour");
        QTest::newRow("running") << false << QColor(Qt::blue);
        QTest::newRow("a delivery has ended") << true << kFace;
    }
    void squareOnly()
    {
        QFETCH(bool, finished);
        QFETCH(QColor, colour);
        const QImage img = draw(true, finished, 0, 0);
        QCOMPARE(QColor(img.pixel(0, 2)), colour);
        QCOMPARE(QColor(img.pixel(14, 19)), colour);
        QCOMPARE(img.pixel(15, 10), qRgb(0, 0, 0));  // 15 pixels wide
        QCOMPARE(img.pixel(5, 1), qRgb(0, 0, 0));    // starts two pixels down
    }

    void barAndPercentage()
    {
        // 13 of 40: 32.5 % of 300 pixels is 97.5, drawn as 97 (cut, like the percentage).
        const QImage img = draw(true, false, 13, 40);
        QVERIFY(isBlue(img.pixel(0, 10)));
        QVERIFY(isBlue(img.pixel(96, 3)));
        QCOMPARE(img.pixel(97, 3), qRgb(0, 0, 0));
        QCOMPARE(img.pixel(200, 1), qRgb(0, 0, 0));
        // Light (white, anti-aliased) text around the middle of the panel.
        int white = 0;
        for (int x = 120; x < 180; ++x)
            for (int y = 4; y < 20; ++y)
                white += qGray(img.pixel(x, y)) > 180 ? 1 : 0;
        QVERIFY(white > 10);
    }

    // One short of all never fills the bar.
    void barIsWholeOnlyForAll_data()
    {
        QTest::addColumn<int>("sent");
        QTest::addColumn<bool>("whole");
        QTest::newRow("one short") << 1999 << false;
        QTest::newRow("all") << 2000 << true;
        QTest::newRow("more than all") << 2500 << true;
    }
    void barIsWholeOnlyForAll()
    {
        QFETCH(int, sent);
        QFETCH(bool, whole);
        const QImage img = draw(true, false, sent, 2000);
        QCOMPARE(isBlue(img.pixel(299, 3)), whole);
    }

    void percentText_data()
    {
        QTest::addColumn<int>("sent");
        QTest::addColumn<int>("total");
        QTest::addColumn<QString>("text");
        QTest::newRow("none") << 0 << 60 << "0.0 %";
        QTest::newRow("all") << 60 << 60 << "100.0 %";
        QTest::newRow("a third") << 1 << 3 << "33.3 %";
        QTest::newRow("two thirds, cut") << 2 << 3 << "66.6 %";
        QTest::newRow("one short of 2000") << 1999 << 2000 << "99.9 %";
        QTest::newRow("one short of a million") << 999999 << 1000000 << "99.9 %";
        QTest::newRow("more than all") << 61 << 60 << "100.0 %";
        QTest::newRow("nothing to send") << 0 << 0 << "0.0 %";
    }
    void percentText()
    {
        QFETCH(int, sent);
        QFETCH(int, total);
        QFETCH(QString, text);
        QCOMPARE(TSendProgressPanel::PercentText(sent, total), text);
        QCOMPARE(TSendProgressPanel::CountText(sent, total), QStringLiteral("%1 / %2 通").arg(sent).arg(total));
    }

    // The panel follows the progress: drawn while the delivery runs and after it paused,
    // gone once it has ended with nothing left.
    void widgetReadsTheSharedCounters()
    {
        TestEnv env;
        DeliveryManager deliveries;
        DeliveryProgress progress(deliveries);
        TSendProgressPanel panel(progress);
        panel.resize(300, 20);
        Q_EMIT deliveries.Dispatched(40, 3, 7);
        Q_EMIT deliveries.Started(3, 7);
        Q_EMIT deliveries.MailSent(13, 3, 7);
        QImage img = panel.grab().toImage();
        QVERIFY(isBlue(img.pixel(50, 10)));
        QVERIFY(!isBlue(img.pixel(150, 10)));
        SendStateCounts left;
        left.waiting = 27;
        left.sent = 13;
        Q_EMIT deliveries.Summary({3, 7, DeliveryEnd::Paused, left});
        Q_EMIT deliveries.Ended(3, 7);
        img = panel.grab().toImage();
        QVERIFY(isBlue(img.pixel(50, 10)));
        QVERIFY(!isBlue(img.pixel(150, 10)));
        Q_EMIT deliveries.Dispatched(27, 3, 7);
        Q_EMIT deliveries.Started(3, 7);
        Q_EMIT deliveries.MailSent(27, 3, 7);
        SendStateCounts none;
        none.sent = 40;
        Q_EMIT deliveries.Summary({3, 7, DeliveryEnd::Finished, none});
        QVERIFY(isBlue(panel.grab().toImage().pixel(299, 10)));
        Q_EMIT deliveries.Ended(3, 7);
        QVERIFY(!isBlue(panel.grab().toImage().pixel(50, 10)));
    }
};

QTEST_MAIN(TestMailWorkerPanel)
#include "tst_mail_worker_panel.moc"

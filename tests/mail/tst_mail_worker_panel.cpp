// The status-bar progress panel: nothing while idle, the blue square, the bar to the share
// reported sent, and the percentage text.
#include "fakes/TestEnv.h"
#include "mail/ui/SendProgressPanel.h"
#include "mail/DeliveryManager.h"
#include "mail/DeliveryProgress.h"

#include <QImage>
#include <QPainter>
#include <QtTest>

namespace {
const QColor kFace(200, 200, 200);

QImage draw(int sending, bool finished, int sent, int total, QSize size = QSize(300, 20))
{
    QImage img(size, QImage::Format_RGB32);
    img.fill(Qt::black);
    QPainter p(&img);
    TSendProgressPanel::StatusBar1DrawPanel(p, img.rect(), sending, finished, sent, total, kFace);
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
        const QImage img = draw(0, false, 13, 40);
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
        const QImage img = draw(1, finished, 0, 0);
        QCOMPARE(QColor(img.pixel(0, 2)), colour);
        QCOMPARE(QColor(img.pixel(14, 19)), colour);
        QCOMPARE(img.pixel(15, 10), qRgb(0, 0, 0));  // 15 pixels wide
        QCOMPARE(img.pixel(5, 1), qRgb(0, 0, 0));    // starts two pixels down
    }

    void barAndPercentage()
    {
        // 13 of 40: 32.5 % of 300 pixels is 97.5, drawn as 98.
        const QImage img = draw(1, false, 13, 40);
        QVERIFY(isBlue(img.pixel(0, 10)));
        QVERIFY(isBlue(img.pixel(97, 3)));
        QCOMPARE(img.pixel(98, 3), qRgb(0, 0, 0));
        QCOMPARE(img.pixel(200, 1), qRgb(0, 0, 0));
        QCOMPARE(TSendProgressPanel::PercentText(13, 40), QStringLiteral("32.5 %"));
        // Light (white, anti-aliased) text around the middle of the panel.
        int white = 0;
        for (int x = 120; x < 180; ++x)
            for (int y = 4; y < 20; ++y)
                white += qGray(img.pixel(x, y)) > 180 ? 1 : 0;
        QVERIFY(white > 10);
    }

    void percentText_data()
    {
        QTest::addColumn<int>("sent");
        QTest::addColumn<int>("total");
        QTest::addColumn<QString>("text");
        QTest::newRow("none") << 0 << 60 << "0.0 %";
        QTest::newRow("all") << 60 << 60 << "100.0 %";
        QTest::newRow("a third") << 1 << 3 << "33.3 %";
    }
    void percentText()
    {
        QFETCH(int, sent);
        QFETCH(int, total);
        QFETCH(QString, text);
        QCOMPARE(TSendProgressPanel::PercentText(sent, total), text);
    }

    void widgetReadsTheSharedCounters()
    {
        TestEnv env;
        DeliveryManager deliveries;
        DeliveryProgress progress(deliveries);
        TSendProgressPanel panel(progress);
        panel.resize(300, 20);
        Q_EMIT deliveries.Dispatched(40);
        Q_EMIT deliveries.Started(3, 7);
        Q_EMIT deliveries.MailSent(13);
        const QImage img = panel.grab().toImage();
        QVERIFY(isBlue(img.pixel(50, 10)));
        QVERIFY(!isBlue(img.pixel(150, 10)));
        Q_EMIT deliveries.Ended();
        QVERIFY(!isBlue(panel.grab().toImage().pixel(50, 10)));
    }
};

QTEST_MAIN(TestMailWorkerPanel)
#include "tst_mail_worker_panel.moc"

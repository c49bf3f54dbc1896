// The progress window of work that is usually short: none while the work stays under its
// delay, then a window that follows the work and closes with it.
#include "maintenance/ui/DelayedProgress.h"

#include <QLabel>
#include <QProgressBar>
#include <QWidget>
#include <QtTest>

class TestDelayedProgress : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void appearsOnlyPastItsDelay_data()
    {
        QTest::addColumn<int>("delayMs");
        QTest::addColumn<int>("waitMs");
        QTest::addColumn<bool>("shown");
        QTest::newRow("short work") << 1000 << 0 << false;
        QTest::newRow("past the delay") << 50 << 80 << true;
        QTest::newRow("at once") << 0 << 0 << true;
    }
    void appearsOnlyPastItsDelay()
    {
        QFETCH(int, delayMs);
        QFETCH(int, waitMs);
        QFETCH(bool, shown);
        QWidget parent;
        QPointer<TProgressDlg> window;
        {
            DelayedProgress progress(&parent, QStringLiteral("削除中"), delayMs);
            progress(0, 40);
            QTest::qSleep(waitMs);
            progress(10, 40);
            QCOMPARE(progress.window() != nullptr, shown);
            if (!shown)
                return;
            window = progress.window();
            QVERIFY(window->isVisible());
            QCOMPARE(window->Label1->text(), QString("削除中"));
            // counts beyond what a bar holds, and a total of nothing, still draw
            progress(3000000000LL, 6000000000LL);
            progress(5, 0);
            progress(40, 40);
            QCOMPARE(window->ProgressBar1->value(), window->ProgressBar1->maximum());
        }
        QVERIFY(!window); // closed and gone with the work
    }
};

QTEST_MAIN(TestDelayedProgress)
#include "tst_maintenance_progress.moc"

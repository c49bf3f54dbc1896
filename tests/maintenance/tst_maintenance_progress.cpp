// The progress window of a long step: none while the step stays under a second, then a bar
// that follows the step (row counts beyond what a bar holds included), with a cancel button
// only where the step can be undone, closed with the step.
#include "widgets/ProgressWindow.h"

#include <QPointer>
#include <QPushButton>
#include <QWidget>
#include <QtTest>

class TestProgressWindow : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void appearsOnlyPastASecond_data()
    {
        QTest::addColumn<int>("waitMs");
        QTest::addColumn<bool>("cancellable");
        QTest::addColumn<bool>("shown");
        QTest::newRow("short work") << 0 << true << false;
        QTest::newRow("past a second") << 1100 << true << true;
        QTest::newRow("past a second, no cancel") << 1100 << false << true;
    }
    void appearsOnlyPastASecond()
    {
        QFETCH(int, waitMs);
        QFETCH(bool, cancellable);
        QFETCH(bool, shown);
        QWidget parent;
        QPointer<QProgressDialog> dialog;
        {
            ProgressWindow progress(&parent, QStringLiteral("削除中"),
                                    cancellable ? ProgressWindow::Cancel::Offered : ProgressWindow::Cancel::NotOffered);
            dialog = &progress.dialog();
            QVERIFY(progress.update(0, 40));
            QTest::qSleep(waitMs);
            QVERIFY(progress.update(10, 40));
            QCOMPARE(dialog->isVisible(), shown);
            if (!shown)
                return;
            QCOMPARE(dialog->labelText(), QString("削除中"));
            QCOMPARE(dialog->findChild<QPushButton *>() != nullptr, cancellable);
            // counts beyond what a bar holds, and a total of nothing, still draw
            QVERIFY(progress.update(3000000000LL, 6000000000LL));
            QCOMPARE(dialog->value(), dialog->maximum() / 2);
            QVERIFY(progress.update(5, 0));
            QCOMPARE(dialog->value(), dialog->maximum() / 2);
        }
        QVERIFY(!dialog); // closed and gone with the work
    }
};

QTEST_MAIN(TestProgressWindow)
#include "tst_maintenance_progress.moc"

// The import dialog on its own: order, ticks, moves, refusals, equal captions.
#include "fakes/TestEnv.h"
#include "maintenance/ui/FImportDlg.h"
#include "widgets/MessageBox.h"

#include <QCheckBox>
#include <QListWidget>
#include <QPushButton>
#include <QtTest>

class TestImportDlg : public QObject
{
    Q_OBJECT

private:
    std::unique_ptr<TestEnv> env;

    static QString shown()
    {
        QStringList out;
        for (const auto &s : MessageBox::takeShown())
            out << s.text;
        return out.join('|');
    }

private Q_SLOTS:
    void init() { env = std::make_unique<TestEnv>(); }
    void cleanup() { env.reset(); }

    void importDialogDefaultsAndMoves()
    {
        TImportDlg d({"既読", "会員", "特典", "購読回数", "ポイント", "最終購読日", "誕生日"});
        QCOMPARE(d.windowTitle(), QStringLiteral("インポート"));
        QCOMPARE(d.columnList->count(), 11);
        QCOMPARE(d.columnList->item(3)->text(), QStringLiteral("既読"));
        QCOMPARE(d.columnList->item(10)->text(), QStringLiteral("登録日"));
        QVERIFY(d.headingCheck->isChecked() && d.replaceCheck->isChecked());
        // move "メールアドレス" to the top, untick "url" and move it down one
        d.columnList->setCurrentRow(1);
        d.upButton->click();
        d.upButton->click(); // nothing above the top item
        QCOMPARE(d.columnList->currentRow(), 0);
        d.columnList->item(2)->setCheckState(Qt::Unchecked);
        d.columnList->setCurrentRow(2);
        d.downButton->click();
        QCOMPARE(d.columnList->item(3)->text(), QStringLiteral("url"));
        QCOMPARE(d.columnList->item(3)->checkState(), Qt::Unchecked);
        QCOMPARE(d.columnList->currentRow(), 3);
        d.headingCheck->setChecked(false);
        d.Button1Click();
        QCOMPARE(shown(), QString());
        QCOMPARE(d.result(), int(QDialog::Accepted));
        QCOMPARE(d.settings().order, QList<int>({1, 0, 3, 4, 5, 6, 7, 8, 9, 10}));
        QVERIFY(!d.settings().heading);
        QVERIFY(d.settings().replace);
    }

    void importDialogRefusals()
    {
        TImportDlg d({"a", "b", "c", "d", "e", "f", "g"});
        d.columnList->item(1)->setCheckState(Qt::Unchecked);
        d.Button1Click();
        QCOMPARE(shown(), QStringLiteral("メールアドレスは必ずチェックする必要があります。"));
        for (int i = 0; i < 11; ++i)
            d.columnList->item(i)->setCheckState(Qt::Unchecked);
        d.Button1Click();
        QCOMPARE(shown(), QStringLiteral("インポートされる項目が１つもありません。"));
        QCOMPARE(d.result(), 0);
    }

    void importDialogEqualCaptionsTakeTheHigherCode()
    {
        TImportDlg d({"同じ", "同じ", "c", "d", "e", "f", "g"});
        d.Button1Click();
        QCOMPARE(d.settings().order, QList<int>({0, 1, 2, 4, 4, 5, 6, 7, 8, 9, 10}));
    }

};

QTEST_MAIN(TestImportDlg)
#include "tst_maintenance_importdlg.moc"

// The current magazine: none at first; choosing one and reading its texts each tell the
// listeners; a magazine that is gone takes its signature along and leaves the field names.
#include "members/CurrentMagazine.h"
#include "members/UMagazineChoice.h"

#include <QSignalSpy>
#include <QtTest>

class TestMembersCurrent : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void choosingAndClearing()
    {
        CurrentMagazine magazine;
        QSignalSpy changed(&magazine, &CurrentMagazine::changed);
        QCOMPARE(magazine.CurMagIdx(), MagazineChoice::None);
        QVERIFY(!magazine.isChosen());
        QVERIFY(magazine.MagSign().isEmpty());

        magazine.choose(3);
        QVERIFY(magazine.isChosen());
        QCOMPARE(magazine.CurMagIdx(), 3);
        CurrentMagazine::FieldNames names{"F1", "F2", "F3", "C1", "C2", "D1", "D2"};
        magazine.setTexts(names, "sig.txt");
        QCOMPARE(magazine.MagFieldNames(), names);
        QCOMPARE(magazine.MagSign(), QString("sig.txt"));
        QCOMPARE(changed.size(), 2);

        magazine.choose(MagazineChoice::None);
        QVERIFY(!magazine.isChosen());
        QVERIFY(magazine.MagSign().isEmpty());
        QCOMPARE(magazine.MagFieldNames(), names);
        QCOMPARE(changed.size(), 3);
    }
};

QTEST_MAIN(TestMembersCurrent)
#include "tst_members_current.moc"

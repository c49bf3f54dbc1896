// The current magazine: none at first; choosing one reads its name, field names and
// signature from the store and tells the listeners once, with the new texts already
// readable; choosing it again reads an edit; none, or a magazine that is gone, takes the
// name and signature along and leaves the field names; a failed read changes nothing.
#include "fakes/StoreFixture.h"
#include "fakes/TestEnv.h"
#include "members/CurrentMagazine.h"
#include "members/UMagazineChoice.h"
#include "store/Database.h"

#include <QSignalSpy>
#include <QtTest>

class TestMembersCurrent : public QObject
{
    Q_OBJECT

private:
    std::unique_ptr<TestEnv> env;

    // What a listener reads while the change is told.
    static QString seen(const CurrentMagazine &m)
    {
        return QStringLiteral("%1|%2|%3|%4")
            .arg(m.CurMagIdx())
            .arg(m.name(), QStringList(m.MagFieldNames().begin(), m.MagFieldNames().end()).join(','), m.MagSign());
    }

private Q_SLOTS:
    void init()
    {
        env = std::make_unique<TestEnv>();
        env->openStore();
        StoreFixture::addMagazine(1, "週刊", {"F1", "F2", "F3", "C1", "C2", "D1", "D2"}, {{"Sign", "sig.txt"}});
        StoreFixture::addMagazine(2, "月刊", {"G1", "G2", "G3", "K1", "K2", "E1", "E2"});
    }
    void cleanup() { env.reset(); }

    void eachChoiceToldOnceWithItsTexts_data()
    {
        QTest::addColumn<QList<int>>("choices");
        QTest::addColumn<QString>("after");
        QTest::newRow("none at first") << QList<int>{} << "-1||,,,,,,|";
        QTest::newRow("one") << QList<int>{1} << "1|週刊|F1,F2,F3,C1,C2,D1,D2|sig.txt";
        QTest::newRow("another") << QList<int>{1, 2} << "2|月刊|G1,G2,G3,K1,K2,E1,E2|";
        QTest::newRow("none keeps the names") << QList<int>{2, MagazineChoice::None} << "-1||G1,G2,G3,K1,K2,E1,E2|";
        QTest::newRow("a magazine that is gone") << QList<int>{1, 9} << "-1||F1,F2,F3,C1,C2,D1,D2|";
    }
    void eachChoiceToldOnceWithItsTexts()
    {
        QFETCH(QList<int>, choices);
        QFETCH(QString, after);
        CurrentMagazine magazine;
        QStringList told;
        connect(&magazine, &CurrentMagazine::changed, this, [&] { told << seen(magazine); });
        for (int magIdx : choices)
            magazine.choose(magIdx);
        QCOMPARE(told.size(), choices.size());
        QCOMPARE(seen(magazine), after);
        if (!told.isEmpty())
            QCOMPARE(told.last(), after);
        QCOMPARE(magazine.isChosen(), !after.startsWith("-1"));
    }

    void choosingAgainReadsAnEdit()
    {
        CurrentMagazine magazine;
        magazine.choose(1);
        Statement().exec("update Magzine set MagName = '改名', Flg1Name = '会員', Sign = null where MagIdx = 1");
        QSignalSpy changed(&magazine, &CurrentMagazine::changed);
        magazine.choose(1);
        QCOMPARE(changed.size(), 1);
        QCOMPARE(seen(magazine), QString("1|改名|会員,F2,F3,C1,C2,D1,D2|"));
    }

    void failedReadChangesNothing()
    {
        CurrentMagazine magazine;
        magazine.choose(1);
        QSignalSpy changed(&magazine, &CurrentMagazine::changed);
        Statement().exec("alter table Magzine rename to MagzineAway");
        QVERIFY_THROWS_EXCEPTION(StoreError, magazine.choose(2));
        Statement().exec("alter table MagzineAway rename to Magzine");
        QCOMPARE(changed.size(), 0);
        QCOMPARE(seen(magazine), QString("1|週刊|F1,F2,F3,C1,C2,D1,D2|sig.txt"));
    }
};

QTEST_MAIN(TestMembersCurrent)
#include "tst_members_current.moc"

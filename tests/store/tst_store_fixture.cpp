// The rows the test fixture writes: each value with the type the test named, empty texts as
// empty texts, unnamed columns as the store leaves them. Tests that moved onto the fixture
// rely on this to keep checking the rows they checked before.
#include "fakes/StoreFixture.h"
#include "fakes/TestEnv.h"
#include "store/Database.h"

#include <QtTest>

class TestStoreFixture : public QObject
{
    Q_OBJECT

    std::unique_ptr<TestEnv> env;

    // Every column of the rows the statement reads as "type:value", cells joined by '|', rows by ' / '.
    static QString rows(const QString &sql)
    {
        Statement s;
        s.open(sql);
        QStringList out;
        while (s.next()) {
            QStringList cells;
            for (int i = 0; i < s.fieldCount(); ++i)
                cells << (s.isNull(i) ? QStringLiteral("null")
                                      : QString::fromLatin1(s.value(i).metaType().name()) + ':' + s.text(i));
            out << cells.join('|');
        }
        return out.join(QLatin1String(" / "));
    }

private Q_SLOTS:
    void init()
    {
        env = std::make_unique<TestEnv>();
        env->openStore();
    }
    void cleanup() { env.reset(); }

    void issueTextsStayTextsAndTheBodyIsEscaped()
    {
        StoreFixture::addIssue(2, 5, {.sendCnt = 3, .title = "件名", .body = "it's \"so\""});
        QCOMPARE(rows("select * from MagInfo"),
                 QStringLiteral("qlonglong:2|qlonglong:5|QString:|qlonglong:3|QString:|QString:件名|"
                                "QString:it\\~s \\^so\\^|QString:"));
    }

    void recipientCompletionDefaultsUnlessNamed()
    {
        StoreFixture::addRecipient(1, 7, 3);
        StoreFixture::addRecipient(1, 7, 4, {{"SendComplete", 1}});
        QCOMPARE(rows("select * from MagHist order by MagUser"),
                 QStringLiteral("qlonglong:1|qlonglong:7|qlonglong:3|qlonglong:0 / "
                                "qlonglong:1|qlonglong:7|qlonglong:4|qlonglong:1"));
    }

    // A column named again, in any case, replaces the default rather than adding a second one.
    void memberColumnsNamedAgainReplaceTheDefault()
    {
        StoreFixture::addMember(1, 2, "O'Neil", "o@example.jp",
                                StoreFixture::blankMemberColumns()
                                    + StoreFixture::Row{{"adddate", QVariant()}, {"Count1", 5}, {"url", "u"}});
        QCOMPARE(rows("select MagIdx,UserIdx,UserName,UserAdrs,url,Flg1,Sleep,Count1,Count2,UserDate1,AddDate "
                      "from MagUser"),
                 QStringLiteral("qlonglong:1|qlonglong:2|QString:O'Neil|QString:o@example.jp|QString:u|qlonglong:0|"
                                "qlonglong:0|qlonglong:5|qlonglong:0|QString:|null"));
    }

    void magazineColumnsNamedAgainReplaceTheDefault()
    {
        StoreFixture::addMagazine(4, "誌", StoreFixture::defaultFieldNames(), {{"Adrs", "a@example.jp"}, {"Sign", QVariant()}});
        QCOMPARE(rows("select MagIdx,MagName,Owner,Adrs,Sign,Flg1Name,UserDate2Name,UseUserName from Magzine"),
                 QStringLiteral("qlonglong:4|QString:誌|QString:発行者|QString:a@example.jp|null|QString:フラグ１|"
                                "QString:日付２|qlonglong:0"));
    }

    void manyRowsThroughOneStatement_data()
    {
        QTest::addColumn<int>("count");
        QTest::newRow("none") << 0;
        QTest::newRow("one") << 1;
        QTest::newRow("many") << 5000;
    }
    void manyRowsThroughOneStatement()
    {
        QFETCH(int, count);
        StoreFixture::insertMany("MagUser", count, [](int i) {
            return StoreFixture::memberRow(3, i + 1, QStringLiteral("会員%1").arg(i + 1), QStringLiteral("m%1@x.jp").arg(i + 1),
                                           StoreFixture::importedMemberColumns());
        });
        Statement s;
        QCOMPARE(s.scalar("select count(*) from MagUser"), qint64(count));
        QCOMPARE(s.scalar("select count(distinct UserIdx) from MagUser where MagIdx = 3"), qint64(count));
        if (count)
            QCOMPARE(rows("select UserIdx,UserName,url,UserDate2,AddDate from MagUser order by UserIdx desc limit 1"),
                     QStringLiteral("qlonglong:%1|QString:会員%1|QString:|QString:20240101|QString:20240101").arg(count));
    }
};

QTEST_GUILESS_MAIN(TestStoreFixture)
#include "tst_store_fixture.moc"

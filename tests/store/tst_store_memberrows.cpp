// The member and magazine functions that run their statements with bound values: lists,
// counts, removal and sleep in one transaction, the import's and the removal's rows.
#include "fakes/StoreFixture.h"
#include "fakes/TestEnv.h"
#include "store/Database.h"
#include "store/MemberImportRows.h"
#include "store/MemberSql.h"
#include "store/MagazineSql.h"
#include "store/MemberRemoval.h"
#include "store/RowCursor.h"

#include <QtTest>

class TestMemberRows : public QObject
{
    Q_OBJECT

private:
    std::unique_ptr<TestEnv> env;

    static void addMagazine(int magIdx, const QString &name)
    {
        MagazineRecord m;
        m.magIdx = magIdx;
        m.name = name;
        m.fieldNames = MagazineSql::defaultFieldNames();
        MagazineSql::insert(m);
    }
    static void addMember(int magIdx, int userIdx, const QString &address, const QString &url = QString())
    {
        MemberRecord m;
        m.magIdx = magIdx;
        m.userIdx = userIdx;
        m.name = QStringLiteral("member %1").arg(userIdx);
        m.address = address;
        m.url = url;
        m.addDate = QStringLiteral("20240101");
        MemberSql::insert(m);
    }
    static QList<int> userIdxs(int magIdx)
    {
        QList<int> out;
        const std::unique_ptr<RowCursor> rows = MemberSql::rows(magIdx);
        while (rows->next())
            out << int(rows->integer(1));
        return out;
    }
    // Refuses any change of the member with this UserIdx.
    static void refuse(int userIdx)
    {
        for (const char *when : {"delete", "update"})
            Statement().exec(QStringLiteral("create temp trigger Refuse%1 before %1 on MagUser when old.UserIdx = %2 "
                                            "begin select raise(abort, 'refused'); end")
                                 .arg(QLatin1String(when))
                                 .arg(userIdx));
    }

private Q_SLOTS:
    void init()
    {
        env = std::make_unique<TestEnv>();
        env->openStore();
    }
    void cleanup() { env.reset(); }

    void magazineListCountsMembers()
    {
        addMagazine(2, QStringLiteral("二号"));
        addMagazine(1, QStringLiteral("it's \"one\""));
        addMember(1, 1, QStringLiteral("a@example.jp"));
        addMember(1, 2, QStringLiteral("b@example.jp"));
        addMember(3, 3, QStringLiteral("c@example.jp"));
        const QList<MagazineSql::ListEntry> list = MagazineSql::list();
        QCOMPARE(list.size(), 2);
        QCOMPARE(list[0].magIdx, 1);
        QCOMPARE(list[0].name, QStringLiteral("it's \"one\""));
        QCOMPARE(list[0].members, 2);
        QCOMPARE(list[1].magIdx, 2);
        QCOMPARE(list[1].members, 0);
        QCOMPARE(MemberSql::count(1), 2);
        QCOMPARE(MemberSql::count(3), 1);
        QCOMPARE(MagazineSql::maxIdx(), 2);
        QCOMPARE(MemberSql::maxUserIdx(1), 2);
        QCOMPARE(MemberSql::maxUserIdx(9), 0);
    }

    void emptyStoreHasNoHighestIndex()
    {
        QCOMPARE(MagazineSql::maxIdx(), 0);
        QVERIFY(MagazineSql::list().isEmpty());
    }

    void rowsAreTheMagazinesOnly()
    {
        addMember(1, 5, QStringLiteral("a@example.jp"));
        addMember(2, 6, QStringLiteral("b@example.jp"));
        addMember(1, 7, QStringLiteral("c@example.jp"));
        QCOMPARE(userIdxs(1), (QList<int>{5, 7}));
        QCOMPARE(userIdxs(2), QList<int>{6});
    }

    // A member's columns as the member list reads them, each in its place; NULL dates read
    // as empty texts.
    void rowViewHoldsEveryColumn()
    {
        StoreFixture::addMember(1, 4, "山田 'q'", "y@example.jp",
                                {{"url", "http://example.jp/"}, {"Sleep", 1}, {"Flg1", 0}, {"Flg2", 1}, {"Flg3", 1},
                                 {"Count1", -5}, {"Count2", 1234567}, {"UserDate1", QVariant()},
                                 {"UserDate2", "20240229"}, {"AddDate", "20240101"}});
        QStringList seen;
        MemberSql::forEachRow(1, [&](const MemberRowView &r) {
            seen << QStringLiteral("%1|%2|%3|%4|%5|%6%7%8|%9|%10|%11|%12|%13")
                        .arg(r.userIdx())
                        .arg(int(r.sleep()))
                        .arg(r.name(), r.address(), r.url())
                        .arg(int(r.flag(0)))
                        .arg(int(r.flag(1)))
                        .arg(int(r.flag(2)))
                        .arg(r.count(0))
                        .arg(r.count(1))
                        .arg(r.date1().isEmpty() ? "-" : r.date1().toString(), r.date2(), r.addDate());
        });
        QCOMPARE(seen, QStringList{"4|1|山田 'q'|y@example.jp|http://example.jp/|011|-5|1234567|-|20240229|20240101"});
    }

    // Given members are read by their numbers or, past a long selection, in one pass over the
    // magazine: either way only those of the magazine that are still stored, each once.
    void rowViewsOfGivenMembers_data()
    {
        QTest::addColumn<int>("members");
        QTest::newRow("a few") << 5;
        QTest::newRow("more than one statement would bind") << 4500;
    }
    void rowViewsOfGivenMembers()
    {
        QFETCH(int, members);
        for (int magIdx : {1, 2})
            StoreFixture::insertMany("MagUser", members, [magIdx](int i) {
                return StoreFixture::memberRow(magIdx, i + 1, QStringLiteral("m%1").arg(i + 1),
                                               QStringLiteral("m%1@example.jp").arg(i + 1));
            });
        QList<int> wanted;
        for (int i = members; i >= 2; --i)
            wanted << i;
        wanted << members + 100 << 3;
        QList<int> read;
        QStringList names;
        MemberSql::forEachRow(1, wanted, [&](const MemberRowView &r) {
            read << r.userIdx();
            names << r.name().toString();
        });
        std::sort(read.begin(), read.end());
        QList<int> expected;
        for (int i = 2; i <= members; ++i)
            expected << i;
        QCOMPARE(read, expected);
        QCOMPARE(names.size(), read.size());
        QVERIFY(names.contains(QStringLiteral("m%1").arg(members)));
        int none = 0;
        MemberSql::forEachRow(1, QList<int>{}, [&](const MemberRowView &) { ++none; });
        QCOMPARE(none, 0);
    }

    void removeTakesAllOrNone()
    {
        for (int i = 1; i <= 4; ++i)
            addMember(1, i, QStringLiteral("m%1@example.jp").arg(i));
        addMember(2, 2, QStringLiteral("other@example.jp"));
        MemberSql::remove(1, {2, 3});
        QCOMPARE(userIdxs(1), (QList<int>{1, 4}));
        QCOMPARE(userIdxs(2), QList<int>{2});
        refuse(4);
        QVERIFY_THROWS_EXCEPTION(StoreError, MemberSql::remove(1, {1, 4}));
        QCOMPARE(userIdxs(1), (QList<int>{1, 4}));
    }

    // Many chosen members go in steps, all in one transaction: exactly they and their
    // returned-mail counts go, members of other magazines with the same numbers and the
    // issues' rows stay, and a refusal in a late step leaves every member there.
    void removeManyInSteps_data()
    {
        QTest::addColumn<QList<int>>("chosen");
        QTest::addColumn<int>("refused"); // 0: none
        QList<int> everyThird;
        for (int u = 3; u <= 12000; u += 3)
            everyThird << u;
        QList<int> block;
        for (int u = 12000; u >= 1; --u)
            block << u; // the list's order is not the store's, and one is chosen twice
        block << 5;
        QTest::newRow("one") << QList<int>{7} << 0;
        QTest::newRow("every third") << everyThird << 0;
        QTest::newRow("all, backwards") << block << 0;
        QTest::newRow("refused in the last step") << everyThird << 11997;
        QTest::newRow("none") << QList<int>{} << 0;
    }
    void removeManyInSteps()
    {
        QFETCH(QList<int>, chosen);
        QFETCH(int, refused);
        const int members = 12000;
        for (int magIdx : {1, 2}) {
            StoreFixture::insertMany("MagUser", members, [magIdx](int i) {
                return StoreFixture::memberRow(magIdx, i + 1, QStringLiteral("m%1").arg(i), QStringLiteral("m%1@example.jp").arg(i));
            });
            StoreFixture::insertMany("MemberBounce", members, [magIdx](int i) {
                return StoreFixture::Row{{"MagIdx", magIdx}, {"UserIdx", i + 1}, {"Bounces", 1}};
            });
            StoreFixture::insertMany("MagHist", members, [magIdx](int i) {
                return StoreFixture::Row{{"MagIdx", magIdx}, {"MagCnt", 1}, {"MagUser", i + 1}};
            });
        }
        if (refused)
            refuse(refused);
        QList<qint64> reported;
        const auto remove = [&] {
            MemberSql::remove(1, chosen, [&](qint64 done, qint64 total) {
                reported << done;
                QVERIFY(done <= total);
            });
        };
        QSet<int> gone(chosen.cbegin(), chosen.cend());
        if (refused) {
            QVERIFY_THROWS_EXCEPTION(StoreError, remove());
            gone.clear();
        } else {
            remove();
            QCOMPARE(reported.value(reported.size() - 1, -1), qint64(gone.size()));
            QVERIFY(std::is_sorted(reported.cbegin(), reported.cend()));
        }
        const auto count = [](const QString &sql) { return int(Statement().scalar(sql)); };
        QCOMPARE(count("select count(*) from MagUser where MagIdx = 1"), members - int(gone.size()));
        QCOMPARE(count("select count(*) from MemberBounce where MagIdx = 1"), members - int(gone.size()));
        for (int u : std::as_const(gone))
            QCOMPARE(MemberSql::load(1, u).has_value(), false);
        QCOMPARE(count("select count(*) from MagUser where MagIdx = 2"), members);
        QCOMPARE(count("select count(*) from MemberBounce where MagIdx = 2"), members);
        QCOMPARE(count("select count(*) from MagHist"), 2 * members);
        // the working table is left empty for the next deletion
        QCOMPARE(count("select count(*) from temp.ChosenMember"), 0);
    }

    void sleepTakesAllOrNone()
    {
        for (int i = 1; i <= 3; ++i)
            addMember(1, i, QStringLiteral("m%1@example.jp").arg(i));
        MemberSql::setSleep(1, {{1, true}, {3, true}});
        QVERIFY(MemberSql::load(1, 1)->sleep);
        QVERIFY(!MemberSql::load(1, 2)->sleep);
        QVERIFY(MemberSql::load(1, 3)->sleep);
        refuse(3);
        QVERIFY_THROWS_EXCEPTION(StoreError, MemberSql::setSleep(1, {{1, false}, {3, false}}));
        QVERIFY(MemberSql::load(1, 1)->sleep);
    }

    void removeWithMembersTakesBoth()
    {
        addMagazine(1, QStringLiteral("one"));
        addMagazine(2, QStringLiteral("two"));
        addMember(1, 1, QStringLiteral("a@example.jp"));
        addMember(2, 2, QStringLiteral("b@example.jp"));
        refuse(1);
        QVERIFY_THROWS_EXCEPTION(StoreError, MagazineSql::removeWithMembers(1));
        QVERIFY(MagazineSql::load(1));
        Statement().exec(QStringLiteral("drop trigger RefuseDelete"));
        MagazineSql::removeWithMembers(1);
        QVERIFY(!MagazineSql::load(1));
        QCOMPARE(MemberSql::count(1), 0);
        QVERIFY(MagazineSql::load(2));
        QCOMPARE(MemberSql::count(2), 1);
    }

    void urlsOfTheSelection()
    {
        addMember(1, 1, QStringLiteral("a@example.jp"), QStringLiteral("http://a.example.jp/"));
        addMember(1, 2, QStringLiteral("b@example.jp"));
        addMember(1, 3, QStringLiteral("c@example.jp"), QStringLiteral("http://c.example.jp/"));
        addMember(2, 3, QStringLiteral("d@example.jp"), QStringLiteral("http://other.example.jp/"));
        QCOMPARE(MemberSql::urls(1, {3, 1, 2, 3, 9}),
                 (QStringList{QStringLiteral("http://a.example.jp/"), QString(), QStringLiteral("http://c.example.jp/")}));
    }

    void exchangeRowsInTheirOrder()
    {
        MemberRecord m;
        m.magIdx = 1;
        m.userIdx = 1;
        m.name = QStringLiteral("名前");
        m.address = QStringLiteral("a@example.jp");
        m.flags = {true, false, true};
        m.counts = {12, -3};
        m.date1 = QStringLiteral("20240229");
        m.addDate = QStringLiteral("20240101");
        MemberSql::insert(m);
        addMember(2, 2, QStringLiteral("other@example.jp"));
        QList<MemberSql::ExchangeRow> rows;
        MemberSql::forEachExchangeRow(1, [&](const MemberSql::ExchangeRow &r) { rows << r; });
        QCOMPARE(rows.size(), 1);
        const MemberSql::ExchangeRow &r = rows[0];
        QCOMPARE(r[0].toString(), QStringLiteral("名前"));
        QCOMPARE(r[1].toString(), QStringLiteral("a@example.jp"));
        QCOMPARE(r[3].toLongLong(), 1);
        QCOMPARE(r[4].toLongLong(), 0);
        QCOMPARE(r[6].toLongLong(), 12);
        QCOMPARE(r[7].toLongLong(), -3);
        QCOMPARE(r[8].toString(), QStringLiteral("20240229"));
        QVERIFY(r[9].isNull());
        QCOMPARE(r[10].toString(), QStringLiteral("20240101"));
    }

    // An address holding statement text is only ever a value.
    void importRowsBindTheirValues()
    {
        addMember(1, 4, QStringLiteral("x@example.jp"));
        addMember(2, 9, QStringLiteral("y@example.jp"));
        const QString hostile = QStringLiteral("a'); delete from MagUser; --@example.jp");
        {
            MemberImportRows rows(1, true);
            rows.beginRow();
            QCOMPARE(rows.find(hostile), -1);
            MemberImportRows::Values v;
            for (int code = 0; code < MemberImportRows::kItems; ++code)
                v[size_t(code)] = code <= 2 ? QVariant(QStringLiteral("t%1").arg(code)) : QVariant(code);
            v[1] = hostile;
            rows.insert(v);
            rows.endRow();
            rows.beginRow();
            const qint64 found = rows.find(hostile);
            QCOMPARE(found, 10); // above every UserIdx of the table, not only of the magazine
            MemberImportRows::Values change;
            change[0] = QStringLiteral("renamed");
            rows.update(found, 1 << 0, change);
            rows.endRow();
            rows.commit();
        }
        const auto m = MemberSql::load(1, 10);
        QVERIFY(m);
        QCOMPARE(m->address, hostile);
        QCOMPARE(m->name, QStringLiteral("renamed"));
        QCOMPARE(m->url, QStringLiteral("t2"));
        QCOMPARE(MemberSql::count(1), 2);
        QCOMPARE(MemberSql::count(2), 1);
        QCOMPARE(MemberImportRows::column(1), QStringLiteral("UserAdrs"));
        QVERIFY(MemberImportRows::column(11).isEmpty());
    }

    void importWithoutLookupFindsNothing()
    {
        addMember(1, 1, QStringLiteral("a@example.jp"));
        MemberImportRows rows(1, false);
        QCOMPARE(rows.find(QStringLiteral("a@example.jp")), -1);
    }

    void removalByAddress()
    {
        addMember(1, 1, QStringLiteral("a@example.jp"));
        addMember(1, 2, QStringLiteral("a@example.jp"));
        addMember(1, 3, QStringLiteral("A@example.jp"));
        addMember(2, 4, QStringLiteral("a@example.jp"));
        {
            MemberRemoval removal(1);
            QCOMPARE(removal.remove(QStringLiteral("a@example.jp")), 2);
            QCOMPARE(removal.remove(QStringLiteral("' or 1=1 --")), 0);
            removal.commit();
        }
        QCOMPARE(userIdxs(1), QList<int>{3});
        QCOMPARE(userIdxs(2), QList<int>{4});
    }
};

QTEST_GUILESS_MAIN(TestMemberRows)
#include "tst_store_memberrows.moc"

// Bounce counts and the ids of a mailbox already dealt with: which members an address
// names, that one message counts once, that the counts go with their member or magazine,
// and that a backup carries them.
#include "fakes/StoreFixture.h"
#include "fakes/TestEnv.h"
#include "store/BackupScript.h"
#include "store/Database.h"
#include "store/InboxSeen.h"
#include "store/MemberBounces.h"
#include "store/MemberSql.h"
#include "store/MagazineSql.h"

#include <QtTest>

namespace {
const QString kBox = QStringLiteral("news@pop.example.jp:110");
}

class TestStoreMemberBounces : public QObject
{
    Q_OBJECT

    std::unique_ptr<TestEnv> env;

private Q_SLOTS:
    void init()
    {
        env = std::make_unique<TestEnv>();
        env->openStore();
        StoreFixture::addMagazine(1, QStringLiteral("週刊"));
        StoreFixture::addMagazine(2, QStringLiteral("月刊"));
        const StoreFixture::Row blank = StoreFixture::blankMemberColumns();
        StoreFixture::addMember(1, 1, QStringLiteral("a"), QStringLiteral("Taro@Example.JP"), blank);
        StoreFixture::addMember(2, 2, QStringLiteral("b"), QStringLiteral("Taro@example.jp"), blank);
        StoreFixture::addMember(1, 3, QStringLiteral("c"), QStringLiteral("taro@example.jp"), blank);
        StoreFixture::addMember(1, 4, QStringLiteral("d"), QStringLiteral("o'hara@example.jp"), blank);
    }
    void cleanup() { env.reset(); }

    // The local part as written, the domain in any case.
    void whoAnAddressNames_data()
    {
        QTest::addColumn<QString>("address");
        QTest::addColumn<QList<int>>("members");
        QTest::newRow("domain in other case") << "Taro@EXAMPLE.jp" << QList<int>{1, 2};
        QTest::newRow("local part in other case") << "TARO@example.jp" << QList<int>{};
        QTest::newRow("lower case") << "taro@example.jp" << QList<int>{3};
        QTest::newRow("quote in the address") << "o'hara@Example.jp" << QList<int>{4};
        QTest::newRow("nobody") << "hana@example.jp" << QList<int>{};
    }
    void whoAnAddressNames()
    {
        QFETCH(QString, address);
        QFETCH(QList<int>, members);
        const MemberBounces::BounceOutcome o = MemberBounces::applyBounce(kBox, "id1", {{address, true, "550"}}, "d");
        QCOMPARE(o.counted, members.size());
        QList<int> counted;
        for (int userIdx : {1, 2, 3, 4})
            if (MemberBounces::load(userIdx == 2 ? 2 : 1, userIdx))
                counted += userIdx;
        QCOMPARE(counted, members);
        // The id is done only when it changed something; otherwise it is the caller's to leave.
        QCOMPARE(InboxSeen::load(kBox).value("id1", InboxSeen::State::New),
                 members.isEmpty() ? InboxSeen::State::New : InboxSeen::State::Done);
    }

    void oneMessageCountsOnce()
    {
        const QList<BounceEvent> twice{{"taro@example.jp", true, "first"}, {"taro@example.jp", true, "second"}};
        QCOMPARE(MemberBounces::applyBounce(kBox, "id1", twice, "d1").counted, 1);
        const MemberBounces::BounceOutcome again = MemberBounces::applyBounce(kBox, "id1", twice, "d2");
        QVERIFY(again.alreadyDone);
        QCOMPARE(again.counted, 0);
        QCOMPARE(MemberBounces::applyBounce(kBox, "id2", {{"taro@example.jp", false, "soft"}}, "d3").counted, 1);
        const MemberBounce b = *MemberBounces::load(1, 3);
        QCOMPARE(b.bounces, 2);
        QCOMPARE(b.hardBounces, 1);
        QCOMPARE(b.lastReason, QStringLiteral("soft"));
        QCOMPARE(b.lastDate, QStringLiteral("d3"));
        QCOMPARE(MemberBounces::applyUnsubscribe(kBox, "id1", 1, 3), MemberBounces::UnsubscribeOutcome::AlreadyDone);
    }

    void countsGoWithTheirMember_data()
    {
        QTest::addColumn<bool>("wholeMagazine");
        QTest::newRow("member deleted") << false;
        QTest::newRow("magazine deleted") << true;
    }
    void countsGoWithTheirMember()
    {
        QFETCH(bool, wholeMagazine);
        MemberBounces::applyBounce(kBox, "id1", {{"Taro@example.jp", true, "x"}, {"taro@example.jp", true, "x"}}, "d");
        QVERIFY(MemberBounces::load(1, 3));
        if (wholeMagazine)
            MagazineSql::removeWithMembers(1);
        else
            MemberSql::remove(1, {3});
        // A member added later under the same number starts from nothing.
        QVERIFY(!MemberBounces::load(1, 3));
        QCOMPARE(MemberBounces::forMagazine(2).size(), 1);
    }

    void backupCarriesThem()
    {
        MemberBounces::applyBounce(kBox, "id1", {{"taro@example.jp", true, "it's gone"}}, "d");
        BounceEvent complaint;
        complaint.magIdx = 2;
        complaint.userIdx = 2;
        complaint.reason = QStringLiteral("苦情 (abuse)");
        QCOMPARE(MemberBounces::applyComplaint(kBox, "id3", {complaint}, "d").suspended, 1);
        InboxSeen::mark(kBox, "id2", InboxSeen::State::Left);
        QStringList script;
        BackupScript::write([&](const QString &s) { script << s; });
        Statement s;
        s.exec(QStringLiteral("delete from MemberBounce"));
        s.exec(QStringLiteral("delete from InboxSeen"));
        {
            BackupScript::Restore r;
            for (const QString &line : script)
                QVERIFY2(r.run(line), qPrintable(line));
            r.commit();
        }
        QCOMPARE(MemberBounces::load(1, 3)->lastReason, QStringLiteral("it's gone"));
        QCOMPARE(MemberBounces::load(2, 2)->complaints, 1);
        QCOMPARE(MemberBounces::load(1, 3)->complaints, 0);
        QCOMPARE(InboxSeen::load(kBox).size(), 3);

        // The counts of a build before complaints were counted: none.
        {
            BackupScript::Restore r;
            QVERIFY(r.run(QStringLiteral("delete from MemberBounce;")));
            QVERIFY(r.run(QStringLiteral("insert into MemberBounce (MagIdx,UserIdx,Bounces,HardBounces,LastReason,LastDate)"
                                         " values (2,2,1,1,'old','d');")));
            r.commit();
        }
        QCOMPARE(MemberBounces::load(2, 2)->complaints, 0);
        QCOMPARE(MemberBounces::load(2, 2)->hardBounces, 1);

        // A backup of an older build holds neither: they are not pinned on its members.
        {
            BackupScript::Restore r;
            QVERIFY(r.run(QStringLiteral("delete from Maguser;")));
            r.commit();
        }
        QVERIFY(!MemberBounces::load(1, 3));
        QVERIFY(InboxSeen::load(kBox).isEmpty());
    }

    // A store of a build before complaints were counted gets the column when it opens, its
    // counts as they were.
    void olderStoreGetsTheColumn()
    {
        {
            Statement s;
            s.exec(QStringLiteral("drop table MemberBounce"));
            s.exec(QStringLiteral("create table MemberBounce (MagIdx integer not null, UserIdx integer not null,"
                                  " Bounces integer not null default 0, HardBounces integer not null default 0,"
                                  " LastReason text, LastDate text, primary key (MagIdx, UserIdx))"));
            s.exec(QStringLiteral("insert into MemberBounce values (1, 3, 4, 2, 'old', 'd')"));
        }
        env->closeStore();
        env->openStore();
        const std::optional<MemberBounce> b = MemberBounces::load(1, 3);
        QVERIFY(b.has_value());
        QCOMPARE(b->bounces, 4);
        QCOMPARE(b->hardBounces, 2);
        QCOMPARE(b->complaints, 0);
    }

    void forgetsWhatIsGone()
    {
        for (const QByteArray id : {"a", "b", "c"})
            InboxSeen::mark(kBox, id, InboxSeen::State::Left);
        InboxSeen::mark(QStringLiteral("other@pop.example.jp:110"), "a", InboxSeen::State::Done);
        InboxSeen::keepOnly(kBox, {"b", "z"});
        QCOMPARE(InboxSeen::load(kBox).keys(), QList<QByteArray>{"b"});
        QCOMPARE(InboxSeen::load(QStringLiteral("other@pop.example.jp:110")).size(), 1);
    }
};

QTEST_GUILESS_MAIN(TestStoreMemberBounces)
#include "tst_store_member_bounces.moc"

// A member number is given once in a magazine: deleting the highest member and adding one
// never gives the departed member's number again, whichever path adds it (the member
// dialog's save, an import, an insert that leaves the number to the store), after a backup
// and restore, and in a store of an older build whose departed members are known only from
// the recipients of its issues.
#include "fakes/StoreFixture.h"
#include "fakes/TestEnv.h"
#include "maintenance/UBackup.h"
#include "maintenance/UImport.h"
#include "maintenance/UTextLines.h"
#include "members/MemberEntry.h"
#include "store/Database.h"
#include "store/MemberNumbers.h"
#include "store/MemberSql.h"

#include <QBuffer>
#include <QSaveFile>
#include <QSqlError>
#include <QSqlQuery>
#include <QTemporaryDir>
#include <QtTest>

using namespace StoreFixture;

namespace {

void sql(const QString &text)
{
    QSqlQuery q(Store::connection());
    QVERIFY2(q.exec(text), qPrintable(text + q.lastError().text()));
}

qint64 scalar(const QString &text)
{
    return Statement().scalar(text);
}

enum class Path { Dialog, Import, Store };

// Adds a member with this address to the magazine through the path; returns its number.
qint64 addThrough(Path path, int magIdx, const QString &address)
{
    switch (path) {
    case Path::Dialog: {
        MemberRecord m = MemberEntry::blank(magIdx);
        m.address = address;
        MemberEntry::save(m);
        return m.userIdx;
    }
    case Path::Import: {
        QByteArray line = address.toUtf8() + "\r\n";
        QBuffer in(&line);
        in.open(QIODevice::ReadOnly);
        TextLineReader lines(in);
        ImportSettings settings;
        settings.order = {1};
        settings.heading = false;
        const ImportOutcome out = MemberImport(magIdx, settings, QDate(2024, 1, 1)).run(lines, nullptr, {});
        if (out.inserted != 1)
            return -1;
        break;
    }
    case Path::Store: {
        QSqlQuery q(Store::connection());
        q.prepare("insert into MagUser (MagIdx, UserAdrs) values (?, ?)");
        q.addBindValue(magIdx);
        q.addBindValue(address);
        if (!q.exec())
            return -1;
        break;
    }
    }
    PreparedStatement s(QStringLiteral("select UserIdx from MagUser where MagIdx = ? and UserAdrs = ?"));
    return s.scalar({magIdx, address});
}

// Members 1..count, added as the member dialog adds them.
void members(int magIdx, int count)
{
    for (int i = 1; i <= count; ++i)
        QCOMPARE(addThrough(Path::Dialog, magIdx, QStringLiteral("m%1@example.jp").arg(i)), i);
}

QString backup(const QTemporaryDir &dir, const QString &name)
{
    const QString path = dir.filePath(name);
    QSaveFile file(path);
    if (!file.open(QIODevice::WriteOnly) || !WriteBackup(file).ok)
        return QString();
    return path;
}

RestoreOutcome restore(const QString &path)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return {};
    TextLineReader lines(file);
    return RestoreBackup(lines);
}

} // namespace

Q_DECLARE_METATYPE(Path)

class TestMemberNumbers : public QObject
{
    Q_OBJECT

    std::unique_ptr<TestEnv> env;

    static void paths()
    {
        QTest::addColumn<Path>("path");
        QTest::newRow("member dialog") << Path::Dialog;
        QTest::newRow("import") << Path::Import;
        QTest::newRow("store") << Path::Store;
    }

private Q_SLOTS:
    void init()
    {
        env = std::make_unique<TestEnv>();
        env->openStore();
        addMagazine(1, "便り");
    }
    void cleanup() { env.reset(); }

    // The highest member deleted, the next one added gets a number above it, and so on.
    void deletedHighestIsNotGivenAgain_data() { paths(); }
    void deletedHighestIsNotGivenAgain()
    {
        QFETCH(Path, path);
        members(1, 3);
        MemberSql::remove(1, {3});
        QCOMPARE(addThrough(path, 1, "new1@example.jp"), 4);
        MemberSql::remove(1, {4});
        QCOMPARE(addThrough(path, 1, "new2@example.jp"), 5);
        QCOMPARE(addThrough(path, 1, "new3@example.jp"), 6);
        QCOMPARE(MemberNumbers::marks().value(1), 6);
    }

    // A backup carries the marks; a restore keeps the higher of the store's and the
    // backup's, and every number the restored rows name: a backup taken before members
    // joined and left does not give their numbers again.
    void restoreKeepsNumbersGiven_data() { paths(); }
    void restoreKeepsNumbersGiven()
    {
        QFETCH(Path, path);
        QTemporaryDir dir;
        members(1, 3);
        MemberSql::remove(1, {3});
        const QString before = backup(dir, "before.bak");
        QVERIFY(!before.isEmpty());
        QVERIFY(restore(before).ok);
        QCOMPARE(addThrough(path, 1, "a@example.jp"), 4);
        MemberSql::remove(1, {4});
        QVERIFY(restore(before).ok);
        QCOMPARE(scalar("select max(UserIdx) from MagUser"), 2);
        QCOMPARE(addThrough(path, 1, "b@example.jp"), 5);
    }

    // A backup of an older build has no marks: the departed members it knows of as an
    // issue's recipients keep their numbers.
    void restoreOfOlderBackupCountsRecipients()
    {
        QTemporaryDir dir;
        const QString path = dir.filePath("old.bak");
        QFile f(path);
        QVERIFY(f.open(QIODevice::WriteOnly));
        f.write("delete from Magzine;\r\ninsert into Magzine (MagIdx,MagName) values(1,'便り');\r\n"
                "delete from MagInfo;\r\ninsert into MagInfo (MagIdx,MagCnt) values(1,1);\r\n"
                "delete from MagHist;\r\ninsert into MagHist (MagIdx,MagCnt,MagUser,SendComplete) values(1,1,1,1),(1,1,7,1);\r\n"
                "delete from Maguser;\r\ninsert into MagUser (MagIdx,UserIdx,UserAdrs) values(1,1,'m1@example.jp');\r\n");
        f.close();
        QVERIFY(restore(path).ok);
        QCOMPARE(addThrough(Path::Dialog, 1, "n@example.jp"), 8);
    }

    // A store of an older build: no marks and the trigger that counted from the table alone.
    // Its first opening fills the marks from every number its rows name and brings the
    // trigger up to date; a member an older build adds later raises the mark at the next
    // opening.
    void olderStoreIsBroughtUpToDate()
    {
        members(1, 2);
        addIssue(1, 1, {});
        addRecipient(1, 1, 9);
        sql("drop table MemberNumber");
        sql("drop trigger MagUserAssignIdx");
        sql("create trigger MagUserAssignIdx after insert on MagUser when new.UserIdx is null begin"
            " update MagUser set UserIdx = (select ifnull(max(UserIdx), 0) + 1 from MagUser) where rowid = new.rowid; end");
        env->closeStore();
        env->openStore();
        QCOMPARE(MemberNumbers::marks().value(1), 9);
        QVERIFY(scalar("select count(*) from sqlite_master where name = 'MagUserAssignIdx' and sql like '%MemberNumber%'") == 1);
        QCOMPARE(addThrough(Path::Store, 1, "t@example.jp"), 10);
        addMember(1, 20, "old build", "old@example.jp");
        env->closeStore();
        env->openStore();
        QCOMPARE(MemberNumbers::marks().value(1), 20);
        QCOMPARE(addThrough(Path::Dialog, 1, "d@example.jp"), 21);
    }

    // Each magazine counts on its own in the dialog: a mark of one never moves another.
    void marksAreKeptPerMagazine()
    {
        addMagazine(2, "通信");
        members(1, 5);
        MemberSql::remove(1, {4, 5});
        QCOMPARE(addThrough(Path::Dialog, 2, "a@example.jp"), 1);
        QCOMPARE(addThrough(Path::Dialog, 1, "b@example.jp"), 6);
    }
};

QTEST_MAIN(TestMemberNumbers)
#include "tst_store_member_numbers.moc"

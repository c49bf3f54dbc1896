// A member deleted while an issue still has to reach them: every path that deletes members
// settles the member's open rows in every issue as skipped ("メンバー削除") in its own
// transaction, with SendComplete and without the after-send update, so that nothing is left
// for a resume; final and unknown rows keep what they tell. A store that already holds open
// rows of members that are gone is settled when it is opened.
#include "fakes/StoreFixture.h"
#include "fakes/TestEnv.h"
#include "maintenance/URemoveList.h"
#include "maintenance/UTextLines.h"
#include "store/PreparedStatement.h"
#include "store/Database.h"
#include "store/DepartedMembers.h"
#include "store/MagazineMailSettings.h"
#include "store/MemberBounces.h"
#include "store/MemberSql.h"
#include "store/MagazineSql.h"
#include "store/SendStates.h"

#include <QBuffer>
#include <QSqlError>
#include <QSqlQuery>
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

// The row of a member in an issue: "state|reply|next try|SendComplete".
QString rowOf(int magIdx, int magCnt, int member)
{
    Statement s;
    s.open(QStringLiteral("select S.State, ifnull(S.Reply, ''), ifnull(S.NextTry, ''), ifnull(H.SendComplete, 0)"
                          " from SendState S left join MagHist H on H.MagIdx = S.MagIdx and H.MagCnt = S.MagCnt"
                          " and H.MagUser = S.MagUser where S.MagIdx = %1 and S.MagCnt = %2 and S.MagUser = %3")
               .arg(magIdx)
               .arg(magCnt)
               .arg(member));
    if (!s.next())
        return QStringLiteral("<none>");
    return QStringList{s.text(0), s.text(1), s.text(2), s.text(3)}.join(u'|');
}

void setState(int magIdx, int magCnt, int member, int state, const QVariant &nextTry = {})
{
    PreparedStatement s(QStringLiteral("update SendState set State = ?, NextTry = ?, Reply = 'before'"
                                       " where MagIdx = ? and MagCnt = ? and MagUser = ?"));
    s.run({state, nextTry, magIdx, magCnt, member});
}

const QString kCountUp = QStringLiteral("update MagUser set Count1 = Count1 + 1");

// Magazine 1 with members 1..4, issues 1 and 2 to all of them (counting up Count1 after
// sending), everyone but member 2 sent; member 2 waiting in issue 2 and in `state` in
// issue 1. Magazine 2 has its own member 2, waiting in its issue 1.
void fixture(int state)
{
    addMagazine(1, "便り");
    addMagazine(2, "通信");
    for (int i = 1; i <= 4; ++i)
        addMember(1, i, QStringLiteral("会員%1").arg(i), QStringLiteral("m%1@example.jp").arg(i), {{"Count1", 0}});
    addMember(2, 2, "他誌", "m2@example.jp");
    for (int cnt : {1, 2}) {
        Issue issue;
        issue.updateSql = kCountUp;
        addIssue(1, cnt, issue);
        for (int i = 1; i <= 4; ++i)
            addRecipient(1, cnt, i);
        addSendStates(1, cnt);
        for (int i : {1, 3, 4}) {
            setState(1, cnt, i, int(SendState::Sent));
            sql(QStringLiteral("update MagHist set SendComplete = 1 where MagIdx = 1 and MagCnt = %1 and MagUser = %2")
                    .arg(cnt)
                    .arg(i));
        }
    }
    setState(1, 1, 2, state, state == 3 || state == 7 ? QVariant(2000000000) : QVariant());
    if (state == int(SendState::Sent))
        sql("update MagHist set SendComplete = 1 where MagIdx = 1 and MagCnt = 1 and MagUser = 2");
    addIssue(2, 1, {});
    addRecipient(2, 1, 2);
    addSendStates(2, 1);
}

enum class Path { MemberList, RemovalByList, Unsubscribe };

void deleteMember2(Path path)
{
    switch (path) {
    case Path::MemberList:
        MemberSql::remove(1, {2});
        break;
    case Path::RemovalByList: {
        QByteArray list("m2@example.jp\r\n");
        QBuffer in(&list);
        in.open(QIODevice::ReadOnly);
        TextLineReader lines(in);
        const RemoveOutcome out = RemoveListedMembers(1, lines, {});
        QVERIFY2(!out.stopped, qPrintable(out.error));
        QCOMPARE(out.removed, 1);
        break;
    }
    case Path::Unsubscribe: {
        MagazineMailSettings settings;
        settings.unsubscribeAction = MagazineMailSettings::UnsubscribeAction::Delete;
        MagazineMailSettings::save(1, settings);
        QCOMPARE(MemberBounces::applyUnsubscribe("box", "uidl-1", 1, 2), MemberBounces::UnsubscribeOutcome::Removed);
        break;
    }
    }
}

const QString kSettled = QStringLiteral("5|メンバー削除||1");

} // namespace

Q_DECLARE_METATYPE(Path)

class TestDepartedMembers : public QObject
{
    Q_OBJECT

    std::unique_ptr<TestEnv> env;

private Q_SLOTS:
    void init()
    {
        env = std::make_unique<TestEnv>();
        env->openStore();
    }
    void cleanup() { env.reset(); }

    // Every delete path, with the member in each state of issue 1: open rows (waiting,
    // sending, deferred, reserved) become skipped in every issue; final and unknown rows
    // stay as they were. Nothing is left to resume, and the other magazine's member of the
    // same number keeps its row.
    void deleteSettlesOpenRows_data()
    {
        QTest::addColumn<Path>("path");
        QTest::addColumn<int>("state");
        QTest::addColumn<QString>("after");
        const std::pair<const char *, Path> paths[] = {
            {"member list", Path::MemberList}, {"removal by list", Path::RemovalByList}, {"unsubscribe", Path::Unsubscribe}};
        for (const auto &[name, path] : paths) {
            const auto row = [&](const char *state) -> QTestData & { return QTest::addRow("%s, %s", name, state); };
            row("waiting") << path << 0 << kSettled;
            row("sending") << path << 1 << kSettled;
            row("deferred") << path << 3 << kSettled;
            row("reserved") << path << 7 << kSettled;
            row("sent") << path << 2 << QStringLiteral("2|before||1");
            row("failed") << path << 4 << QStringLiteral("4|before||0");
            row("unknown") << path << 6 << QStringLiteral("6|before||0");
        }
    }
    void deleteSettlesOpenRows()
    {
        QFETCH(Path, path);
        QFETCH(int, state);
        QFETCH(QString, after);
        fixture(state);
        deleteMember2(path);
        QCOMPARE(scalar("select count(*) from MagUser where MagIdx = 1 and UserIdx = 2"), 0);
        QCOMPARE(rowOf(1, 1, 2), after);
        QCOMPARE(rowOf(1, 2, 2), kSettled);
        QCOMPARE(rowOf(1, 1, 1), QStringLiteral("2|before||1"));
        QCOMPARE(rowOf(2, 1, 2), QStringLiteral("0|||0"));
        // nothing sent: the members' counters are as they were
        QCOMPARE(scalar("select sum(Count1) from MagUser where MagIdx = 1"), 0);
        for (int cnt : {1, 2}) {
            const SendStateCounts c = SendStates::counts(1, cnt);
            QCOMPARE(c.open(), 0);
            QCOMPARE(c.total(), 4);
        }
        for (const IssueStateRow &r : SendStates::resumable())
            QCOMPARE(r.MagIdx, 2);
    }

    // The settle belongs to the delete: a delete the store refuses settles nothing.
    void refusedDeleteSettlesNothing()
    {
        fixture(0);
        sql("create trigger NoDelete before delete on MagUser begin select raise(abort, 'refused'); end");
        QVERIFY_THROWS_EXCEPTION(StoreError, MemberSql::remove(1, {2}));
        QCOMPARE(rowOf(1, 1, 2), QStringLiteral("0|before||0"));
        QCOMPARE(rowOf(1, 2, 2), QStringLiteral("0|||0"));
    }

    // A magazine deleted with its members takes its delivery rows: nothing of it is left to
    // resume, and the other magazine's issue is untouched.
    void magazineDeleteLeavesNothingOpen()
    {
        fixture(0);
        MagazineSql::removeWithMembers(1);
        QCOMPARE(SendStates::counts(1, 1).total(), 0);
        QCOMPARE(SendStates::counts(1, 2).total(), 0);
        QCOMPARE(rowOf(2, 1, 2), QStringLiteral("0|||0"));
        const QList<IssueStateRow> left = SendStates::resumable();
        QCOMPARE(left.size(), 1);
        QCOMPARE(left.first().MagIdx, 2);
    }

    // Rows an older build left (its delete did not settle them) are settled when the store
    // is opened; a member who is still there keeps an open row.
    void openSettlesRowsOfGoneMembers()
    {
        fixture(1);
        sql("delete from MagUser where MagIdx = 1 and UserIdx = 2");
        setState(1, 1, 1, 0);
        QCOMPARE(SendStates::counts(1, 1).open(), 2);
        env->closeStore();
        env->openStore();
        QCOMPARE(rowOf(1, 1, 2), kSettled);
        QCOMPARE(rowOf(1, 2, 2), kSettled);
        QCOMPARE(rowOf(1, 1, 1), QStringLiteral("0|before||1"));
        QCOMPARE(rowOf(2, 1, 2), QStringLiteral("0|||0"));
    }

    // The statements find the member's rows through their indexes: a store of years of
    // issues is never read whole for one deleted member, and the check at opening reads
    // only the open rows.
    void statementsUseTheIndexes_data()
    {
        QTest::addColumn<QString>("statement");
        QTest::addColumn<QVariantList>("values");
        QTest::addColumn<QString>("index");
        const QStringList settle = DepartedMembers::settleStatements();
        QTest::newRow("SendComplete") << settle.at(0) << QVariantList{1, 2, 1, 2} << "SendStateMemberOpen";
        QTest::newRow("rows") << settle.at(1) << QVariantList{"x", 1, 2} << "SendStateMemberOpen";
        QTest::newRow("gone") << DepartedMembers::goneStatement() << QVariantList{} << "SendStateMemberOpen";
    }
    void statementsUseTheIndexes()
    {
        QFETCH(QString, statement);
        QFETCH(QVariantList, values);
        QFETCH(QString, index);
        PreparedStatement s(QStringLiteral("explain query plan ") + statement);
        s.bindFrom(0, values);
        s.exec();
        QStringList plan;
        while (s.next())
            plan << s.value(3).toString();
        const QString text = plan.join(QStringLiteral(" | "));
        QVERIFY2(text.contains(index), qPrintable(text));
        for (const QString &line : plan)
            QVERIFY2(!(line.startsWith("SCAN") && !line.contains("INDEX")), qPrintable(text));
    }
};

QTEST_MAIN(TestDepartedMembers)
#include "tst_store_departed_members.moc"

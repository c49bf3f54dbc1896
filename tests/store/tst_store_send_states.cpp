// The per-recipient delivery records: the rows an issue gets when it is recorded, what a
// delivery reads back as still to send, how outcomes are recorded (SendComplete and the
// after-send update once per member, whatever is recorded after), the lock between two
// deliveries, and the delivery settings.
#include "fakes/StoreFixture.h"
#include "fakes/TestEnv.h"
#include "store/AfterSendUpdate.h"
#include "store/Database.h"
#include "store/DeliveryRecords.h"
#include "store/HistoryRecords.h"
#include "store/IssueRecords.h"
#include "store/MagazineSql.h"
#include "store/SendSettings.h"
#include "store/SendStates.h"

#include <QSqlError>
#include <QSqlQuery>
#include <QtTest>

#include <unistd.h>

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

// Magazine 1 with members 1..n (Count1 0), and issue 1 sending to all of them, seeded.
void issueOf(int n, const QString &updateSql = QString())
{
    addMagazine(1, "便り");
    for (int i = 1; i <= n; ++i)
        addMember(1, i, QStringLiteral("会員%1").arg(i), QStringLiteral("m%1@example.jp").arg(i), {{"Count1", 0}});
    Issue issue;
    issue.title = "件名";
    issue.updateSql = updateSql;
    addIssue(1, 1, issue);
    for (int i = 1; i <= n; ++i)
        addRecipient(1, 1, i);
    SendStates::seed(1, 1);
}

SendState stateOf(qint64 member)
{
    return SendState(scalar(QStringLiteral("select State from SendState where MagIdx = 1 and MagCnt = 1 and MagUser = %1").arg(member)));
}

qint64 count1(qint64 member)
{
    return scalar(QStringLiteral("select Count1 from MagUser where MagIdx = 1 and UserIdx = %1").arg(member));
}

qint64 complete(qint64 member)
{
    return scalar(QStringLiteral("select SendComplete from MagHist where MagIdx = 1 and MagCnt = 1 and MagUser = %1").arg(member));
}

SendResult result(qint64 member, SendState state, int attempts = 1)
{
    SendResult r;
    r.MagUser = member;
    r.state = state;
    r.attempts = attempts;
    r.reply = QStringLiteral("250 ok");
    if (state == SendState::Deferred)
        r.nextTry = QDateTime::fromSecsSinceEpoch(2000000000);
    return r;
}

const QString kCountUp = AfterSendUpdate::text({false, false, false, true, false, false, false}, QDate(2024, 1, 1));

// A process start that is not the live one of `pid`.
qint64 ourStart()
{
    QFile f(QStringLiteral("/proc/%1/stat").arg(::getpid()));
    f.open(QIODevice::ReadOnly);
    const QByteArray s = f.readAll();
    return s.mid(s.lastIndexOf(')') + 2).split(' ').at(19).toLongLong();
}

QString bootId()
{
    QFile f(QStringLiteral("/proc/sys/kernel/random/boot_id"));
    f.open(QIODevice::ReadOnly);
    return QString::fromLatin1(f.readAll()).trimmed();
}

// Issue `cnt` of magazine `mag`, recorded on `day`, to members 1 and 2 of it, seeded.
void seededIssue(int mag, int cnt, const QString &day)
{
    Issue issue;
    issue.addDate = day + QStringLiteral(" 10:00:00");
    addIssue(mag, cnt, issue);
    addRecipient(mag, cnt, mag * 10 + 1);
    addRecipient(mag, cnt, mag * 10 + 2);
    SendStates::seed(mag, cnt);
}

// Two magazines, each with two members and issues 1 (June 1st) and 2 (June 3rd).
void twoMagazines()
{
    for (int mag : {1, 2}) {
        addMagazine(mag, QStringLiteral("便り%1").arg(mag));
        addMember(mag, mag * 10 + 1, "名", QStringLiteral("a%1@example.jp").arg(mag));
        addMember(mag, mag * 10 + 2, "名", QStringLiteral("b%1@example.jp").arg(mag));
        seededIssue(mag, 1, QStringLiteral("2024/06/01"));
        seededIssue(mag, 2, QStringLiteral("2024/06/03"));
    }
}

// "mag/cnt:rows" for every issue that has delivery rows, in key order.
QStringList issuesWithRows()
{
    QStringList out;
    Statement s;
    s.open(QStringLiteral("select MagIdx, MagCnt, count(*) from SendState group by MagIdx, MagCnt order by 1, 2"));
    while (s.next())
        out << QStringLiteral("%1/%2:%3").arg(s.text(0), s.text(1), s.text(2));
    return out;
}

} // namespace

class TestStoreSendStates : public QObject
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

    void insertIssueSeedsWaitingRows()
    {
        addMagazine(1, "便り");
        for (int i = 1; i <= 3; ++i)
            addMember(1, i, "名", QStringLiteral("m%1@example.jp").arg(i));
        IssueRow row;
        row.MagIdx = 1;
        row.Title = "件名";
        const RecipientQuery all{QStringLiteral("where U.MagIdx = ?"), {1}};
        const int cnt = InsertIssue(row, all);
        const SendStateCounts c = SendStates::counts(1, cnt);
        QCOMPARE(c.waiting, 3);
        QCOMPARE(c.total(), 3);

        // When the rows cannot be written, the issue is not recorded either.
        sql("create trigger NoRows before insert on SendState begin select raise(abort, 'refused'); end");
        QVERIFY_THROWS_EXCEPTION(StoreError, InsertIssue(row, all));
        QCOMPARE(scalar("select count(*) from MagInfo"), 1);
        QCOMPARE(scalar("select count(*) from MagHist"), 3);
    }

    // Read a page at a time, each page's statement finished before the next: a write between
    // two rows (as a delivery makes) sees no read open on the connection.
    void pendingReadsWaitingAndDeferredInOrder_data()
    {
        QTest::addColumn<int>("pageSize");
        QTest::newRow("one row a page") << 1;
        QTest::newRow("two") << 2;
        QTest::newRow("all at once") << 512;
    }
    void pendingReadsWaitingAndDeferredInOrder()
    {
        QFETCH(int, pageSize);
        issueOf(6);
        SendStates::record(1, 1, QString(), {result(2, SendState::Sent), result(4, SendState::Deferred, 2)});
        SendStates::markSending(1, 1, {5});
        sql("delete from MagUser where UserIdx = 3");
        SendStates::PendingCursor cursor(1, 1, pageSize);
        SendStates::PendingRecipient r;
        QList<qint64> seen;
        while (cursor.next(&r)) {
            seen << r.member.MagUser;
            QCOMPARE(r.deleted, r.member.MagUser == 3);
            // The delivery writes between rows; it must neither fail nor change what is read.
            SendStates::reserve(1, 1, {r.member.MagUser});
            if (r.member.MagUser == 3)
                continue;
            if (r.member.MagUser == 4) {
                QCOMPARE(r.attempts, 2);
                QCOMPARE(r.nextTry.toSecsSinceEpoch(), 2000000000);
            } else {
                QVERIFY(!r.nextTry.isValid());
                QCOMPARE(r.member.UserAdrs, QStringLiteral("m%1@example.jp").arg(r.member.MagUser));
            }
        }
        QCOMPARE(seen, (QList<qint64>{1, 3, 4, 6}));
    }

    // What a delivery that no longer runs left in flight or reserved, as the next read of the
    // issue settles it: after a crash of the process the reserved rows were never tried and
    // wait again; after a reboot (or a run on another machine) they may have been, and are
    // unknown; the mail in flight is unknown either way; a live delivery's rows stay.
    void staleRowsSettled_data()
    {
        QTest::addColumn<QString>("lock");  // none, crashed, rebooted, elsewhere, live
        QTest::addColumn<QList<int>>("after");  // states of members 1..4: sent, sending, reserved, deferred-reserved
        const int sent = int(SendState::Sent), unknown = int(SendState::Unknown);
        QTest::newRow("released in order") << "none" << QList<int>{sent, unknown, 0, 3};
        QTest::newRow("process crashed") << "crashed" << QList<int>{sent, unknown, 0, 3};
        QTest::newRow("machine rebooted") << "rebooted" << QList<int>{sent, unknown, unknown, unknown};
        QTest::newRow("run on another machine") << "elsewhere" << QList<int>{sent, unknown, unknown, unknown};
        QTest::newRow("still running") << "live" << QList<int>{sent, 1, 7, 7};
    }
    void staleRowsSettled()
    {
        QFETCH(QString, lock);
        QFETCH(QList<int>, after);
        issueOf(4);
        if (lock == "live")
            QVERIFY(SendLock::acquire(1, 1));
        SendStates::record(1, 1, QString(), {result(1, SendState::Sent), result(4, SendState::Deferred, 1)});
        SendStates::reserve(1, 1, {2, 3, 4});
        SendStates::markSending(1, 1, {2});
        const qint64 now = QDateTime::currentSecsSinceEpoch();
        if (lock != "live" && lock != "none") {
            const bool here = lock != "elsewhere";
            insert("SendLock", {{"MagIdx", 1}, {"MagCnt", 1},
                                {"Host", here ? QSysInfo::machineHostName() : QStringLiteral("elsewhere.example")},
                                {"Pid", 2147483000}, {"Started", 5},
                                {"BootId", lock == "rebooted" ? QStringLiteral("0-0") : bootId()},
                                {"Heartbeat", lock == "elsewhere" ? now - 3600 : now}});
        }
        const QList<IssueStateRow> issues = SendStates::issues();
        QCOMPARE(issues.size(), 1);
        QList<int> states;
        for (qint64 m = 1; m <= 4; ++m)
            states += int(stateOf(m));
        QCOMPARE(states, after);
        QCOMPARE(issues[0].state, lock == "live"                           ? IssueState::Running
                                  : after.contains(int(SendState::Waiting)) ? IssueState::Stopped
                                                                            : IssueState::Partial);
        QCOMPARE(issues[0].counts.sending, lock == "live" ? 1 : 0);
        if (lock != "live")
            QCOMPARE(scalar("select count(*) from SendLock"), 0);
        else
            SendLock::release(1, 1);
    }

    void recordAppliesUpdateOnce_data()
    {
        QTest::addColumn<QList<SendState>>("sequence");
        QTest::addColumn<bool>("requeueBetween");
        QTest::addColumn<SendState>("last");
        QTest::addColumn<qint64>("count");
        QTest::addColumn<qint64>("sendComplete");
        QTest::newRow("sent") << QList<SendState>{SendState::Sent} << false << SendState::Sent << 1LL << 1LL;
        QTest::newRow("sent twice") << QList<SendState>{SendState::Sent, SendState::Sent} << false << SendState::Sent << 1LL << 1LL;
        QTest::newRow("failed is final") << QList<SendState>{SendState::Failed} << false << SendState::Failed << 1LL << 1LL;
        QTest::newRow("skipped is final") << QList<SendState>{SendState::Skipped} << false << SendState::Skipped << 1LL << 1LL;
        QTest::newRow("deferred is not") << QList<SendState>{SendState::Deferred} << false << SendState::Deferred << 0LL << 0LL;
        QTest::newRow("unknown is not") << QList<SendState>{SendState::Unknown} << false << SendState::Unknown << 0LL << 0LL;
        QTest::newRow("deferred then sent") << QList<SendState>{SendState::Deferred, SendState::Sent} << false << SendState::Sent << 1LL << 1LL;
        QTest::newRow("failed, requeued, sent") << QList<SendState>{SendState::Failed, SendState::Sent} << true << SendState::Sent << 1LL << 1LL;
    }
    void recordAppliesUpdateOnce()
    {
        QFETCH(QList<SendState>, sequence);
        QFETCH(bool, requeueBetween);
        QFETCH(SendState, last);
        QFETCH(qint64, count);
        QFETCH(qint64, sendComplete);
        issueOf(2, kCountUp);
        for (qsizetype i = 0; i < sequence.size(); ++i) {
            if (i > 0 && requeueBetween)
                QCOMPARE(SendStates::requeue(1, 1, true, true), 1);
            SendStates::markSending(1, 1, {1});
            SendStates::record(1, 1, kCountUp, {result(1, sequence[i], int(i) + 1)});
        }
        QCOMPARE(stateOf(1), last);
        QCOMPARE(count1(1), count);
        QCOMPARE(complete(1), sendComplete);
        QCOMPARE(count1(2), 0);
        QCOMPARE(complete(2), 0);
        QCOMPARE(stateOf(2), SendState::Waiting);
    }

    void refusedUpdateRecordsNothing()
    {
        issueOf(1);
        sql("update MagUser set Count1 = 0");
        QVERIFY_THROWS_EXCEPTION(StoreError, SendStates::record(1, 1, "set Count1 = 99", {result(1, SendState::Sent)}));
        QCOMPARE(stateOf(1), SendState::Waiting);
        QCOMPARE(complete(1), 0);
        QCOMPARE(count1(1), 0);
    }

    void settleRequeueCancel()
    {
        issueOf(6);
        SendStates::record(1, 1, QString(), {result(1, SendState::Failed), result(2, SendState::Unknown),
                                             result(3, SendState::Deferred), result(4, SendState::Sent)});
        SendStates::markSending(1, 1, {5});
        QCOMPARE(SendStates::settleInterrupted(1, 1), 1);
        QCOMPARE(stateOf(5), SendState::Unknown);
        QCOMPARE(SendStates::rows(1, 1, {SendState::Unknown}).at(1).reply, QStringLiteral("中断により結果不明"));

        QCOMPARE(SendStates::requeue(1, 1, true, false), 1);
        QCOMPARE(stateOf(1), SendState::Waiting);
        QCOMPARE(stateOf(2), SendState::Unknown);
        QCOMPARE(SendStates::requeue(1, 1, false, true), 2);
        QCOMPARE(stateOf(2), SendState::Waiting);

        // waiting 1, 2, 5, 6 and deferred 3
        QCOMPARE(SendStates::cancelOpen(1, 1), 5);
        const SendStateCounts c = SendStates::counts(1, 1);
        QCOMPARE(c.failed, 5);
        QCOMPARE(c.sent, 1);
        QCOMPARE(SendStates::rows(1, 1).at(5).reply, QStringLiteral("配信の中止"));
        QCOMPARE(SendStates::rows(1, 1).at(5).UserAdrs, QStringLiteral("m6@example.jp"));
    }

    void issueStates_data()
    {
        QTest::addColumn<QList<SendState>>("states");
        QTest::addColumn<bool>("locked");
        QTest::addColumn<IssueState>("expected");
        QTest::newRow("done") << QList<SendState>{SendState::Sent, SendState::Skipped} << false << IssueState::Done;
        QTest::newRow("partial") << QList<SendState>{SendState::Sent, SendState::Failed} << false << IssueState::Partial;
        QTest::newRow("partial unknown") << QList<SendState>{SendState::Sent, SendState::Unknown} << false << IssueState::Partial;
        QTest::newRow("stopped") << QList<SendState>{SendState::Sent, SendState::Deferred} << false << IssueState::Stopped;
        QTest::newRow("running") << QList<SendState>{SendState::Sent, SendState::Waiting} << true << IssueState::Running;
        QTest::newRow("legacy") << QList<SendState>{} << false << IssueState::Legacy;
    }
    void issueStates()
    {
        QFETCH(QList<SendState>, states);
        QFETCH(bool, locked);
        QFETCH(IssueState, expected);
        issueOf(2);
        if (states.isEmpty()) {
            sql("delete from SendState");
            QVERIFY(SendStates::issues().isEmpty());
            QVERIFY(SendStates::resumable().isEmpty());
            return;
        }
        SendStates::record(1, 1, QString(), {result(1, states[0]), result(2, states[1])});
        if (locked)
            QVERIFY(SendLock::acquire(1, 1));
        const QList<IssueStateRow> all = SendStates::issues();
        QCOMPARE(all.size(), 1);
        QCOMPARE(all[0].state, expected);
        QCOMPARE(all[0].Title, QStringLiteral("件名"));
        QCOMPARE(all[0].MagName, QStringLiteral("便り"));
        QCOMPARE(SendStates::resumable().size(), expected == IssueState::Stopped ? 1 : 0);
        QCOMPARE(SendStates::issues(2).size(), 0);
    }

    void lock_data()
    {
        // host, pid, start, heartbeat's age in seconds ("-": none, a row of an older build), boot
        // ("other": another boot of this machine); "" for this process's own
        QTest::addColumn<QString>("holder");
        QTest::addColumn<bool>("taken");
        QTest::newRow("live") << QString() << false;
        QTest::newRow("gone pid") << "here 2147483000 5 0 this" << true;
        QTest::newRow("pid reused") << "here self wrong 0 this" << true;
        QTest::newRow("our pid before a reboot") << "here self right 0 other" << true;
        QTest::newRow("other host, beating") << "elsewhere.example 2147483000 5 10 -" << false;
        QTest::newRow("other host, lease over") << "elsewhere.example 2147483000 5 600 -" << true;
        QTest::newRow("older build's row") << "renamed-host 4242 1 - -" << true;
    }
    void lock()
    {
        QFETCH(QString, holder);
        QFETCH(bool, taken);
        issueOf(3);
        if (holder.isEmpty()) {
            QVERIFY(SendLock::acquire(1, 1));
            SendStates::markSending(1, 1, {2});
        } else {
            SendStates::markSending(1, 1, {2});
            QStringList f = holder.split(' ');
            if (f[0] == "here")
                f[0] = QSysInfo::machineHostName();
            if (f[1] == "self")
                f[1] = QString::number(::getpid());
            const qint64 start = f[2] == "wrong" ? ourStart() + 1 : f[2] == "right" ? ourStart() : f[2].toLongLong();
            StoreFixture::Row row{{"MagIdx", 1}, {"MagCnt", 1}, {"Host", f[0]}, {"Pid", f[1].toLongLong()}, {"Started", start}};
            if (f[3] != "-")
                row += {"Heartbeat", QDateTime::currentSecsSinceEpoch() - f[3].toLongLong()};
            if (f[4] == "this")
                row += {"BootId", bootId()};
            else if (f[4] == "other")
                row += {"BootId", QStringLiteral("00000000-0000-0000-0000-000000000000")};
            insert("SendLock", row);
        }
        QString who;
        QCOMPARE(SendLock::acquire(1, 1, &who), taken);
        QCOMPARE(SendLock::isHeld(1, 1), true);
        QCOMPARE(stateOf(2), taken ? SendState::Unknown : SendState::Sending);
        if (!taken)
            QVERIFY(!who.isEmpty());
        if (taken || holder.isEmpty()) {
            SendLock::release(1, 1);
            QVERIFY(!SendLock::isHeld(1, 1));
        }
    }

    // Deleting a magazine's history up to a day takes the delivery rows of exactly the
    // issues it deletes; a refused deletion keeps them with their issues.
    void historyDeletionTakesItsIssuesRows_data()
    {
        QTest::addColumn<QString>("upTo");
        QTest::addColumn<bool>("refused");
        QTest::addColumn<QStringList>("left");
        const QStringList all{"1/1:2", "1/2:2", "2/1:2", "2/2:2"};
        QTest::newRow("before every issue") << "2024/05/31 23:59:59" << false << all;
        QTest::newRow("the first issue") << "2024/06/02 23:59:59" << false << QStringList{"1/2:2", "2/1:2", "2/2:2"};
        QTest::newRow("to the second's moment") << "2024/06/03 10:00:00" << false << QStringList{"2/1:2", "2/2:2"};
        QTest::newRow("refused") << "2024/06/03 23:59:59" << true << all;
    }
    void historyDeletionTakesItsIssuesRows()
    {
        QFETCH(QString, upTo);
        QFETCH(bool, refused);
        QFETCH(QStringList, left);
        twoMagazines();
        if (refused) {
            sql("create trigger NoDelete before delete on MagInfo begin select raise(abort, 'refused'); end");
            QVERIFY_THROWS_EXCEPTION(StoreError, RemoveHistoryUpTo(1, upTo));
        } else {
            RemoveHistoryUpTo(1, upTo);
        }
        QCOMPARE(issuesWithRows(), left);
    }

    // Removing a magazine with its members takes its delivery rows and locks, not another's.
    void removeWithMembersTakesDeliveryRows()
    {
        twoMagazines();
        for (int mag : {1, 2})
            insert("SendLock", {{"MagIdx", mag}, {"MagCnt", 2}, {"Host", QStringLiteral("elsewhere.example")}, {"Pid", 1}, {"Started", 1},
                                {"Heartbeat", QDateTime::currentSecsSinceEpoch()}});
        sql("create trigger NoDelete before delete on MagUser begin select raise(abort, 'refused'); end");
        QVERIFY_THROWS_EXCEPTION(StoreError, MagazineSql::removeWithMembers(1));
        QCOMPARE(issuesWithRows(), (QStringList{"1/1:2", "1/2:2", "2/1:2", "2/2:2"}));
        QCOMPARE(scalar("select count(*) from SendLock"), 2);
        sql("drop trigger NoDelete");
        MagazineSql::removeWithMembers(1);
        QCOMPARE(issuesWithRows(), (QStringList{"2/1:2", "2/2:2"}));
        QCOMPARE(scalar("select count(*) from SendLock"), 1);
        QVERIFY(SendLock::isHeld(2, 2));
        QVERIFY(!SendLock::isHeld(1, 2));
    }

    void settingsRoundTrip()
    {
        QCOMPARE(SendSettings::load(), DeliverySettings());
        DeliverySettings d;
        d.retry = *RetrySchedule::parse("5s,30s,1m");
        d.pacing = {10, 300, 50, 1500};
        SendSettings::save(d);
        QCOMPARE(SendSettings::load(), d);
        sql("update SendSetting set Value = 'x' where Name = 'RetrySchedule'");
        sql("update SendSetting set Value = '-3' where Name = 'PerHour'");
        const DeliverySettings broken = SendSettings::load();
        QCOMPARE(broken.retry, RetrySchedule());
        QCOMPARE(broken.pacing.perHour, 0);
        QCOMPARE(broken.pacing.perMinute, 10);
        sql("drop table SendSetting");
        QCOMPARE(SendSettings::load(), DeliverySettings());
    }

    void retryParse_data()
    {
        QTest::addColumn<QString>("text");
        QTest::addColumn<QList<int>>("delays");  // empty when refused
        QTest::newRow("units") << "5s,30s,1m" << QList<int>{5, 30, 60};
        QTest::newRow("bare and hours") << " 10, 2h ,24h" << QList<int>{10, 7200, 86400};
        QTest::newRow("empty") << "" << QList<int>{};
        QTest::newRow("zero") << "0s" << QList<int>{};
        QTest::newRow("negative") << "-1" << QList<int>{};
        QTest::newRow("unit") << "5x" << QList<int>{};
        QTest::newRow("over a day") << "25h" << QList<int>{};
        QTest::newRow("empty entry") << "5s,,1m" << QList<int>{};
        QTest::newRow("21 entries") << QString("1s,").repeated(20) + "1s" << QList<int>{};
        QTest::newRow("20 entries") << QString("1s,").repeated(19) + "1s" << QList<int>(20, 1);
    }
    void retryParse()
    {
        QFETCH(QString, text);
        QFETCH(QList<int>, delays);
        const std::optional<RetrySchedule> r = RetrySchedule::parse(text);
        QCOMPARE(r.has_value(), !delays.isEmpty());
        if (!r)
            return;
        QCOMPARE(r->delaysSeconds, delays);
        QCOMPARE(RetrySchedule::parse(r->text()), r);
        QCOMPARE(r->delayAfter(1), delays.first());
        QCOMPARE(r->delayAfter(int(delays.size()) + 1), std::nullopt);
    }
    void retryDefaultText() { QCOMPARE(RetrySchedule().text(), QStringLiteral("1m,5m,15m,1h")); }
};

QTEST_GUILESS_MAIN(TestStoreSendStates)
#include "tst_store_send_states.moc"

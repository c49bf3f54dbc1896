// Picking up an interrupted delivery of a large issue: 100,000 recipients, the first half
// already sent, the rest waiting (plus two smaller issues of another magazine, so the
// tables hold more than the one issue).
//
//   deliver.resume_scan   opening the issue's pending recipients and reading the first one,
//                         then counting the issue's states, seconds (median of 3)
//
// The query plans of the statements a delivery runs for one issue go to stderr.
#include "fakes/TestEnv.h"
#include "store/Database.h"
#include "store/SendStates.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QSqlQuery>

#include <algorithm>
#include <cstdio>

namespace {

constexpr int kRecipients = 100000;
constexpr int kRounds = 3;

void say(const QString &text)
{
    std::fprintf(stderr, "%s\n", qPrintable(text));
}

// Magazine 1: members 1..n and issue 1 to all of them; magazine 2: 20,000 members and
// issues 1 and 2 to all of them. Every issue seeded, then the first half of magazine 1's
// issue marked sent in one statement.
void setUpStore()
{
    Transaction t;
    Statement s;
    const QString members = QStringLiteral(
        "with recursive n(i) as (select 1 union all select i + 1 from n where i < %2)"
        " insert into MagUser (MagIdx,UserIdx,UserName,UserAdrs) select %1, %1 * 1000000 + i, '会員',"
        " 'member' || i || '@example.com' from n");
    const QString recipients = QStringLiteral(
        "insert into MagHist (MagIdx,MagCnt,MagUser,SendComplete) select MagIdx, %2, UserIdx, 0 from MagUser"
        " where MagIdx = %1");
    const QString issue = QStringLiteral(
        "insert into MagInfo (MagIdx,MagCnt,AddDate,SendCnt,Condition,Title,Body,UpdateSQL)"
        " values(%1,%2,'2026/12/10 10:00:00',0,'','再開の測定','本文','')");
    s.exec(QStringLiteral("insert into Magzine (MagIdx,MagName) values(1,'bench'),(2,'other')"));
    s.exec(members.arg(1).arg(kRecipients));
    s.exec(members.arg(2).arg(20000));
    for (const auto &[mag, cnt] : {std::pair{1, 1}, std::pair{2, 1}, std::pair{2, 2}}) {
        s.exec(issue.arg(mag).arg(cnt));
        s.exec(recipients.arg(mag).arg(cnt));
        SendStates::seed(mag, cnt);
    }
    s.exec(QStringLiteral("update SendState set State = 2, Attempts = 1, Reply = '250 ok'"
                          " where MagIdx = 1 and MagCnt = 1 and MagUser <= 1000000 + %1")
               .arg(kRecipients / 2));
    s.exec(QStringLiteral("update MagHist set SendComplete = 1 where MagIdx = 1 and MagCnt = 1"
                          " and MagUser <= 1000000 + %1")
               .arg(kRecipients / 2));
    t.commit();
}

void showPlan(const QString &name, const QString &sql)
{
    QSqlQuery q(Store::connection());
    q.exec(QStringLiteral("explain query plan ") + sql);
    say(name + QLatin1Char(':'));
    while (q.next())
        say(QStringLiteral("  ") + q.value(3).toString());
}

double median(QList<double> v)
{
    std::sort(v.begin(), v.end());
    return v.isEmpty() ? 0 : v.at(v.size() / 2);
}

} // namespace

int main(int argc, char **argv)
{
    QCoreApplication app(argc, argv);
    TestEnv env;
    env.openStore();
    say(QStringLiteral("setting up an issue of %1 recipients, half of them sent").arg(kRecipients));
    setUpStore();

    // The statements as the store runs them for one issue, with its numbers in place.
    const QString issue = QStringLiteral("S.MagIdx = 1 and S.MagCnt = 1");
    showPlan(QStringLiteral("pending"),
             QStringLiteral("select U.UserAdrs,S.MagUser,S.Attempts,S.NextTry,S.State from SendState S, MagUser U"
                            " where %1 and S.State in (0, 3) and U.MagIdx = S.MagIdx and U.UserIdx = S.MagUser"
                            " order by S.MagUser").arg(issue));
    showPlan(QStringLiteral("counts"),
             QStringLiteral("select State, count(*) from SendState where MagIdx = 1 and MagCnt = 1 group by State"));
    showPlan(QStringLiteral("rows"),
             QStringLiteral("select S.MagUser,U.UserName,U.UserAdrs,S.State,S.Attempts,S.NextTry,S.Reply"
                            " from SendState S left join MagUser U on U.MagIdx = S.MagIdx and U.UserIdx = S.MagUser"
                            " where %1 order by S.MagUser").arg(issue));
    showPlan(QStringLiteral("record"),
             QStringLiteral("update SendState set State = 2, Attempts = 1, NextTry = null, Reply = ''"
                            " where MagIdx = 1 and MagCnt = 1 and MagUser = 1050001"));
    showPlan(QStringLiteral("record: completion"),
             QStringLiteral("update MagHist set SendComplete = 1 where MagIdx = 1 and MagCnt = 1"
                            " and ifnull(SendComplete, 0) <> 1 and MagUser in (1050001, 1050002)"));

    QList<double> times;
    for (int round = 0; round < kRounds; ++round) {
        QElapsedTimer timer;
        timer.start();
        SendStates::PendingCursor pending(1, 1);
        SendStates::PendingRecipient first;
        const bool found = pending.next(&first);
        pending.close();
        const SendStateCounts counts = SendStates::counts(1, 1);
        times << timer.nsecsElapsed() / 1e9;
        if (!found || first.member.MagUser != 1000000 + kRecipients / 2 + 1 || counts.sent != kRecipients / 2
            || counts.waiting != kRecipients / 2)
            say(QStringLiteral("round %1: unexpected first row %2 or counts %3 sent, %4 waiting")
                    .arg(round)
                    .arg(first.member.MagUser)
                    .arg(counts.sent)
                    .arg(counts.waiting));
    }
    std::printf("deliver.resume_scan: %.4f s\n", median(times));
    std::fflush(stdout);
    return 0;
}

// The send condition "発行番号のメールを未送信" on a magazine of 100,000 members, half of
// whom received the issue named, against counting all of the magazine's members.
//
//   conditions.notsent_count    the target count of the send, seconds (best of 3)
//   conditions.notsent_targets  the targets list's statement, every row read, seconds (best of 3)
//   conditions.notsent_record   recording the issue (issue row and 50,000 recipient rows in
//                               one transaction), seconds (once: each run adds an issue)
//   conditions.all_count        the target count of "すべて（無条件）", seconds (best of 3)
//   ratio conditions.notsent_count_vs_all_count   conditions.all_count / conditions.notsent_count
//
// An optional argument gives another number of members (for a comparison with a slower
// build, which would take minutes at 100,000).
#include "fakes/TestEnv.h"
#include "issue/UIssue.h"
#include "issue/USendCondition.h"
#include "store/Database.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QSqlQuery>

#include <cstdio>
#include <functional>

namespace {

void fillStore(int members)
{
    Transaction t;
    QSqlQuery q(Store::connection());
    q.prepare(QStringLiteral("insert into MagUser (MagIdx,UserIdx,UserName,UserAdrs,Sleep,AddDate) values (1,?,?,?,?,?)"));
    for (int i = 1; i <= members; ++i) {
        q.addBindValue(i);
        q.addBindValue(QStringLiteral("会員%1").arg(i));
        q.addBindValue(QStringLiteral("user%1@example.jp").arg(i));
        q.addBindValue(int(i % 20 == 0));
        q.addBindValue(QStringLiteral("20240101"));
        if (!q.exec())
            qFatal("member insert failed");
    }
    // issue 1 reached every other member
    if (!q.exec(QStringLiteral("insert into MagInfo (MagIdx,MagCnt,AddDate,SendCnt) values (1,1,'2024/01/01 10:00:00',0)"))
        || !q.exec(QStringLiteral("insert into MagHist (MagIdx,MagCnt,MagUser) select 1, 1, UserIdx from MagUser where UserIdx % 2 = 0")))
        qFatal("issue insert failed");
    t.commit();
}

double seconds(const std::function<void()> &work)
{
    QElapsedTimer t;
    t.start();
    work();
    return double(t.nsecsElapsed()) / 1e9;
}

double bestOf3(const std::function<void()> &work)
{
    double best = 1e9;
    for (int round = 0; round < 3; ++round)
        best = std::min(best, seconds(work));
    return best;
}

} // namespace

int main(int argc, char **argv)
{
    QCoreApplication app(argc, argv);
    const int members = argc > 1 ? QByteArray(argv[1]).toInt() : 100000;
    if (members <= 0)
        qFatal("usage: bench_conditions [members]");
    TestEnv env;
    env.openStore();
    fillStore(members);

    SendInputs in;
    in.magIdx = 1;
    in.value = 1;
    in.condition = SendCondition::NotSentIssue;
    const SendConditionText notSent = BuildSendCondition(in);
    in.condition = SendCondition::All;
    const SendConditionText all = BuildSendCondition(in);

    int targets = 0;
    const double count = bestOf3([&] { targets = CountTargets(notSent.where); });
    const double listed = bestOf3([&] {
        int rows = 0;
        for (const TargetLine &t : ListTargets(notSent.where, 1))
            rows += t.address.isEmpty() ? 0 : 1;
        if (rows != targets)
            qFatal("the targets list and the count differ");
    });
    IssueRecord issue;
    issue.magIdx = 1;
    issue.where = notSent.where;
    issue.condition = notSent.text;
    issue.targetCount = targets;
    issue.title = QStringLiteral("bench");
    issue.body = QStringLiteral("bench");
    issue.created = QDateTime::currentDateTime();
    int magCnt = 0;
    const double record = seconds([&] { magCnt = CreateIssue(issue); });
    if (magCnt != 2
        || Statement().scalar(QStringLiteral("select count(*) from MagHist where MagCnt = 2")) != targets)
        qFatal("the issue was not recorded with every target");
    const double plain = bestOf3([&] { CountTargets(all.where); });
    fprintf(stderr, "%d members, %d targets\n", members, targets);

    printf("conditions.notsent_count: %.3f s\n", count);
    printf("conditions.notsent_targets: %.3f s\n", listed);
    printf("conditions.notsent_record: %.3f s\n", record);
    printf("conditions.all_count: %.3f s\n", plain);
    printf("ratio conditions.notsent_count_vs_all_count: %.2f\n", plain / count);
    fflush(stdout);
    return 0;
}

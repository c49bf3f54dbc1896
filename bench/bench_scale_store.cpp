// The store's own steps at scale, each beside the sqlite3 tool doing the same work on a copy
// of the same store (same result checked), medians of 3:
//
//   scale.notsent_10k, scale.notsent_100k   count and select of "発行番号のメールを未送信" on
//                                           magazines of 10,000 and 100,000 members, half of
//                                           whom got the issue (small stores made here)
//   ratio scale.notsent_growth              t(100k) / t(10k): about 10 when linear
//   scale.conditions_1m                     the slowest count of a few conditions on the
//                                           1,000,000-member store (each one printed too)
//   scale.delete_members_1m                 10,000 selected members of the 1,000,000
//   scale.delete_history                    history up to the first issue's day: 100,000 of
//                                           26,000,000 recipient rows
//
// Steps that change a store work on a fresh copy each run; the copy is not timed.
#include "ScaleStores.h"

#include "store/PreparedStatement.h"
#include "store/Database.h"
#include "store/HistoryRecords.h"
#include "store/MemberSql.h"
#include "store/RecipientQuery.h"

#include <QCoreApplication>
#include <QDir>
#include <QTemporaryDir>

#include <cstdio>

namespace {

void openStore(const QString &path)
{
    Store::close();
    QString why;
    if (!Store::open(path, &why))
        qFatal("cannot open %s: %s", qPrintable(path), qPrintable(why));
}

qint64 scalar(const QString &sql)
{
    return Statement().scalar(sql);
}

// What sqlite3 printed: its last line as a number.
qint64 lastNumber(const QByteArray &out)
{
    return out.trimmed().split('\n').constLast().trimmed().toLongLong();
}

void print(const char *step, double ours, double theirs)
{
    std::printf("scale.%s.time: %.3f s\n", step, ours);
    std::printf("ratio scale.%s_vs_sqlite3: %.2f\n", step, ours / theirs);
    std::fflush(stdout);
}

// A magazine of `members` members; issue 1 reached every other one.
QString smallStore(const QString &dir, int members)
{
    const QString path = dir + QStringLiteral("/notsent-%1.sqlite").arg(members);
    openStore(path);
    Transaction t;
    Statement().exec(QStringLiteral("with recursive n(i) as (select 1 union all select i + 1 from n where i < %1)"
                                    " insert into MagUser (MagIdx,UserIdx,UserName,UserAdrs,Sleep,AddDate)"
                                    " select 1, i, '会員' || i, 'user' || i || '@example.jp', i % 20 = 0, '20240101'"
                                    " from n")
                         .arg(members));
    Statement().exec(QStringLiteral("insert into MagInfo (MagIdx,MagCnt,AddDate,SendCnt) values (1,1,'2024/01/01 10:00:00',0)"));
    Statement().exec(QStringLiteral("insert into MagHist (MagIdx,MagCnt,MagUser) select 1, 1, UserIdx from MagUser"
                                    " where UserIdx % 2 = 0"));
    t.commit();
    Statement().exec(QStringLiteral("pragma wal_checkpoint(truncate)"));
    return path;
}

double notSent(const QString &dir, int members, const char *step)
{
    const QString path = smallStore(dir, members);
    const RecipientQuery query = Recipients::notSentIssue(1, 1);
    int counted = 0;
    int listed = 0;
    const double ours = ScaleStores::medianOf3([&] {
        counted = CountTargets(query);
        listed = int(ListTargets(query, 1).size());
    });
    Store::close();
    QByteArray out;
    const QByteArray notSentWhere = "from MagUser U where U.Sleep = 0 and U.MagIdx = 1 and U.UserIdx not in"
                                    " (select MagUser from MagHist where MagIdx = 1 and MagCnt = 1)";
    const double theirs = ScaleStores::medianOf3([&] {
        ScaleStores::runSqlite3(path, "select UserName, UserAdrs " + notSentWhere + ";\nselect count(*) " + notSentWhere + ";\n",
                                &out);
    });
    if (counted != listed || counted != lastNumber(out))
        qFatal("%s: ours %d/%d, sqlite3 %lld", step, counted, listed, lastNumber(out));
    print(step, ours, theirs);
    return ours;
}

struct Condition {
    const char *name;
    RecipientQuery query;
    QByteArray sqlite3Where; // follows "from MagUser U where U.Sleep = 0 and U.MagIdx = 1"
};

void conditions()
{
    const QString store = ScaleStores::cached(ScaleStores::Kind::Members);
    const QList<Condition> all = {
        {"all", Recipients::all(1), ""},
        {"flag_on", Recipients::flag(1, MemberColumn::Flg1, true), " and U.Flg1 = 1"},
        {"count_at_least", Recipients::compare(1, MemberColumn::Count1, Comparison::AtLeast, qint64(5)), " and U.Count1 >= 5"},
        {"month_day", Recipients::monthAndDay(1, MemberColumn::UserDate1, QStringLiteral("0501")),
         " and substr(U.UserDate1, 5, 4) = '0501'"},
        {"not_sent", Recipients::notSentIssue(1, 1),
         " and U.UserIdx not in (select MagUser from MagHist where MagIdx = 1 and MagCnt = 1)"},
    };
    double slowest = -1;
    double slowestTheirs = 1;
    for (const Condition &c : all) {
        openStore(store);
        int ours = 0;
        const double t = ScaleStores::medianOf3([&] { ours = CountTargets(c.query); });
        Store::close();
        QByteArray out;
        const double theirs = ScaleStores::medianOf3([&] {
            ScaleStores::runSqlite3(store, "select count(*) from MagUser U where U.Sleep = 0 and U.MagIdx = 1" + c.sqlite3Where + ";\n",
                                    &out);
        });
        if (ours != lastNumber(out))
            qFatal("condition %s: ours %d, sqlite3 %lld", c.name, ours, lastNumber(out));
        std::printf("scale.conditions_1m.%s.time: %.3f s (%d members; sqlite3 %.3f s)\n", c.name, t, ours, theirs);
        if (t > slowest) {
            slowest = t;
            slowestTheirs = theirs;
        }
    }
    print("conditions_1m", slowest, slowestTheirs);
}

// Every 100th member: 10,000 of the 1,000,000, spread over the whole magazine.
void deleteMembers(const QString &dir)
{
    QList<int> chosen;
    for (int userIdx = 100; userIdx <= 1000000; userIdx += 100)
        chosen << userIdx;
    QString copy;
    qint64 left = 0;
    const double ours = ScaleStores::medianOf3(
        [&] { MemberSql::remove(1, chosen); },
        [&] {
            Store::close();
            copy = ScaleStores::copyTo(ScaleStores::Kind::Members, dir);
            openStore(copy);
        });
    left = scalar(QStringLiteral("select count(*) from MagUser"));
    Store::close();
    QByteArray out;
    const double theirs = ScaleStores::medianOf3(
        [&] {
            ScaleStores::runSqlite3(copy, "create temp table Chosen (UserIdx integer primary key);\n"
                                          "with recursive n(i) as (select 100 union all select i + 100 from n where i < 1000000)"
                                          " insert into Chosen select i from n;\n"
                                          "begin;\n"
                                          "delete from MagUser where MagIdx = 1 and UserIdx in (select UserIdx from Chosen);\n"
                                          "delete from MemberBounce where MagIdx = 1 and UserIdx in (select UserIdx from Chosen);\n"
                                          "commit;\n"
                                          "select count(*) from MagUser;\n",
                                    &out);
        },
        [&] { copy = ScaleStores::copyTo(ScaleStores::Kind::Members, dir); });
    if (left != 990000 || left != lastNumber(out))
        qFatal("delete_members_1m: ours left %lld, sqlite3 %lld", left, lastNumber(out));
    print("delete_members_1m", ours, theirs);
    QFile::remove(copy);
}

void deleteHistory(const QString &dir)
{
    const QString upTo = QStringLiteral("2021/12/06 23:59:59");
    QString copy;
    const double ours = ScaleStores::medianOf3(
        [&] { RemoveHistoryUpTo(1, upTo); },
        [&] {
            Store::close();
            copy = ScaleStores::copyTo(ScaleStores::Kind::History, dir);
            openStore(copy);
        });
    const qint64 left = scalar(QStringLiteral("select count(*) from MagHist where MagCnt = 1"));
    const qint64 issues = scalar(QStringLiteral("select count(*) from MagInfo"));
    Store::close();
    QByteArray out;
    const double theirs = ScaleStores::medianOf3(
        [&] {
            ScaleStores::runSqlite3(copy, "begin;\n"
                                          "delete from SendState where MagIdx = 1 and MagCnt in"
                                          " (select MagCnt from MagInfo where MagIdx = 1 and AddDate <= '2021/12/06 23:59:59');\n"
                                          "delete from MagHist where MagIdx = 1 and MagCnt in"
                                          " (select MagCnt from MagInfo where MagIdx = 1 and AddDate <= '2021/12/06 23:59:59');\n"
                                          "delete from MagInfo where MagIdx = 1 and AddDate <= '2021/12/06 23:59:59';\n"
                                          "commit;\n"
                                          "select count(*) from MagInfo;\n",
                                    &out);
        },
        [&] { copy = ScaleStores::copyTo(ScaleStores::Kind::History, dir); });
    if (left != 0 || issues != 259 || issues != lastNumber(out))
        qFatal("delete_history: ours left %lld rows and %lld issues, sqlite3 %lld issues", left, issues, lastNumber(out));
    print("delete_history", ours, theirs);
    QFile::remove(copy);
}

} // namespace

int main(int argc, char **argv)
{
    QCoreApplication app(argc, argv);
    QTemporaryDir dir;
    if (!dir.isValid())
        qFatal("no temporary folder");
    const double small = notSent(dir.path(), 10000, "notsent_10k");
    const double large = notSent(dir.path(), 100000, "notsent_100k");
    std::printf("ratio scale.notsent_growth: %.2f\n", large / small);
    std::fflush(stdout);
    conditions();
    deleteMembers(dir.path());
    deleteHistory(dir.path());
    Store::close();
    return 0;
}

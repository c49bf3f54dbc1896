#include "store/MemberNumbers.h"

#include "store/PreparedStatement.h"
#include "store/Database.h"
#include "store/Sql.h"

#include <QSqlError>
#include <QSqlQuery>

namespace {

// A mark never goes down: a lower number changes nothing.
const QString kRaise = QStringLiteral(" on conflict (MagIdx) do update set Highest = excluded.Highest"
                                      " where excluded.Highest > Highest");

// Every number the rows of a magazine name: its members, and the recipients of its issues,
// members deleted since among them. Reads whole tables: run once, when the table is made or
// a restore has replaced the rows.
QString fromRows()
{
    return Sql::lines({
        QStringLiteral("insert into MemberNumber (MagIdx, Highest) select MagIdx, max(N) from ("),
        QStringLiteral("select MagIdx, max(UserIdx) as N from MagUser where typeof(UserIdx) = 'integer' group by MagIdx"),
        QStringLiteral("union all select MagIdx, max(MagUser) from MagHist where typeof(MagUser) = 'integer' group by MagIdx"),
        QStringLiteral("union all select MagIdx, max(MagUser) from SendState group by MagIdx"),
        QStringLiteral(") where MagIdx is not null and N is not null group by MagIdx"),
    }) + kRaise;
}

// Each magazine's highest member, read through the (MagIdx, UserIdx) index.
const QString kHighestMember = QStringLiteral("(select max(UserIdx) from MagUser U where U.MagIdx = M.MagIdx)");
const QString kMarkBelowMember = QStringLiteral("M.MagIdx is not null and ") + kHighestMember
                                 + QStringLiteral(" > ifnull((select Highest from MemberNumber N where N.MagIdx = M.MagIdx), 0)");

QSqlQuery exec(QSqlDatabase &db, const QString &sql)
{
    QSqlQuery q(db);
    if (!q.exec(sql))
        throw StoreError(q.lastError().text());
    return q;
}

bool tableExists(QSqlDatabase &db, const QString &type, const QString &name, QString *sql = nullptr)
{
    QSqlQuery q(db);
    q.prepare(QStringLiteral("select sql from sqlite_master where type = ? and name = ?"));
    q.addBindValue(type);
    q.addBindValue(name);
    if (!q.exec())
        throw StoreError(q.lastError().text());
    if (!q.next())
        return false;
    if (sql)
        *sql = q.value(0).toString();
    return true;
}

} // namespace

namespace MemberNumbers {

QString assignTrigger()
{
    return Sql::lines({
        QStringLiteral("create trigger MagUserAssignIdx after insert on MagUser when new.UserIdx is null begin"),
        QStringLiteral(" update MagUser set UserIdx = max((select ifnull(max(UserIdx), 0) from MagUser),"
                       " ifnull((select Highest from MemberNumber where MagIdx = new.MagIdx), 0)) + 1"
                       " where rowid = new.rowid;"),
        QStringLiteral(" insert into MemberNumber (MagIdx, Highest) select MagIdx, UserIdx from MagUser"
                       " where rowid = new.rowid and MagIdx is not null")
            + kRaise + QStringLiteral(";"),
        QStringLiteral("end"),
    });
}

void ensure(QSqlDatabase &db)
{
    if (!tableExists(db, QStringLiteral("table"), QStringLiteral("MemberNumber"))) {
        // made and filled at once, so that an empty table never passes for a filled one
        Transaction t(db);
        exec(db, QStringLiteral("create table if not exists MemberNumber (MagIdx integer primary key,"
                                " Highest integer not null)"));
        exec(db, fromRows());
        t.commit();
    }
    QString trigger;
    if (tableExists(db, QStringLiteral("trigger"), QStringLiteral("MagUserAssignIdx"), &trigger)
        && !trigger.contains(QLatin1String("MemberNumber"))) {
        // the trigger of an earlier build, which counted from the table's highest number alone
        Transaction t(db);
        exec(db, QStringLiteral("drop trigger if exists MagUserAssignIdx"));
        exec(db, assignTrigger());
        t.commit();
    }
    // A read first: a write at every start would wait behind a running delivery.
    QSqlQuery behind = exec(db, QStringLiteral("select count(*) from Magzine M where ") + kMarkBelowMember);
    const bool raise = behind.next() && behind.value(0).toLongLong() > 0;
    behind.finish();
    if (raise) {
        Transaction t(db);
        exec(db, QStringLiteral("insert into MemberNumber (MagIdx, Highest) select M.MagIdx, ") + kHighestMember
                     + QStringLiteral(" from Magzine M where ") + kMarkBelowMember + kRaise);
        t.commit();
    }
}

qint64 next(int magIdx, qint64 highestInUse)
{
    PreparedStatement mark(QStringLiteral("select Highest from MemberNumber where MagIdx = ?"));
    return qMax(highestInUse, mark.scalar({magIdx})) + 1;
}

void raise(int magIdx, qint64 highest)
{
    PreparedStatement s(QStringLiteral("insert into MemberNumber (MagIdx, Highest) values (?, ?)") + kRaise);
    s.run({magIdx, highest});
}

QHash<int, qint64> marks()
{
    PreparedStatement s(QStringLiteral("select MagIdx, Highest from MemberNumber"));
    s.exec();
    QHash<int, qint64> out;
    while (s.next())
        out.insert(s.value(0).toInt(), s.value(1).toLongLong());
    s.finish();
    return out;
}

void raiseAfterRestore(const QHash<int, qint64> &before, bool marksCarried)
{
    for (auto it = before.cbegin(); it != before.cend(); ++it)
        raise(it.key(), it.value());
    // Marks that came with the backup already cover its departed members; each magazine's
    // highest member is read through the index. Without them every row is read once.
    PreparedStatement rows(marksCarried ? QStringLiteral("insert into MemberNumber (MagIdx, Highest) select M.MagIdx, ")
                                              + kHighestMember + QStringLiteral(" from Magzine M where ")
                                              + kMarkBelowMember + kRaise
                                        : fromRows());
    rows.exec();
}

} // namespace MemberNumbers

#include "store/Schema.h"

#include "store/Database.h"
#include "store/DepartedMembers.h"
#include "store/MemberNumbers.h"

#include <QRegularExpression>
#include <QSqlError>
#include <QSqlQuery>

namespace Schema {

const QList<Table> &tables()
{
    static const QList<Table> all = {
        {"Magzine",
         {"MagIdx", "MagName", "Owner", "Adrs", "Atena", "Sign", "Flg1Name", "Flg2Name", "Flg3Name", "Count1Name",
          "Count2Name", "UserDate1Name", "UserDate2Name", "UseUserName"}},
        {"MagUser",
         {"MagIdx", "UserIdx", "UserName", "UserAdrs", "url", "Flg1", "Flg2", "Flg3", "Sleep", "Count1", "Count2",
          "UserDate1", "UserDate2", "AddDate"}},
        {"MagInfo", {"MagIdx", "MagCnt", "AddDate", "SendCnt", "Condition", "Title", "Body", "UpdateSQL"}},
        {"MagHist", {"MagIdx", "MagCnt", "MagUser", "SendComplete"}},
        {"CommonTBL", {"key1", "key2", "int1", "int2", "int3", "str1", "str2", "str3"}},
    };
    return all;
}

const QList<Table> &carriedTables()
{
    static const QList<Table> all = {
        {"SendState", {"MagIdx", "MagCnt", "MagUser", "State", "Attempts", "NextTry", "Reply"}, true},
        {"SendSetting", {"Name", "Value"}},
        {"MagMailSetting",
         {"MagIdx", "ForceUtf8", "UnsubAddress", "UnsubUrl", "UnsubAction", "BounceLimit", "ReturnPath"}, true},
        {"MemberBounce", {"MagIdx", "UserIdx", "Bounces", "HardBounces", "LastReason", "LastDate", "Complaints"}, true},
        {"InboxSeen", {"Mailbox", "Uidl", "State", "SeenDate"}, true},
        {"MemberNumber", {"MagIdx", "Highest"}, true},
    };
    return all;
}

namespace {

const char *const kCreate[] = {
    "create table Magzine (MagIdx integer, MagName text, Owner text, Adrs text, Atena text, Sign text,"
    " Flg1Name text, Flg2Name text, Flg3Name text, Count1Name text, Count2Name text,"
    " UserDate1Name text, UserDate2Name text, UseUserName integer default 0)",
    "create table MagUser (MagIdx integer, UserIdx integer, UserName text, UserAdrs text, url text,"
    " Flg1 integer default 0, Flg2 integer default 0, Flg3 integer default 0, Sleep integer default 0,"
    " Count1 integer default 0, Count2 integer default 0, UserDate1 text, UserDate2 text, AddDate text)",
    "create table MagInfo (MagIdx integer, MagCnt integer, AddDate text, SendCnt integer, Condition text,"
    " Title text, Body text, UpdateSQL text)",
    "create table MagHist (MagIdx integer, MagCnt integer, MagUser integer, SendComplete integer default 0)",
    "create table CommonTBL (key1 integer, key2 integer, int1 integer, int2 integer, int3 integer,"
    " str1 text, str2 text, str3 text)",
};

const char *const kIndexes[] = {
    "create index if not exists MagUserIdx on MagUser (UserIdx)",
    "create index if not exists MagUserMagIdx on MagUser (MagIdx, UserIdx)",
    "create index if not exists MagUserAdrs on MagUser (MagIdx, UserAdrs)",
    // A returned mail names an address, not a magazine: without this, each one read every
    // member of every magazine.
    "create index if not exists MagUserAdrsAnyMagazine on MagUser (UserAdrs collate nocase)",
    // Finds one member's row of an issue directly: "not sent issue n" looks up every member,
    // and with (MagIdx, MagCnt) alone each look-up read all of the rows.
    "create index if not exists MagHistRecipient on MagHist (MagIdx, MagCnt, MagUser)",
    "create index if not exists MagInfoCnt on MagInfo (MagCnt)",
    "create index if not exists CommonKey on CommonTBL (key1, key2)",
};

void run(QSqlDatabase &db, const char *sql)
{
    QSqlQuery q(db);
    if (!q.exec(QString::fromLatin1(sql)))
        throw StoreError::of(q.lastError());
}

} // namespace

QStringList ownTables()
{
    return {
        QStringLiteral("create table if not exists SendState (MagIdx integer not null, MagCnt integer not null,"
                       " MagUser integer not null, State integer not null default 0, Attempts integer not null"
                       " default 0, NextTry integer, Reply text, primary key (MagIdx, MagCnt, MagUser))"),
        // An issue's rows by state: its counts, and the changes that take all rows of a state.
        QStringLiteral("create index if not exists SendStateOpen on SendState (MagIdx, MagCnt, State, MagUser)"),
        // A resume reads the open rows in member order: through this index its first row
        // comes at once, where the key alone walks past every row already sent.
        QStringLiteral("create index if not exists SendStatePending on SendState (MagIdx, MagCnt, MagUser)"
                       " where State in (0, 3)"),
        // A deleted member's open rows in every issue, found at once: a delete settles them in
        // its own transaction, and an open store those whose member is gone. State and MagCnt
        // make it cover those statements, which the engine otherwise reads through
        // SendStateOpen, every row of the magazine.
        QStringLiteral("create index if not exists SendStateMemberOpen on SendState (MagIdx, MagUser, State, MagCnt)"
                       " where State in (0, 1, 3, 7)"),
        QStringLiteral("create table if not exists SendLock (MagIdx integer not null, MagCnt integer not null,"
                       " Host text, Pid integer, Started integer, primary key (MagIdx, MagCnt))"),
        // The lease's columns, added to the lock of an older build (which has none of them).
        QStringLiteral("alter table SendLock add column BootId text"),
        QStringLiteral("alter table SendLock add column Since integer"),
        QStringLiteral("alter table SendLock add column Heartbeat integer"),
        QStringLiteral("create table if not exists SendSetting (Name text primary key, Value text)"),
        QStringLiteral("create table if not exists MagMailSetting (MagIdx integer primary key, ForceUtf8 integer"
                       " not null default 0, UnsubAddress text, UnsubUrl text, UnsubAction integer not null"
                       " default 0, BounceLimit integer not null default 3)"),
        // Where bounces go, added to the settings of an older build.
        QStringLiteral("alter table MagMailSetting add column ReturnPath text"),
        QStringLiteral("create table if not exists MemberBounce (MagIdx integer not null, UserIdx integer not null,"
                       " Bounces integer not null default 0, HardBounces integer not null default 0,"
                       " LastReason text, LastDate text, primary key (MagIdx, UserIdx))"),
        // Complaints about our mail, added to the counts of an older build.
        QStringLiteral("alter table MemberBounce add column Complaints integer not null default 0"),
        QStringLiteral("create table if not exists InboxSeen (Mailbox text not null, Uidl text not null,"
                       " State integer not null, SeenDate text, primary key (Mailbox, Uidl))"),
    };
}

void create(QSqlDatabase &db)
{
    for (const char *sql : kCreate)
        run(db, sql);
    // An insert that leaves UserIdx out gets a number never given in its magazine.
    run(db, MemberNumbers::assignTrigger().toUtf8().constData());
    ensureIndexes(db);
}

namespace {

// "alter table T add column C ..." when T already has C: nothing to do.
bool addsPresentColumn(QSqlDatabase &db, const QString &sql)
{
    static const QRegularExpression alter(QStringLiteral("^alter table (\\w+) add column (\\w+)"));
    const QRegularExpressionMatch m = alter.match(sql);
    if (!m.hasMatch())
        return false;
    QSqlQuery q(db);
    if (!q.exec(QStringLiteral("pragma table_info(%1)").arg(m.captured(1))))
        return false;
    while (q.next())
        if (q.value(1).toString().compare(m.captured(2), Qt::CaseInsensitive) == 0)
            return true;
    return false;
}

} // namespace

void ensureIndexes(QSqlDatabase &db)
{
    for (const QString &sql : ownTables())
        if (!addsPresentColumn(db, sql))
            run(db, sql.toLatin1().constData());
    for (const char *sql : kIndexes)
        run(db, sql);
    MemberNumbers::ensure(db);
    DepartedMembers::settleAtOpen(db);
}

bool matches(QSqlDatabase &db, QString *why)
{
    for (const Table &t : tables()) {
        QSqlQuery q(db);
        if (!q.exec(QStringLiteral("pragma table_info(%1)").arg(QLatin1String(t.name)))) {
            *why = q.lastError().text();
            return false;
        }
        QStringList found;
        while (q.next())
            found << q.value(1).toString();
        if (found.size() != t.columns.size()) {
            *why = QStringLiteral("table %1 missing or not as expected").arg(QLatin1String(t.name));
            return false;
        }
        for (int i = 0; i < found.size(); ++i) {
            if (found[i].compare(t.columns[i], Qt::CaseInsensitive) != 0) {
                *why = QStringLiteral("table %1: column %2 is %3").arg(QLatin1String(t.name)).arg(i + 1).arg(found[i]);
                return false;
            }
        }
    }
    return true;
}

} // namespace Schema

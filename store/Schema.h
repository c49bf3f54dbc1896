#pragma once
#include <QSqlDatabase>
#include <QString>
#include <QStringList>

namespace Schema {

// The five tables with their columns in table order (several readers rely on positions).
struct Table {
    const char *name;
    QStringList columns;
    // Rows that belong to magazines or members of the store they were made in: a restore
    // of a backup that does not hold the table empties it rather than pin them on others.
    bool perMagazine = false;
};
const QList<Table> &tables();
// Our own tables that a backup carries beside the five: the delivery records and settings,
// the magazines' mail settings, the member numbers given (the delivery lock belongs to a
// running process and is never carried).
const QList<Table> &carriedTables();

// Creates the tables, the indexes and the UserIdx assignment on an empty store.
void create(QSqlDatabase &db);
// The tables of our own beside the five (per-recipient delivery records, the delivery lock,
// the delivery settings) with their indexes, as statements that leave them alone when present.
QStringList ownTables();
// Indexes (and our own tables) that a store of an older build may lack; harmless when present.
// Then what a store of an older build may need when it is opened: the member-number marks
// (MemberNumbers::ensure) and the open delivery rows of members already deleted
// (DepartedMembers::settleAtOpen), each writing only when there is something to do.
void ensureIndexes(QSqlDatabase &db);
// True when the file holds the five tables with their columns in order; other tables, our
// own among them, may be there or not.
bool matches(QSqlDatabase &db, QString *why);

} // namespace Schema

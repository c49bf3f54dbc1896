#pragma once
#include <QSqlDatabase>
#include <QString>
#include <QStringList>

namespace Schema {

// The five tables with their columns in table order (several readers rely on positions).
struct Table {
    const char *name;
    QStringList columns;
};
const QList<Table> &tables();

// Creates the tables, the indexes and the UserIdx assignment on an empty store.
void create(QSqlDatabase &db);
// Indexes that a store of an older build may lack; harmless when present.
void ensureIndexes(QSqlDatabase &db);
// True when the file holds the five tables with their columns in order.
bool matches(QSqlDatabase &db, QString *why);

} // namespace Schema

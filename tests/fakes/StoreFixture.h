#pragma once
// Rows a test puts into the store before it acts: magazines and members written through a
// statement with bound values, so names with quotes or any other text go in as they are.
// Columns a test does not name are left as the store leaves them (NULL).
#include <QList>
#include <QPair>
#include <QString>
#include <QStringList>
#include <QVariant>

namespace StoreFixture {

// Column names (the test's own, never read from outside) and the values to bind.
using Row = QList<QPair<QString, QVariant>>;

// Inserts one row; a failing statement fails the test through StoreError.
void insert(const QString &table, const Row &row);

// Flg1Name, Flg2Name, Flg3Name, Count1Name, Count2Name, UserDate1Name, UserDate2Name.
QStringList defaultFieldNames();

// A magazine of the publisher "発行者" <pub@example.jp>, addressed with "様", the members'
// names not used in the greeting.
void addMagazine(int magIdx, const QString &name, const QStringList &fieldNames = defaultFieldNames());

// A member added on 2024-01-01, with the further columns `more` names; a column named in
// both takes the value from `more`.
void addMember(int magIdx, int userIdx, const QString &name, const QString &address, const Row &more = {});

// Every other member column filled the way the member dialog leaves a new member: flags
// and suspension off, counters 0, dates empty.
Row blankMemberColumns();

} // namespace StoreFixture

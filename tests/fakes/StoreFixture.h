#pragma once
// Rows a test puts into the store before it acts: magazines, members, issues and their
// recipients written through a statement with bound values, so names with quotes or any
// other text go in as they are. Columns a test does not name are left as the store leaves
// them (NULL, or the column's default).
#include "store/SendStates.h"

#include <QList>
#include <QPair>
#include <QString>
#include <QStringList>
#include <QVariant>

#include <functional>

namespace StoreFixture {

// Column names (the test's own, never read from outside) and the values to bind.
using Row = QList<QPair<QString, QVariant>>;

// Inserts one row; a failing statement fails the test through StoreError.
void insert(const QString &table, const Row &row);

// Inserts rowAt(0) .. rowAt(count - 1) through one prepared statement in one transaction, for
// fixtures of many thousand rows. Every row names the columns of the first, in its order.
void insertMany(const QString &table, int count, const std::function<Row(int)> &rowAt);

// Flg1Name, Flg2Name, Flg3Name, Count1Name, Count2Name, UserDate1Name, UserDate2Name.
QStringList defaultFieldNames();

// The same fields named as a shop names them, for tests that show the names in a window.
QStringList shopFieldNames();

// A magazine of the publisher "発行者" <pub@example.jp>, addressed with "様", the members'
// names not used in the greeting, with the further columns `more` names; a column named in
// both takes the value from `more`.
void addMagazine(int magIdx, const QString &name, const QStringList &fieldNames = defaultFieldNames(),
                 const Row &more = {});

// A member added on 2024-01-01, with the further columns `more` names; a column named in
// both takes the value from `more`.
void addMember(int magIdx, int userIdx, const QString &name, const QString &address, const Row &more = {});

// The row addMember writes, for insertMany.
Row memberRow(int magIdx, int userIdx, const QString &name, const QString &address, const Row &more = {});

// Every other member column filled the way the member dialog leaves a new member: flags
// and suspension off, counters 0, dates empty.
Row blankMemberColumns();

// Every other member column filled the way an exported member comes back: url empty, flags,
// suspension and counters 0, both dates 2024-01-01.
Row importedMemberColumns();

// An issue with every column named, as issue creation records it. Empty texts stay empty
// texts; the body is stored with the store's escapes for quotes.
struct Issue {
    QString addDate = {};
    int sendCnt = 0;
    QString condition = {};
    QString title = {};
    QString body = {};
    QString updateSql = {};
};
void addIssue(int magIdx, int magCnt, const Issue &issue);

// One recipient of an issue, with the further columns `more` names (SendComplete).
void addRecipient(int magIdx, int magCnt, int userIdx, const Row &more = {});

// The per-recipient records of an issue whose recipients are in the store: a "waiting" row
// for each, as recording the issue leaves them; then the outcomes recorded as a delivery
// records a group, and the members in `sending` marked as a killed run leaves them.
void addSendStates(int magIdx, int magCnt, const QList<SendResult> &results = {},
                   const QList<qint64> &sending = {});

// Every CommonTBL row as "value:type" columns joined by "|" (NULL as "NULL:null"), in key1,
// key2 order: what a test compares to see exactly what a settings write left behind.
QStringList commonRowsWithTypes();

} // namespace StoreFixture

#pragma once
// A member number (UserIdx) is given once in a magazine and never again. The number names
// the member in the recipients of every issue recorded for them and in the unsubscribe
// tokens of the mails they received: a newcomer under a departed member's number would
// receive the departed member's unsent issues and could be removed by their old token.
// The highest number each magazine ever gave is kept in a table of our own (MemberNumber),
// raised by every path that gives one (the member dialog, the import, an insert that leaves
// the number to the store) and carried by backup and restore.
#include <QHash>
#include <QSqlDatabase>
#include <QString>

namespace MemberNumbers {

// Creates the table when the store lacks it, filled from every number its rows name
// (members, recipients, delivery rows), and brings the store's number-giving trigger up to
// date; afterwards raises a magazine's mark when a member above it was added by an older
// build (an indexed read per magazine; it writes only then). Runs on the connection given,
// when the store is opened. Throws StoreError.
void ensure(QSqlDatabase &db);

// The statement that creates the store's trigger giving a number to a member inserted
// without one: above every UserIdx of the table and above its magazine's mark, which it
// raises.
QString assignTrigger();

// The number a new member of the magazine gets when its path counts from `highestInUse`:
// above that and above the magazine's mark. Call inside the transaction that writes the
// member, and raise() before it commits.
qint64 next(int magIdx, qint64 highestInUse);
// Records that the magazine has given numbers up to `highest` (a lower one changes nothing).
void raise(int magIdx, qint64 highest);

// Each magazine's mark, for a restore to keep: a number given before it stays given.
QHash<int, qint64> marks();
// After a restore, inside its transaction: the marks held before it are kept where higher,
// and each magazine's mark covers every number its restored rows name (read from every row
// only when the backup carried no marks; otherwise its highest members are enough).
void raiseAfterRestore(const QHash<int, qint64> &before, bool marksCarried);

} // namespace MemberNumbers

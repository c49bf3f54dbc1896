#pragma once
// Which members a send reaches: the selection clause that follows "from maguser U", with a
// `?` in place of every value and the values beside it, bound whenever the clause runs (the
// count, the targets list and the recipient rows of a new issue). The clause is put
// together here from typed pieces; the only text from outside it can hold is a free
// condition that has passed its gate (store/FreeClause.h).
#include "store/ClauseBounds.h"
#include "store/FreeClause.h"

#include <QList>
#include <QString>
#include <QVariantList>

struct RecipientQuery {
    QString clause;      // follows "from maguser U"
    QVariantList values; // for the marks of the clause, in order
    bool free = false;   // holds a user's free condition, so runs within bounds
};

// Runs work, which runs the clause, within the bounds of a free condition when the clause
// holds one (store/ClauseBounds.h).
template <typename Work>
auto RunSelection(const RecipientQuery &query, const ClauseLimits &limits, Work &&work)
{
    if (!query.free)
        return work();
    return ClauseBounds::run(limits, work);
}

// The member columns a send condition compares.
enum class MemberColumn { AddDate, Flg1, Flg2, Flg3, Count1, Count2, UserDate1, UserDate2 };
enum class Comparison { AtLeast, AtMost, Equals };

// Every clause leaves out suspended members and the members of other magazines.
namespace Recipients {

// Every active member of the magazine.
RecipientQuery all(int magIdx);
// A flag column ON or OFF.
RecipientQuery flag(int magIdx, MemberColumn column, bool on);
// A counter compared with a number.
RecipientQuery compare(int magIdx, MemberColumn column, Comparison op, qint64 value);
// A date compared with a text: "yyyymmdd" compares as text in date order.
RecipientQuery compare(int magIdx, MemberColumn column, Comparison op, const QString &value);
// A date column whose month and day ("mmdd") are the given ones, in any year.
RecipientQuery monthAndDay(int magIdx, MemberColumn column, const QString &monthDay);
// The members that have, or have not, a recipient row of issue magCnt; each once.
RecipientQuery sentIssue(int magIdx, int magCnt);
RecipientQuery notSentIssue(int magIdx, int magCnt);
// The members the free condition selects; a refused condition selects nobody.
RecipientQuery matching(int magIdx, const FreeClause &condition);
// Nobody: what a condition that cannot be read selects.
RecipientQuery nobody(int magIdx);

} // namespace Recipients

// "select count(*) from maguser U " followed by the clause.
QString TargetCountStatement(const RecipientQuery &query);
// The number of members the clause selects; a StoreError carries the engine's text.
int CountTargets(const RecipientQuery &query);

struct TargetLine {
    QString name;
    QString address;
};
// The members the clause selects within the magazine, in the order the store returns them.
QList<TargetLine> ListTargets(const RecipientQuery &query, int magIdx);

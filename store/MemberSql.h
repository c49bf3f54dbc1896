#pragma once
// A member as a plain value, and the statements that read and write members.
// Text values are bound to the statements, never pasted into them, so any text a row can
// hold (quotes, NUL and other control characters included) is stored and read back exactly
// and cannot change what a statement does. Failures throw StoreError.
#include <QList>
#include <QString>
#include <QStringList>

#include <QVariant>

#include <array>
#include <functional>
#include <memory>
#include <optional>

class RowCursor;

struct MemberRecord {
    int magIdx = -1;
    int userIdx = -1;
    QString name;
    QString address;
    QString url;
    bool sleep = false;
    std::array<bool, 3> flags{};
    std::array<qint64, 2> counts{};
    // "yyyymmdd" texts; std::nullopt for a NULL column.
    std::optional<QString> date1;
    std::optional<QString> date2;
    QString addDate;
};

namespace MemberSql {

// Every column ("select *", in the table's own order) of the magazine's members.
std::unique_ptr<RowCursor> rows(int magIdx);
// Calls each with every member of the magazine, in the order the store gives them (as rows()
// and the member list); a NULL date stays std::nullopt, any other NULL reads as empty or 0.
void forEachMember(int magIdx, const std::function<void(const MemberRecord &)> &each);
// The eleven columns a member exchange file holds, in its order: UserName, UserAdrs, url,
// Flg1..Flg3, Count1, Count2, UserDate1, UserDate2, AddDate.
using ExchangeRow = std::array<QVariant, 11>;
// Calls each with the exchange columns of every member of the magazine, in UserIdx order.
void forEachExchangeRow(int magIdx, const std::function<void(const ExchangeRow &)> &each);
// The members of the magazine with exactly this address.
qint64 countAddress(int magIdx, const QString &address);
// The highest UserIdx of the magazine; 0 when it has no member.
qint64 maxUserIdx(int magIdx);
// Writes a new member row; every column comes from the record.
void insert(const MemberRecord &m);
// Writes the member under the next number of the magazine (above its highest UserIdx and
// above every number it ever gave; 1 for its first member) and returns that index. Reading
// the highest and writing the row are one transaction, so two writers never take one index.
int insertNew(const MemberRecord &m);
// The member's row in the table's column order, each value as stored; a member without its
// number yet (UserIdx -1) has the widest number in its place, so that a length measured on it
// holds whatever number it gets.
QVariantList columnValues(const MemberRecord &m);
// Rewrites the member (MagIdx, UserIdx) from the record; AddDate is left as stored.
void update(const MemberRecord &m);
// Deletes these members of the magazine, with their returned-mail counts, and settles their
// open delivery rows (DepartedMembers), all of them or, when the store refuses one, none. progress is called between the steps with the members
// done so far and the number in all.
void remove(int magIdx, QList<int> userIdxs, const std::function<void(qint64 done, qint64 total)> &progress = {});
// The statements: the temporary table of chosen members, and the deletes that take its
// members of the magazine (`?`) from each table.
QString chosenTable();
QStringList removeStatements();
struct SleepChange {
    int userIdx = -1;
    bool sleep = false;
};
// Sets each member's Sleep, all of them or, when the store refuses one, none.
void setSleep(int magIdx, const QList<SleepChange> &changes);
qint64 count(int magIdx);
// The url of each of these members that has a row, in ascending UserIdx.
QStringList urls(int magIdx, QList<int> userIdxs);

// Reads a member; std::nullopt when there is no such row.
std::optional<MemberRecord> load(int magIdx, int userIdx);

} // namespace MemberSql

#pragma once
// The rows a member import writes: a member found by address, a new member, or some
// columns of a found one. Values are bound; the columns come from the fixed list of the
// eleven import items. Lines are grouped into transactions for speed.
#include "store/PreparedStatement.h"

#include <QHash>
#include <QString>
#include <QVariant>

#include <array>
#include <memory>

class MemberImportRows
{
public:
    // Item codes 0 (name) ... 10 (sign-up date), one value each.
    static constexpr int kItems = 11;
    using Values = std::array<QVariant, kItems>;

    // The member column of an import item; empty for a code out of range.
    static QString column(int code);

    // findByAddress prepares the look-up of a member by address. Throws StoreError.
    MemberImportRows(int magIdx, bool findByAddress);
    ~MemberImportRows();
    MemberImportRows(const MemberImportRows &) = delete;
    MemberImportRows &operator=(const MemberImportRows &) = delete;

    // Call before each line's rows, and endRow() after them.
    void beginRow();
    void endRow();
    // Commits what is open. A statement that failed undoes only itself, so this keeps
    // what the lines before it wrote.
    void commit();
    // True while the rows since the last commit are not committed yet.
    bool groupOpen() const { return m_groups.isOpen(); }

    // The UserIdx of the magazine's member with this address; -1 when there is none or
    // the look-up was not prepared.
    qint64 find(const QVariant &address);
    // Writes the items whose bit (1 << code) is set in present to the member.
    void update(qint64 userIdx, int present, const Values &values);
    // The member's row in the table's column order with these items (not sleeping, the
    // widest number), for measuring it against what a backup carries.
    QVariantList columnValues(const Values &values) const;
    // The stored items of the magazine's member, for a line that updates some of them.
    Values stored(qint64 userIdx);

    // A new member, not sleeping, with the next UserIdx of the table (never one its
    // magazine gave before).
    void insert(const Values &values);

private:
    int m_magIdx;
    TransactionGroups m_groups; // first, so that it ends after the statements
    PreparedStatement m_insert;
    PreparedStatement m_maxUserIdx;
    std::unique_ptr<PreparedStatement> m_lookup;
    std::unique_ptr<PreparedStatement> m_stored;
    QHash<int, std::shared_ptr<PreparedStatement>> m_updates; // by the set of items written
    qint64 m_nextUserIdx = -1; // read once per transaction group, inside it
    qint64 m_firstUserIdx = -1; // the group's first; those below m_nextUserIdx were given
};

#pragma once
// Removing a magazine's members by address, many addresses in a row: one statement
// prepared once with the values bound, the rows grouped into transactions for speed.
#include "store/PreparedStatement.h"
#include "store/DepartedMembers.h"

#include <QString>

class MemberRemoval
{
public:
    // Throws StoreError.
    explicit MemberRemoval(int magIdx);

    // Deletes the magazine's members with exactly this address, settling their open delivery
    // rows in the same transaction, and returns how many.
    int remove(const QString &address);
    // Commits what is open. A statement that failed undoes only itself, so this keeps
    // what the addresses before it removed.
    void commit();
    // True while the addresses since the last commit are not committed yet.
    bool groupOpen() const { return m_groups.isOpen(); }

private:
    int m_magIdx;
    TransactionGroups m_groups; // first, so that it ends after the statements
    PreparedStatement m_find;
    PreparedStatement m_remove;
    DepartedMembers m_departed;
};

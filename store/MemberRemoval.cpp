#include "store/MemberRemoval.h"

#include <QtGlobal>

MemberRemoval::MemberRemoval(int magIdx)
    : m_magIdx(magIdx), m_remove(QStringLiteral("Delete from MagUser where UserAdrs = ? and MagIdx = ?"))
{
}

int MemberRemoval::remove(const QString &address)
{
    m_groups.beginRow();
    m_remove.bind(0, address);
    m_remove.bind(1, m_magIdx);
    m_remove.exec();
    const int removed = qMax(0, m_remove.rowsAffected());
    m_groups.endRow();
    return removed;
}

void MemberRemoval::commit()
{
    m_groups.commit();
}

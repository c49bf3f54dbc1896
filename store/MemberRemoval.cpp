#include "store/MemberRemoval.h"

#include <QList>
#include <QtGlobal>

MemberRemoval::MemberRemoval(int magIdx)
    : m_magIdx(magIdx), m_find(QStringLiteral("select UserIdx from MagUser where UserAdrs = ? and MagIdx = ?")),
      m_remove(QStringLiteral("Delete from MagUser where UserAdrs = ? and MagIdx = ?")), m_departed(magIdx)
{
}

int MemberRemoval::remove(const QString &address)
{
    m_groups.beginRow();
    QList<qint64> members;
    m_find.run({address, m_magIdx});
    while (m_find.next())
        members << m_find.value(0).toLongLong();
    m_find.finish();
    m_remove.bind(0, address);
    m_remove.bind(1, m_magIdx);
    m_remove.exec();
    const int removed = qMax(0, m_remove.rowsAffected());
    for (const qint64 userIdx : members)
        m_departed.settle(userIdx);
    m_groups.endRow();
    return removed;
}

void MemberRemoval::commit()
{
    m_groups.commit();
}

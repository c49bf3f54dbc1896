#include "store/DepartedMembers.h"

#include "store/Database.h"
#include "store/Sql.h"

#include <QList>
#include <QSqlError>

#include <memory>
#include <utility>

namespace {

// The open states: waiting, sending, deferred, reserved. Spelled as the partial index
// SendStateMemberOpen is, so that the engine reads the member's rows through it.
const QString kOpen = QStringLiteral("State in (0, 1, 3, 7)");

void prepare(QSqlQuery &q, const QString &sql)
{
    q.setForwardOnly(true);
    if (!q.prepare(Store::preparedText(sql)))
        throw StoreError(q.lastError().text());
}

void exec(QSqlQuery &q)
{
    if (!q.exec())
        throw StoreError(q.lastError().text());
}

// The members of the open rows whose member row is gone, by magazine.
QList<std::pair<int, qint64>> goneMembers(const QSqlDatabase &db)
{
    QSqlQuery q(db);
    prepare(q, DepartedMembers::goneStatement());
    exec(q);
    QList<std::pair<int, qint64>> out;
    while (q.next())
        out.append({q.value(0).toInt(), q.value(1).toLongLong()});
    if (q.lastError().isValid())
        throw StoreError(q.lastError().text());
    q.finish();
    return out;
}

} // namespace

DepartedMembers::DepartedMembers(int magIdx) : DepartedMembers(Store::connection(), magIdx) {}

DepartedMembers::DepartedMembers(const QSqlDatabase &db, int magIdx) : m_magIdx(magIdx), m_complete(db), m_skip(db)
{
    const QStringList sql = settleStatements();
    prepare(m_complete, sql.at(0));
    prepare(m_skip, sql.at(1));
}

QStringList DepartedMembers::settleStatements()
{
    return {
        QStringLiteral("update MagHist set SendComplete = 1 where MagIdx = ? and MagUser = ?"
                       " and ifnull(SendComplete, 0) <> 1 and MagCnt in (select MagCnt from SendState"
                       " where MagIdx = ? and MagUser = ? and ")
            + kOpen + QStringLiteral(")"),
        QStringLiteral("update SendState set State = 5, NextTry = null, Reply = ? where MagIdx = ? and MagUser = ? and ")
            + kOpen,
    };
}

QString DepartedMembers::goneStatement()
{
    return Sql::lines({
        QStringLiteral("select distinct S.MagIdx, S.MagUser from SendState S where S.") + kOpen,
        QStringLiteral("and not exists (select 1 from MagUser U where U.MagIdx = S.MagIdx and U.UserIdx = S.MagUser)"),
    });
}

QString DepartedMembers::reason()
{
    return QStringLiteral("メンバー削除");
}

int DepartedMembers::settle(qint64 userIdx)
{
    const QVariantList hist{m_magIdx, userIdx, m_magIdx, userIdx};
    for (int i = 0; i < hist.size(); ++i)
        m_complete.bindValue(i, hist.at(i));
    exec(m_complete);
    m_skip.bindValue(0, reason());
    m_skip.bindValue(1, m_magIdx);
    m_skip.bindValue(2, userIdx);
    exec(m_skip);
    return qMax(0, m_skip.numRowsAffected());
}

int DepartedMembers::settleGone(const QSqlDatabase &db)
{
    int settled = 0;
    int magIdx = 0;
    std::unique_ptr<DepartedMembers> magazine;
    for (const auto &[idx, userIdx] : goneMembers(db)) {
        if (!magazine || idx != magIdx) {
            magazine = std::make_unique<DepartedMembers>(db, idx);
            magIdx = idx;
        }
        settled += magazine->settle(userIdx);
    }
    return settled;
}

void DepartedMembers::settleAtOpen(const QSqlDatabase &db)
{
    // A read first: a write at every start would wait behind a running delivery.
    if (goneMembers(db).isEmpty())
        return;
    Transaction t(db);
    settleGone(db);
    t.commit();
}

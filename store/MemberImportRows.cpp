#include "store/MemberImportRows.h"

#include "store/MemberNumbers.h"

#include <QStringList>

#include <limits>

namespace {

const char *const kColumns[MemberImportRows::kItems] = {
    "UserName", "UserAdrs", "url", "Flg1", "Flg2", "Flg3", "Count1", "Count2", "UserDate1", "UserDate2", "AddDate",
};

} // namespace

QString MemberImportRows::column(int code)
{
    return code >= 0 && code < kItems ? QString::fromLatin1(kColumns[code]) : QString();
}

// UserIdx is given here rather than left to the store: the same value the store would
// assign (above every UserIdx of the table and every number the magazine ever gave), without
// its after-insert update; the magazine's mark is raised once per group, as it commits.
MemberImportRows::MemberImportRows(int magIdx, bool findByAddress)
    : m_magIdx(magIdx),
      m_insert(QStringLiteral("insert into MagUser (MagIdx,UserName,UserAdrs,url,Flg1,Flg2,Flg3,Count1,Count2,"
                              "UserDate1,UserDate2,AddDate,Sleep,UserIdx) values(?,?,?,?,?,?,?,?,?,?,?,?,0,?)")),
      m_maxUserIdx(QStringLiteral("select max(UserIdx) from MagUser"))
{
    if (findByAddress)
        m_lookup = std::make_unique<PreparedStatement>(
            QStringLiteral("select UserIdx from MagUser where MagIdx = ? and UserAdrs = ?"));
    m_groups.setBeforeCommit([this] {
        if (m_nextUserIdx > m_firstUserIdx)
            MemberNumbers::raise(m_magIdx, m_nextUserIdx - 1);
    });
}

MemberImportRows::~MemberImportRows() = default;

void MemberImportRows::beginRow()
{
    if (!m_groups.beginRow())
        return;
    m_maxUserIdx.exec();
    const qint64 highest = m_maxUserIdx.next() ? m_maxUserIdx.value(0).toLongLong() : 0;
    m_maxUserIdx.finish();
    m_nextUserIdx = m_firstUserIdx = MemberNumbers::next(m_magIdx, highest);
}

void MemberImportRows::endRow()
{
    m_groups.endRow();
}

void MemberImportRows::commit()
{
    m_groups.commit();
}

qint64 MemberImportRows::find(const QVariant &address)
{
    if (!m_lookup)
        return -1;
    m_lookup->bind(0, m_magIdx);
    m_lookup->bind(1, address);
    m_lookup->exec();
    const qint64 userIdx = m_lookup->next() ? m_lookup->value(0).toLongLong() : -1;
    m_lookup->finish();
    return userIdx;
}

void MemberImportRows::update(qint64 userIdx, int present, const Values &values)
{
    std::shared_ptr<PreparedStatement> &update = m_updates[present];
    if (!update) {
        QStringList sets;
        for (int code = 0; code < kItems; ++code)
            if (present & (1 << code))
                sets << QString::fromLatin1(kColumns[code]) + QStringLiteral(" = ?");
        update = std::make_shared<PreparedStatement>(QStringLiteral("Update MagUser set ") + sets.join(QLatin1Char(','))
                                                     + QStringLiteral(" where MagIdx = ? and UserIdx = ?"));
    }
    int i = 0;
    for (int code = 0; code < kItems; ++code)
        if (present & (1 << code))
            update->bind(i++, values[size_t(code)]);
    update->bind(i++, m_magIdx);
    update->bind(i, userIdx);
    update->exec();
}

QVariantList MemberImportRows::columnValues(const Values &v) const
{
    return {m_magIdx, std::numeric_limits<qint64>::max(), v[0], v[1], v[2], v[3], v[4], v[5], 0, v[6], v[7], v[8],
            v[9], v[10]};
}

MemberImportRows::Values MemberImportRows::stored(qint64 userIdx)
{
    if (!m_stored) {
        QStringList columns;
        for (const char *c : kColumns)
            columns << QString::fromLatin1(c);
        m_stored = std::make_unique<PreparedStatement>(QStringLiteral("select ") + columns.join(QLatin1Char(','))
                                                       + QStringLiteral(" from MagUser where MagIdx = ? and UserIdx = ?"));
    }
    m_stored->run({m_magIdx, userIdx});
    Values out;
    if (m_stored->next())
        for (int code = 0; code < kItems; ++code)
            out[size_t(code)] = m_stored->value(code);
    m_stored->finish();
    return out;
}

void MemberImportRows::insert(const Values &values)
{
    m_insert.bind(0, m_magIdx);
    for (int code = 0; code < kItems; ++code)
        m_insert.bind(code + 1, values[size_t(code)]);
    m_insert.bind(kItems + 1, m_nextUserIdx);
    m_insert.exec();
    ++m_nextUserIdx;
}

#include "store/BulkUpdateRecords.h"

#include "store/PreparedStatement.h"
#include "store/Database.h"
#include "store/Sql.h"

#include <QStringList>

#include <memory>

namespace BulkUpdateRecords {

namespace {

// "set Count1 = Count1 + ?": the column's name is one of the fixed list, the value bound.
QString setClause(const Change &change)
{
    const QString column = columnName(change.field);
    switch (change.op) {
    case Op::Add: return QStringLiteral("set ") + column + QStringLiteral(" = ") + column + QStringLiteral(" + ?");
    case Op::Subtract: return QStringLiteral("set ") + column + QStringLiteral(" = ") + column + QStringLiteral(" - ?");
    case Op::Set: break;
    }
    return QStringLiteral("set ") + column + QStringLiteral(" = ?");
}

// The update of one chunk of the selection; every full chunk shares one statement.
class SelectedUpdate
{
public:
    explicit SelectedUpdate(const Change &change) : m_change(change), m_set(setClause(change)) {}

    int run(int magIdx, const QList<int> &part)
    {
        std::unique_ptr<PreparedStatement> other;
        PreparedStatement *s = nullptr;
        if (part.size() == kSelectionChunk) {
            if (!m_full)
                m_full = prepare(kSelectionChunk);
            s = m_full.get();
        } else {
            other = prepare(part.size());
            s = other.get();
        }
        int i = 0;
        s->bind(i++, m_change.value);
        s->bind(i++, magIdx);
        for (int userIdx : part)
            s->bind(i++, userIdx);
        s->exec();
        return s->rowsAffected();
    }

private:
    std::unique_ptr<PreparedStatement> prepare(qsizetype members) const
    {
        return std::make_unique<PreparedStatement>(QStringLiteral("update MagUser ") + m_set
                                                   + QStringLiteral(" where MagIdx = ? and (UserIdx in (")
                                                   + Sql::marks(members) + QStringLiteral("))"));
    }

    const Change &m_change;
    QString m_set;
    std::unique_ptr<PreparedStatement> m_full;
};

} // namespace

QString columnName(Field field)
{
    switch (field) {
    case Field::Flg1: return QStringLiteral("Flg1");
    case Field::Flg2: return QStringLiteral("Flg2");
    case Field::Flg3: return QStringLiteral("Flg3");
    case Field::Count1: return QStringLiteral("Count1");
    case Field::Count2: return QStringLiteral("Count2");
    case Field::UserDate1: return QStringLiteral("UserDate1");
    case Field::UserDate2: return QStringLiteral("UserDate2");
    }
    return QStringLiteral("Flg1");
}

int updateSelected(const Change &change, int magIdx, const QList<int> &userIdx)
{
    if (userIdx.isEmpty())
        return 0;
    SelectedUpdate update(change);
    if (userIdx.size() <= kSelectionChunk)
        return update.run(magIdx, userIdx);
    // Several statements must still act as one change of the whole selection.
    Transaction t;
    int changed = 0;
    for (qsizetype i = 0; i < userIdx.size(); i += kSelectionChunk)
        changed += update.run(magIdx, userIdx.mid(i, kSelectionChunk));
    t.commit();
    return changed;
}

int updateAll(const Change &change, int magIdx)
{
    PreparedStatement s(QStringLiteral("update MagUser ") + setClause(change) + QStringLiteral(" where MagIdx = ?"));
    s.bind(0, change.value);
    s.bind(1, magIdx);
    s.exec();
    return s.rowsAffected();
}

} // namespace BulkUpdateRecords

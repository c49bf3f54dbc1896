#include "store/SendStatePages.h"

#include "store/PreparedStatement.h"
#include "store/Sql.h"

#include <limits>

namespace {

constexpr qint64 kBeforeAll = std::numeric_limits<qint64>::min();

} // namespace

SendStatePages::SendStatePages(int magIdx, int magCnt, const QList<SendState> &states)
    : m_magIdx(magIdx), m_magCnt(magCnt), m_states(states), m_atEnd(states.isEmpty())
{
}

void SendStatePages::read(int recipients, QList<SendStateRow> *out)
{
    if (m_atEnd || recipients <= 0)
        return;
    // The records are limited before the join, so a member number that repeats in the
    // magazine cannot split one record's lines across two pages. The key walk stays on the
    // issue's primary key: a page of a few failures among a million sent records ends as soon
    // as it is full, and the next one starts where it stopped.
    QString filter;
    QVariantList values{m_magIdx, m_magCnt, m_first ? kBeforeAll : m_last};
    if (m_states) {
        filter = QStringLiteral("and State in (") + Sql::marks(m_states->size()) + QStringLiteral(")");
        for (const SendState state : *m_states)
            values << int(state);
    }
    values << recipients << m_magIdx;
    PreparedStatement s(Sql::lines({
        QStringLiteral("select S.MagUser,U.UserName,U.UserAdrs,S.State,S.Attempts,S.NextTry,S.Reply"),
        QStringLiteral("from (select MagUser,State,Attempts,NextTry,Reply from SendState"),
        QStringLiteral("where MagIdx = ? and MagCnt = ? and MagUser > ?"),
        filter,
        QStringLiteral("order by MagUser limit ?) S"),
        QStringLiteral("left join MagUser U on U.MagIdx = ? and U.UserIdx = S.MagUser"),
        QStringLiteral("order by S.MagUser"),
    }));
    s.bindFrom(0, values);
    s.exec();
    int records = 0;
    while (s.next()) {
        SendStateRow r;
        r.MagUser = s.value(0).toLongLong();
        r.UserName = s.value(1).toString();
        r.UserAdrs = s.value(2).toString();
        const qint64 state = s.value(3).toLongLong();
        r.state = SendStateOf(state);
        r.attempts = s.value(4).toInt();
        const QVariant next = s.value(5);
        r.nextTry = next.isNull() ? QDateTime() : QDateTime::fromSecsSinceEpoch(next.toLongLong());
        r.reply = s.value(6).toString();
        if (m_first || r.MagUser != m_last)
            ++records;
        m_first = false;
        m_last = r.MagUser;
        out->append(r);
    }
    s.finish();
    if (records < recipients)
        m_atEnd = true;
}

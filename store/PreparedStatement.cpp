#include "store/PreparedStatement.h"

#include "store/Database.h"

#include <QSqlError>

namespace {

constexpr int kGroupRows = 5000;
constexpr qint64 kGroupMillis = 200;

} // namespace

PreparedStatement::PreparedStatement(const QString &sql) : m_query(Store::connection())
{
    m_query.setForwardOnly(true);
    if (!m_query.prepare(Store::preparedText(sql)))
        throw StoreError::of(m_query.lastError());
}

void PreparedStatement::exec()
{
    Store::run(m_query);
}

void PreparedStatement::bindFrom(int first, const QVariantList &values)
{
    for (const QVariant &v : values)
        m_query.bindValue(first++, v);
}

void PreparedStatement::run(std::initializer_list<QVariant> values)
{
    int i = 0;
    for (const QVariant &v : values)
        m_query.bindValue(i++, v);
    exec();
}

qint64 PreparedStatement::scalar(std::initializer_list<QVariant> values)
{
    run(values);
    const qint64 v = next() ? value(0).toLongLong() : 0;
    finish();
    return v;
}

bool PreparedStatement::next()
{
    if (m_query.next())
        return true;
    if (m_query.lastError().isValid())
        throw StoreError::of(m_query.lastError());
    return false;
}

TransactionGroups::TransactionGroups() = default;

TransactionGroups::~TransactionGroups() = default;

bool TransactionGroups::beginRow()
{
    if (m_group)
        return false;
    m_group = std::make_unique<Transaction>();
    m_rows = 0;
    m_clock.start();
    return true;
}

void TransactionGroups::endRow()
{
    if (++m_rows >= kGroupRows || m_clock.elapsed() >= kGroupMillis)
        commit();
}

void TransactionGroups::commit()
{
    if (!m_group)
        return;
    std::unique_ptr<Transaction> group = std::move(m_group);
    if (m_beforeCommit)
        m_beforeCommit();
    group->commit();
}

QVariant TextValue(const QString &text)
{
    return text.isNull() ? QVariant(QStringLiteral("")) : QVariant(text);
}

QVariant FlagValue(bool on)
{
    return on ? 1 : 0;
}

#include "mail/DeliveryProgress.h"

#include "mail/DeliveryManager.h"

DeliveryProgress::DeliveryProgress(const DeliveryManager &deliveries, QObject *parent) : QObject(parent)
{
    connect(&deliveries, &DeliveryManager::Dispatched, this, &DeliveryProgress::dispatched);
    connect(&deliveries, &DeliveryManager::Started, this, &DeliveryProgress::started);
    connect(&deliveries, &DeliveryManager::MailSent, this, &DeliveryProgress::mailSent);
    connect(&deliveries, &DeliveryManager::Waiting, this, &DeliveryProgress::waiting);
    connect(&deliveries, &DeliveryManager::Summary, this, &DeliveryProgress::summary);
    connect(&deliveries, &DeliveryManager::Ended, this, &DeliveryProgress::ended);
}

QString DeliveryProgress::WaitingText(const QDateTime &until)
{
    return QStringLiteral("待機中 %1 まで").arg(until.toString(QStringLiteral("HH:mm")));
}

QString DeliveryProgress::stateText() const
{
    if (m_state == State::Running && m_waitingUntil.isValid())
        return WaitingText(m_waitingUntil);
    if (m_state == State::Stopped)
        return QStringLiteral("一時停止中");
    return {};
}

void DeliveryProgress::dispatched(int recipients)
{
    // A new total starts once everything counted so far has been reported sent; until
    // then the deliveries share one bar.
    if (m_sentCount == m_sendTotal) {
        m_sentCount = 0;
        m_sendTotal = 0;
    }
    m_sendTotal += recipients;
    Q_EMIT changed();
}

void DeliveryProgress::started(int MagIdx, int MagCnt)
{
    m_sendingCount += 1;
    m_magIdx = MagIdx;
    m_magCnt = MagCnt;
    m_state = State::Running;
    m_waitingUntil = {};
    Q_EMIT changed();
}

void DeliveryProgress::mailSent(int count)
{
    m_sentCount += count;
    Q_EMIT changed();
}

void DeliveryProgress::waiting(int MagIdx, int MagCnt, const QDateTime &until)
{
    if (MagIdx != m_magIdx || MagCnt != m_magCnt)
        return;
    m_waitingUntil = until;
    Q_EMIT changed();
}

void DeliveryProgress::summary(const DeliverySummary &s)
{
    if (s.MagIdx != m_magIdx || s.MagCnt != m_magCnt)
        return;
    m_waitingUntil = {};
    const bool left = s.counts.open() > 0 && s.end != DeliveryEnd::Cancelled;
    m_state = left ? State::Stopped : State::Idle;
    Q_EMIT changed();
}

void DeliveryProgress::ended()
{
    m_sendFinished = true;
    m_sendingCount -= 1;
    Q_EMIT changed();
}

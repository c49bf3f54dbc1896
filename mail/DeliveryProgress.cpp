#include "mail/DeliveryProgress.h"

#include "mail/DeliveryManager.h"

DeliveryProgress::DeliveryProgress(const DeliveryManager &deliveries, QObject *parent) : QObject(parent)
{
    connect(&deliveries, &DeliveryManager::Dispatched, this, &DeliveryProgress::dispatched);
    connect(&deliveries, &DeliveryManager::Started, this, &DeliveryProgress::started);
    connect(&deliveries, &DeliveryManager::MailSent, this, &DeliveryProgress::mailSent);
    connect(&deliveries, &DeliveryManager::Ended, this, &DeliveryProgress::ended);
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

void DeliveryProgress::started()
{
    m_sendingCount += 1;
    Q_EMIT changed();
}

void DeliveryProgress::mailSent(int count)
{
    m_sentCount += count;
    Q_EMIT changed();
}

void DeliveryProgress::ended()
{
    m_sendFinished = true;
    m_sendingCount -= 1;
    Q_EMIT changed();
}

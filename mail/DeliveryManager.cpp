#include "mail/DeliveryManager.h"

#include <QCoreApplication>
#include <QDeadlineTimer>

DeliveryManager::DeliveryManager(QObject *parent) : QObject(parent) {}

DeliveryManager::~DeliveryManager()
{
    stopAll();
}

void DeliveryManager::start(int MagIdx, int MagCnt, int recipients, const TMailThread::Settings &settings)
{
    auto *t = new TMailThread(MagIdx, MagCnt, settings);
    connect(t, &TMailThread::MailSent, this, &DeliveryManager::MailSent, Qt::BlockingQueuedConnection);
    connect(t, &TMailThread::RepaintStatus, this, &DeliveryManager::RepaintStatus, Qt::BlockingQueuedConnection);
    connect(t, &TMailThread::ErrorBox, this, &DeliveryManager::ErrorBox, Qt::BlockingQueuedConnection);
    connect(t, &TMailThread::Ended, this, &DeliveryManager::Ended, Qt::BlockingQueuedConnection);
    // The worker counts as running until its thread has returned, store connection released.
    connect(t, &QThread::finished, this, [this, t] { m_running.remove(t); });
    connect(t, &QThread::finished, t, &QObject::deleteLater);
    m_running.insert(t);
    Q_EMIT Dispatched(recipients);
    Q_EMIT Started();
    t->start();
}

void DeliveryManager::stopAll()
{
    for (TMailThread *t : std::as_const(m_running))
        t->requestStop();
}

bool DeliveryManager::waitForAll(int timeoutMs)
{
    const QDeadlineTimer deadline(timeoutMs);
    while (!m_running.isEmpty() && !deadline.hasExpired()) {
        QCoreApplication::processEvents(QEventLoop::AllEvents, 20);
        QThread::msleep(5);
    }
    return m_running.isEmpty();
}

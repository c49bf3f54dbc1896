#include "mail/DeliveryManager.h"

#include "store/Database.h"
#include "store/SendStates.h"

#include <QCoreApplication>
#include <QDeadlineTimer>

DeliveryManager::DeliveryManager(QObject *parent) : QObject(parent)
{
    qRegisterMetaType<DeliverySummary>();
}

DeliveryManager::~DeliveryManager()
{
    stopAll();
}

void DeliveryManager::start(int MagIdx, int MagCnt, int recipients, const TMailThread::Settings &settings)
{
    auto *t = new TMailThread(MagIdx, MagCnt, settings);
    connect(t, &TMailThread::MailSent, this, &DeliveryManager::MailSent, Qt::BlockingQueuedConnection);
    connect(t, &TMailThread::RepaintStatus, this, &DeliveryManager::RepaintStatus, Qt::BlockingQueuedConnection);
    connect(
        t, &TMailThread::Waiting, this,
        [this, MagIdx, MagCnt](const QDateTime &until) { Q_EMIT Waiting(MagIdx, MagCnt, until); },
        Qt::BlockingQueuedConnection);
    connect(t, &TMailThread::ErrorBox, this, &DeliveryManager::ErrorBox, Qt::BlockingQueuedConnection);
    connect(t, &TMailThread::Summary, this, &DeliveryManager::Summary, Qt::BlockingQueuedConnection);
    connect(t, &TMailThread::Ended, this, &DeliveryManager::Ended, Qt::BlockingQueuedConnection);
    // The worker counts as running until its thread has returned, store connection released.
    connect(t, &QThread::finished, this, [this, t] { m_running.remove(t); });
    connect(t, &QThread::finished, t, &QObject::deleteLater);
    m_running.insert(t);
    Q_EMIT Dispatched(recipients);
    Q_EMIT Started(MagIdx, MagCnt);
    t->start();
}

TMailThread *DeliveryManager::find(int MagIdx, int MagCnt) const
{
    for (TMailThread *t : m_running)
        if (t->MagIdx() == MagIdx && t->MagCnt() == MagCnt && !t->isFinished())
            return t;
    return nullptr;
}

void DeliveryManager::pause(int MagIdx, int MagCnt)
{
    if (TMailThread *t = find(MagIdx, MagCnt))
        t->requestPause();
}

void DeliveryManager::cancel(int MagIdx, int MagCnt)
{
    if (TMailThread *t = find(MagIdx, MagCnt))
        t->requestCancel();
}

void DeliveryManager::cancelStopped(int MagIdx, int MagCnt)
{
    DeliverySummary summary{MagIdx, MagCnt, DeliveryEnd::Cancelled, {}};
    try {
        QString holder;
        if (!SendLock::acquire(MagIdx, MagCnt, &holder)) {
            Q_EMIT ErrorBox(QStringLiteral("この号はほかの配信が送信中です。")
                            + (holder.isEmpty() ? QString() : QStringLiteral("\r\n") + holder));
            return;
        }
        try {
            SendStates::cancelOpen(MagIdx, MagCnt);
        } catch (const StoreError &) {
            SendLock::release(MagIdx, MagCnt);
            throw;
        }
        SendLock::release(MagIdx, MagCnt);
        summary.counts = SendStates::counts(MagIdx, MagCnt);
    } catch (const StoreError &e) {
        Q_EMIT ErrorBox(QStringLiteral("配信を中止できませんでした。\r\n") + e.text());
        return;
    }
    Q_EMIT Summary(summary);
}

void DeliveryManager::stopAll()
{
    for (TMailThread *t : std::as_const(m_running))
        t->requestPause();
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

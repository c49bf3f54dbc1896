#include "mail/DeliveryManager.h"

#include "store/Database.h"
#include "store/SendStates.h"

#include <QEventLoop>
#include <QTimer>

DeliveryManager::DeliveryManager(QObject *parent) : QObject(parent)
{
    qRegisterMetaType<DeliverySummary>();
}

DeliveryManager::~DeliveryManager()
{
    stopAll();
    // Nobody takes their signals any more: each worker frees itself once its thread is over.
    for (TMailThread *t : std::as_const(m_running)) {
        connect(t, &QThread::finished, t, &QObject::deleteLater);
        if (t->isFinished())
            t->deleteLater();
    }
}

void DeliveryManager::start(int MagIdx, int MagCnt, int recipients, const TMailThread::Settings &settings)
{
    auto *t = new TMailThread(MagIdx, MagCnt, settings);
    // Queued, never blocking: the worker goes on while the owner's thread is busy (a box
    // open, a long list being drawn), and the steps come out in order once it gets to them.
    connect(t, &TMailThread::ReportsWaiting, this, [this, t] { inOrder(t, [this, t] { takeReports(t); }); },
            Qt::QueuedConnection);
    connect(t, &TMailThread::RepaintStatus, this, [this, t] { inOrder(t, [this] { Q_EMIT RepaintStatus(); }); },
            Qt::QueuedConnection);
    connect(
        t, &TMailThread::Waiting, this,
        [this, t, MagIdx, MagCnt](const QDateTime &until) {
            inOrder(t, [this, MagIdx, MagCnt, until] { Q_EMIT Waiting(MagIdx, MagCnt, until); });
        },
        Qt::QueuedConnection);
    connect(
        t, &TMailThread::ErrorBox, this,
        [this, t](const QString &text) { inOrder(t, [this, text] { Q_EMIT ErrorBox(text); }); }, Qt::QueuedConnection);
    connect(
        t, &TMailThread::Summary, this,
        [this, t](const DeliverySummary &summary) { inOrder(t, [this, summary] { Q_EMIT Summary(summary); }); },
        Qt::QueuedConnection);
    connect(
        t, &TMailThread::Ended, this,
        [this, t, MagIdx, MagCnt] { inOrder(t, [this, MagIdx, MagCnt] { Q_EMIT Ended(MagIdx, MagCnt); }); },
        Qt::QueuedConnection);
    // The worker counts as running until its thread has returned, store connection released,
    // and all it said has come out.
    connect(t, &QThread::finished, this, [this, t] { inOrder(t, [this, t] { finished(t); }); }, Qt::QueuedConnection);
    m_running.insert(t);
    Q_EMIT Dispatched(recipients, MagIdx, MagCnt);
    Q_EMIT Started(MagIdx, MagCnt);
    t->start();
}

void DeliveryManager::inOrder(TMailThread *t, std::function<void()> step)
{
    Feed &feed = m_feeds[t];
    feed.steps.append(std::move(step));
    if (feed.busy)
        return;
    feed.busy = true;
    while (!feed.steps.isEmpty()) {
        const std::function<void()> next = feed.steps.takeFirst();
        next();
    }
    feed.busy = false;
    if (feed.over)
        m_feeds.erase(t);
}

void DeliveryManager::takeReports(TMailThread *t)
{
    const qint64 count = t->takeReports();
    if (count > 0)
        Q_EMIT MailSent(int(count), t->MagIdx(), t->MagCnt());
    Q_EMIT RepaintStatus();
}

void DeliveryManager::finished(TMailThread *t)
{
    m_feeds[t].over = true;
    m_running.remove(t);
    t->deleteLater();
    if (m_running.isEmpty())
        Q_EMIT AllEnded();
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
    if (TMailThread *t = find(MagIdx, MagCnt)) {
        t->requestPause();
        Q_EMIT StopRequested(MagIdx, MagCnt, false);
    }
}

void DeliveryManager::cancel(int MagIdx, int MagCnt)
{
    if (TMailThread *t = find(MagIdx, MagCnt)) {
        t->requestCancel();
        Q_EMIT StopRequested(MagIdx, MagCnt, true);
    }
}

void DeliveryManager::cancelStopped(int MagIdx, int MagCnt)
{
    DeliverySummary summary{MagIdx, MagCnt, DeliveryEnd::Cancelled, {}};
    try {
        QString holder;
        if (!SendLock::acquire(MagIdx, MagCnt, &holder)) {
            Q_EMIT ErrorBox(SendLockHeldText(holder));
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
    const QSet<TMailThread *> running = m_running;
    for (TMailThread *t : running) {
        if (t->isFinished())
            continue;
        t->requestPause();
        Q_EMIT StopRequested(t->MagIdx(), t->MagCnt(), false);
    }
}

bool DeliveryManager::waitForAll(int timeoutMs)
{
    if (m_running.isEmpty())
        return true;
    QEventLoop loop;
    QTimer deadline;
    deadline.setSingleShot(true);
    connect(&deadline, &QTimer::timeout, &loop, &QEventLoop::quit);
    connect(this, &DeliveryManager::AllEnded, &loop, &QEventLoop::quit);
    deadline.start(timeoutMs);
    loop.exec();
    return m_running.isEmpty();
}

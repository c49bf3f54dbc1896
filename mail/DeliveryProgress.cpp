#include "mail/DeliveryProgress.h"

#include "mail/DeliveryManager.h"

#include <algorithm>

DeliveryProgress::DeliveryProgress(const DeliveryManager &deliveries, QObject *parent) : QObject(parent)
{
    connect(&deliveries, &DeliveryManager::Dispatched, this, &DeliveryProgress::dispatched);
    connect(&deliveries, &DeliveryManager::Started, this, &DeliveryProgress::started);
    connect(&deliveries, &DeliveryManager::StopRequested, this, &DeliveryProgress::stopRequested);
    connect(&deliveries, &DeliveryManager::MailSent, this, &DeliveryProgress::mailSent);
    connect(&deliveries, &DeliveryManager::Waiting, this, &DeliveryProgress::waiting);
    connect(&deliveries, &DeliveryManager::Summary, this, &DeliveryProgress::summary);
    connect(&deliveries, &DeliveryManager::Ended, this, &DeliveryProgress::ended);
}

int DeliveryProgress::Share::shown() const
{
    // The last recipient is counted with the end of its delivery: until the delivery has
    // ended with nothing left, the share never reads full.
    return complete ? total : std::min(reported, std::max(total - 1, 0));
}

int DeliveryProgress::SendTotal() const
{
    int total = 0;
    for (const Share &s : m_shares)
        total += s.total;
    return total;
}

int DeliveryProgress::SentCount() const
{
    int sent = 0;
    for (const Share &s : m_shares)
        sent += s.shown();
    return sent;
}

DeliveryProgress::Share *DeliveryProgress::runningShare(int MagIdx, int MagCnt)
{
    for (auto it = m_shares.rbegin(); it != m_shares.rend(); ++it)
        if (it->running && it->MagIdx == MagIdx && it->MagCnt == MagCnt)
            return &*it;
    return nullptr;
}

QString DeliveryProgress::WaitingText(const QDateTime &until)
{
    return QStringLiteral("待機中 %1 まで").arg(until.toString(QStringLiteral("HH:mm")));
}

QString DeliveryProgress::stateText() const
{
    if (m_state == State::Running && m_stopping == Stopping::Cancel)
        return QStringLiteral("送信中のメールを終えてから中止します");
    if (m_state == State::Running && m_stopping == Stopping::Pause)
        return QStringLiteral("送信中のメールを終えてから一時停止します");
    if (m_state == State::Running && m_waitingUntil.isValid())
        return WaitingText(m_waitingUntil);
    if (m_state == State::Stopped)
        return QStringLiteral("一時停止中");
    return {};
}

void DeliveryProgress::dispatched(int recipients, int MagIdx, int MagCnt)
{
    if (m_sendingCount == 0) {
        m_shares.clear();
    } else {
        // The same issue resumed while others run: what it sent before stays on the bar,
        // and its rest is the new share.
        for (Share &s : m_shares)
            if (!s.running && s.MagIdx == MagIdx && s.MagCnt == MagCnt) {
                s.total = s.shown();
                s.complete = true;
            }
    }
    m_shares.append(Share{MagIdx, MagCnt, std::max(recipients, 0), 0, true, false});
    Q_EMIT changed();
}

void DeliveryProgress::started(int MagIdx, int MagCnt)
{
    m_sendingCount += 1;
    m_magIdx = MagIdx;
    m_magCnt = MagCnt;
    m_state = State::Running;
    m_waitingUntil = {};
    m_stopping = Stopping::No;
    Q_EMIT changed();
}

void DeliveryProgress::stopRequested(int MagIdx, int MagCnt, bool cancel)
{
    if (MagIdx != m_magIdx || MagCnt != m_magCnt || m_state != State::Running)
        return;
    if (cancel)
        m_stopping = Stopping::Cancel;
    else if (m_stopping == Stopping::No)
        m_stopping = Stopping::Pause;
    Q_EMIT changed();
}

void DeliveryProgress::mailSent(int count, int MagIdx, int MagCnt)
{
    if (Share *s = runningShare(MagIdx, MagCnt))
        s->reported += std::max(count, 0);
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
    const bool left = s.counts.open() > 0 && s.end != DeliveryEnd::Cancelled;
    if (Share *share = runningShare(s.MagIdx, s.MagCnt)) {
        share->running = false;
        share->complete = s.end != DeliveryEnd::Cancelled && s.counts.open() == 0;
    }
    if (s.MagIdx == m_magIdx && s.MagCnt == m_magCnt) {
        m_waitingUntil = {};
        m_stopping = Stopping::No;
        m_state = left ? State::Stopped : State::Idle;
    }
    Q_EMIT changed();
    Q_EMIT deliveryEnded(s.MagIdx, s.MagCnt);
}

void DeliveryProgress::ended()
{
    m_sendFinished = true;
    m_sendingCount = std::max(m_sendingCount - 1, 0);
    Q_EMIT changed();
}

#pragma once
// The progress of the deliveries under way, as the status bar shows it. The main window
// owns it; only the delivery manager's signals change it, all on the user-interface thread.
#include "mail/DeliverySummary.h"

#include <QDateTime>
#include <QObject>

class DeliveryManager;

class DeliveryProgress : public QObject
{
    Q_OBJECT

public:
    explicit DeliveryProgress(const DeliveryManager &deliveries, QObject *parent = nullptr);

    int SendingCount() const { return m_sendingCount; }   // delivery workers running
    int SendTotal() const { return m_sendTotal; }         // recipients of the deliveries in progress
    int SentCount() const { return m_sentCount; }         // mails reported sent of SendTotal
    bool SendFinished() const { return m_sendFinished; }  // any delivery has ended; never cleared

    // The delivery the progress area's buttons act on: the one started last.
    enum class State {
        Idle,     // none, or the last one ended with nothing left to send
        Running,  // its worker runs
        Stopped,  // it ended (paused, interrupted, never started) with recipients left to send
    };
    State state() const { return m_state; }
    int CurMagIdx() const { return m_magIdx; }
    int CurMagCnt() const { return m_magCnt; }
    // While the running delivery waits: until when; invalid otherwise.
    QDateTime waitingUntil() const { return m_waitingUntil; }

    // "待機中 hh:mm まで"
    static QString WaitingText(const QDateTime &until);
    // What the progress area says beside its buttons: the wait, "一時停止中", or nothing.
    QString stateText() const;

Q_SIGNALS:
    void changed();

private:
    void dispatched(int recipients);
    void started(int MagIdx, int MagCnt);
    void mailSent(int count);
    void waiting(int MagIdx, int MagCnt, const QDateTime &until);
    void summary(const DeliverySummary &summary);
    void ended();

    int m_sendingCount = 0;
    int m_sendTotal = 0;
    int m_sentCount = 0;
    bool m_sendFinished = false;
    State m_state = State::Idle;
    int m_magIdx = 0;
    int m_magCnt = 0;
    QDateTime m_waitingUntil;
};

#pragma once
// The progress of the deliveries under way, as the status bar shows it. The main window
// owns it; only the delivery manager's signals change it, all on the user-interface thread.
//
// Each delivery started is a share of the bar: the recipients it was dispatched for, and
// those it has reported at their final state (each recipient once). A share reads full only
// once its delivery has ended with nothing left to send, so the bar is at 100 % exactly
// then, and never above; a paused, cancelled or interrupted one stays where it stopped.
// Deliveries that overlap share one bar; the first dispatched while none runs starts a new
// one.
#include "mail/DeliverySummary.h"

#include <QDateTime>
#include <QList>
#include <QObject>

class DeliveryManager;

class DeliveryProgress : public QObject
{
    Q_OBJECT

public:
    explicit DeliveryProgress(const DeliveryManager &deliveries, QObject *parent = nullptr);

    int SendingCount() const { return m_sendingCount; }   // delivery workers running
    int SendTotal() const;                                // recipients of the deliveries on the bar
    int SentCount() const;                                // of those, reported at their final state
    bool SendFinished() const { return m_sendFinished; }  // any delivery has ended; never cleared
    // The bar is drawn: a delivery runs, or the one the buttons act on has stopped.
    bool barShown() const { return m_sendingCount > 0 || m_state == State::Stopped; }

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
    // A pause or a cancel asked of the running delivery, not yet done (the mail in flight
    // is being finished).
    enum class Stopping { No, Pause, Cancel };
    Stopping stopping() const { return m_stopping; }

    // "待機中 hh:mm まで"
    static QString WaitingText(const QDateTime &until);
    // What the progress area says beside its buttons: a pause or cancel on its way, the
    // wait, "一時停止中" once the worker has stopped, or nothing.
    QString stateText() const;

Q_SIGNALS:
    void changed();
    // A delivery of the issue has ended (its summary has come), whichever issue the
    // buttons follow.
    void deliveryEnded(int MagIdx, int MagCnt);

private:
    void dispatched(int recipients, int MagIdx, int MagCnt);
    void started(int MagIdx, int MagCnt);
    void stopRequested(int MagIdx, int MagCnt, bool cancel);
    void mailSent(int count, int MagIdx, int MagCnt);
    void waiting(int MagIdx, int MagCnt, const QDateTime &until);
    void summary(const DeliverySummary &summary);
    void ended();

    struct Share {
        int MagIdx = 0;
        int MagCnt = 0;
        int total = 0;
        int reported = 0;
        bool running = true;
        bool complete = false;
        int shown() const;
    };
    Share *runningShare(int MagIdx, int MagCnt);

    QList<Share> m_shares;
    int m_sendingCount = 0;
    bool m_sendFinished = false;
    State m_state = State::Idle;
    int m_magIdx = 0;
    int m_magCnt = 0;
    QDateTime m_waitingUntil;
    Stopping m_stopping = Stopping::No;
};

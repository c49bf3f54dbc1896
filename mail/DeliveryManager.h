#pragma once
// The deliveries under way, owned by the main window (or the command line): starts delivery
// workers, counts them, pauses or cancels one, pauses them all and waits for them when the
// window closes. The workers' signals come out of the manager on the owner's thread, with
// the worker waiting until they have been handled, so the window's delivery progress is fed
// by them alone.
#include "mail/UMailThread.h"

#include <QDateTime>
#include <QObject>
#include <QSet>

class DeliveryManager : public QObject
{
    Q_OBJECT

public:
    explicit DeliveryManager(QObject *parent = nullptr);
    // Pauses the workers still running; they free themselves when they end.
    ~DeliveryManager() override;

    // Starts the worker of a recorded issue for its recipients; it frees itself when it
    // ends. Dispatched() and Started() are emitted before it runs.
    void start(int MagIdx, int MagCnt, int recipients, const TMailThread::Settings &settings);
    // Workers started and not yet ended.
    int running() const { return int(m_running.size()); }
    bool isRunning(int MagIdx, int MagCnt) const { return find(MagIdx, MagCnt) != nullptr; }
    // Asks the worker to stop after the mail in hand, leaving the rest to resume
    // (pause) or failing it (cancel). Nothing when the issue has no worker.
    void pause(int MagIdx, int MagCnt);
    void cancel(int MagIdx, int MagCnt);
    // Cancels a delivery that has stopped with recipients left (no worker runs for it): they
    // become failed, and Summary() says so. An error box when another delivery holds the
    // issue or the store cannot be written.
    void cancelStopped(int MagIdx, int MagCnt);
    // Pauses every running worker.
    void stopAll();
    // Runs the caller's events until every worker has ended (or the time is over), so that
    // workers waiting on the user-interface thread are served meanwhile.
    bool waitForAll(int timeoutMs);
    // Closing: pauses every delivery and waits for them to record what they did.
    bool pauseAll(int timeoutMs)
    {
        stopAll();
        return waitForAll(timeoutMs);
    }

Q_SIGNALS:
    // An issue's recipients join the progress total.
    void Dispatched(int recipients);
    void Started(int MagIdx, int MagCnt);
    void MailSent(int count);
    void RepaintStatus();
    // An issue's delivery waits until the moment (invalid: it goes on).
    void Waiting(int MagIdx, int MagCnt, const QDateTime &until);
    void ErrorBox(const QString &text);
    void Summary(const DeliverySummary &summary);
    void Ended();

private:
    TMailThread *find(int MagIdx, int MagCnt) const;

    QSet<TMailThread *> m_running;
};

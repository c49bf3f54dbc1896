#pragma once
// The deliveries under way, owned by the main window (or the command line): starts delivery
// workers, counts them, pauses or cancels one, pauses them all and waits for them when the
// window closes. The workers' signals come out of the manager on the owner's thread; the
// workers never wait for them. One worker's signals come out in the order it sent them,
// each after the slots of the one before have returned (a box opened for an error is closed
// before the summary comes), and its mails reported come out before its summary.
#include "mail/UMailThread.h"

#include <QDateTime>
#include <QObject>
#include <QSet>

#include <functional>
#include <map>

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
    // Workers started whose signals have not all come out yet.
    int running() const { return int(m_running.size()); }
    bool isRunning(int MagIdx, int MagCnt) const { return find(MagIdx, MagCnt) != nullptr; }
    // Asks the worker to stop after the mail in hand, leaving the rest to resume
    // (pause) or failing it (cancel); StopRequested() says so. Nothing when the issue has no
    // worker.
    void pause(int MagIdx, int MagCnt);
    void cancel(int MagIdx, int MagCnt);
    // Cancels a delivery that has stopped with recipients left (no worker runs for it): they
    // become failed, and Summary() says so. An error box when another delivery holds the
    // issue or the store cannot be written.
    void cancelStopped(int MagIdx, int MagCnt);
    // Pauses every running worker.
    void stopAll();
    // Runs the caller's event loop until every worker has ended and its signals have come
    // out, or the time is over; false then. Not from a slot of a worker's own signal: the
    // worker's later signals wait for that slot to return.
    bool waitForAll(int timeoutMs);
    // Closing: pauses every delivery and waits for them to record what they did.
    bool pauseAll(int timeoutMs)
    {
        stopAll();
        return waitForAll(timeoutMs);
    }

Q_SIGNALS:
    // An issue's recipients join the progress total.
    void Dispatched(int recipients, int MagIdx, int MagCnt);
    void Started(int MagIdx, int MagCnt);
    // The user (or closing) asked the worker to stop after the mail in hand.
    void StopRequested(int MagIdx, int MagCnt, bool cancel);
    // count recipients of the issue reached their final state since the last report.
    void MailSent(int count, int MagIdx, int MagCnt);
    void RepaintStatus();
    // An issue's delivery waits until the moment (invalid: it goes on).
    void Waiting(int MagIdx, int MagCnt, const QDateTime &until);
    void ErrorBox(const QString &text);
    void Summary(const DeliverySummary &summary);
    void Ended(int MagIdx, int MagCnt);
    // The last running worker has ended and its signals have come out.
    void AllEnded();

private:
    TMailThread *find(int MagIdx, int MagCnt) const;
    // Runs the worker's steps one after the other, each once the one before has returned,
    // even when a slot opens an event loop of its own meanwhile.
    void inOrder(TMailThread *t, std::function<void()> step);
    void takeReports(TMailThread *t);
    void finished(TMailThread *t);

    struct Feed {
        QList<std::function<void()>> steps;
        bool busy = false;
        bool over = false;
    };
    QSet<TMailThread *> m_running;
    // References stay valid while other workers' feeds come and go.
    std::map<TMailThread *, Feed> m_feeds;
};

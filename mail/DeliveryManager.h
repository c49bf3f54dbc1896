#pragma once
// The deliveries under way, owned by the main window: starts delivery workers, counts them,
// asks them all to stop and waits for them when the window closes. The workers' signals
// come out of the manager on the user-interface thread, with the worker waiting until they
// have been handled, so the window's delivery progress is fed by them alone.
#include "mail/UMailThread.h"

#include <QObject>
#include <QSet>

class DeliveryManager : public QObject
{
    Q_OBJECT

public:
    explicit DeliveryManager(QObject *parent = nullptr);
    // Asks the workers still running to stop; they free themselves when they end.
    ~DeliveryManager() override;

    // Starts the worker of a recorded issue for its recipients; it frees itself when it
    // ends. Dispatched() and Started() are emitted before it runs.
    void start(int MagIdx, int MagCnt, int recipients, const TMailThread::Settings &settings);
    // Workers started and not yet ended.
    int running() const { return int(m_running.size()); }
    // Asks every running worker to stop before its next member.
    void stopAll();
    // Runs the caller's events until every worker has ended (or the time is over), so that
    // workers waiting on the user-interface thread are served meanwhile.
    bool waitForAll(int timeoutMs);

Q_SIGNALS:
    // An issue's recipients join the progress total.
    void Dispatched(int recipients);
    void Started();
    void MailSent(int count);
    void RepaintStatus();
    void ErrorBox(const QString &text);
    void Ended();

private:
    QSet<TMailThread *> m_running;
};

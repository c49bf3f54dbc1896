#pragma once
// The delivery worker: sends one recorded issue (MagIdx, MagCnt) on a thread of its own. It
// holds the delivery lock while it runs, loads what is still to be sent, runs the
// send step with the recipients' fate written to the store group by group, reports progress
// and waits, writes the error log and ends with a summary of the issue.
//
// The worker never touches a window nor the window's counters, and never waits for them: it
// reaches the user-interface thread (or the command line's main thread) only through its
// signals, queued, and its progress is a counter that the receiver takes when it gets round
// to it. DeliveryManager starts and tracks it.
#include "mail/ConnInfo.h"
#include "mail/DeliverySend.h"
#include "mail/DeliverySummary.h"

#include <QDateTime>
#include <QStringList>
#include <QThread>

#include <atomic>
#include <functional>
#include <optional>

class TMailThread : public QThread
{
    Q_OBJECT

public:
    struct Settings {
        // The address check members must pass to be sent to; one that fails is skipped.
        std::function<bool(const QString &)> isValidAddress;
        ConnectOptions connect;
        QString DocDir;  // the error log goes to DocDir + "/エラーログ"
        // For this run only, instead of the stored schedule (the command line's choice).
        std::optional<RetrySchedule> retry;
        // Queued again before sending, once the lock is held: a resend to the failed
        // recipients, and to those whose fate is unknown.
        bool resendFailed = false;
        bool resendUnknown = false;
        // The caller took the lock for this process as it recorded the issue, so that
        // no other process's resume could take the new issue first; the worker releases it.
        bool lockTaken = false;
    };

    TMailThread(int MagIdx, int MagCnt, Settings settings, QObject *parent = nullptr);
    ~TMailThread() override;

    int MagIdx() const { return m_magIdx; }
    int MagCnt() const { return m_magCnt; }

    // Asks the worker to stop after the mail in hand: what is left stays waiting or deferred
    // for a later resume. Any thread may call it; a wait in progress ends at once.
    void requestPause();
    // The same, then every recipient left becomes failed ("配信の中止").
    void requestCancel();

    // The error log's file name for a given moment: "yyyy-mm-dd hh-nn-ss" + "エラー.txt".
    static QString ErrorLogName(const QDateTime &when);
    // Writes the lines (each followed by CR LF, code page 932) into DocDir + "/エラーログ",
    // making the folder when needed; a line break or other control character inside a line
    // is written as a visible escape, so every entry stays one line. Returns the file's path,
    // or empty when writing failed.
    static QString WriteErrorLog(const QString &DocDir, const QStringList &lines, const QDateTime &when);

    // The recipients reported since the last call, for the receiver of ReportsWaiting(); any
    // thread may call it.
    qint64 takeReports();

    // Addresses in a batch mail, and mails between two progress reports.
    static constexpr int kBatchSize = kDeliveryBatchSize;
    static constexpr int kReportEvery = kDeliveryReportEvery;

Q_SIGNALS:
    // Recipients have reached their final state since the last takeReports(). Emitted once
    // until the receiver takes them, however many follow meanwhile: a sender far quicker than
    // the receiver costs it one wake per turn of its event loop, and is never held back.
    void ReportsWaiting();
    // The status bar should be drawn again now.
    void RepaintStatus();
    // The delivery waits (pacing, a retry's time, reopening the connection) until the moment;
    // an invalid moment when it goes on.
    void Waiting(const QDateTime &until);
    // An error box to show, the text being its whole message: a connection that could not
    // be made, a store that could not be read, a record that could not be written, the issue
    // held by another delivery.
    void ErrorBox(const QString &text);
    // How the issue stands now that this run is over; emitted once, before Ended.
    void Summary(const DeliverySummary &summary);
    // The delivery is over (SendFinished from now on, one worker fewer running); emitted
    // once, just before the last RepaintStatus.
    void Ended();

protected:
    void run() override;

private:
    class Clock;
    class Journal;

    DeliveryEnd deliver();
    void report(int count);

    const int m_magIdx;
    const int m_magCnt;
    Settings m_settings;
    std::atomic<bool> m_stop{false};
    std::atomic<bool> m_cancel{false};
    std::atomic<qint64> m_reported{0};
    std::atomic<bool> m_reportWaiting{false};
    std::unique_ptr<Clock> m_clock;
};

#pragma once
// The delivery worker: sends one recorded issue (MagIdx, MagCnt) on a thread of its own. It
// loads the plan from the store, connects, runs the send step, records the outcome
// (completion and after-send update), reports progress and writes the failed addresses to
// an error log.
//
// The worker never touches a window nor the window's counters. It reaches the user-interface
// thread only through its signals, which are connected with Qt::BlockingQueuedConnection so
// that the worker waits until they have been handled. DeliveryManager starts and tracks it.
#include "mail/ConnInfo.h"
#include "mail/DeliverySend.h"

#include <QDateTime>
#include <QStringList>
#include <QThread>

#include <atomic>
#include <functional>

class TMailThread : public QThread
{
    Q_OBJECT

public:
    struct Settings {
        // The address check members must pass to be sent to; one that fails is skipped.
        std::function<bool(const QString &)> isValidAddress;
        ConnectOptions connect;
        QString DocDir;  // the error log goes to DocDir + "/エラーログ"
    };

    TMailThread(int MagIdx, int MagCnt, Settings settings, QObject *parent = nullptr);
    ~TMailThread() override;

    // Asks the worker to stop before its next member; it then sends what it has collected,
    // completes the members it reached and writes its error log. Any thread may call it.
    void requestStop() { m_stop = true; }

    // The error log's file name for a given moment: "yyyy-mm-dd hh-nn-ss" + "エラー.txt".
    static QString ErrorLogName(const QDateTime &when);
    // Writes the lines (each followed by CR LF, code page 932) into DocDir + "/エラーログ",
    // making the folder when needed; a line break or other control character inside a line
    // is written as a visible escape, so every entry stays one line. Returns the file's path,
    // or empty when writing failed.
    static QString WriteErrorLog(const QString &DocDir, const QStringList &lines, const QDateTime &when);

    // Addresses in a batch mail, and mails between two progress reports.
    static constexpr int kBatchSize = kDeliveryBatchSize;
    static constexpr int kReportEvery = kDeliveryReportEvery;

Q_SIGNALS:
    // WM_MAILSENT: count mails (or addresses of a batch) have been sent since the last one.
    void MailSent(int count);
    // The status bar should be drawn again now.
    void RepaintStatus();
    // An error box to show, the text being its whole message: a connection that could not
    // be made, a store that could not be read, a completion that could not be written.
    void ErrorBox(const QString &text);
    // The delivery is over (SendFinished from now on, one worker fewer running); emitted
    // once, just before the last RepaintStatus.
    void Ended();

protected:
    void run() override;

private:
    void deliver();
    void report(int count);

    const int m_magIdx;
    const int m_magCnt;
    Settings m_settings;
    std::atomic<bool> m_stop{false};
};

#pragma once
// The delivery worker: sends one recorded issue (MagIdx, MagCnt) on a thread of its own,
// reports progress to the main window, writes the failed addresses to an error log, marks
// the issue complete and applies its after-send update.
//
// The worker never touches a window. It reaches the user-interface thread through its
// signals, which the main window connects with Qt::BlockingQueuedConnection so that the
// worker waits until they have been handled.
#include "mail/ConnInfo.h"

#include <QDateTime>
#include <QStringList>
#include <QThread>

#include <atomic>
#include <functional>

struct MainState;

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

    // state: the main window's shared counters (SendingCount, SendFinished).
    TMailThread(int MagIdx, int MagCnt, MainState &state, Settings settings, QObject *parent = nullptr);
    ~TMailThread() override;

    // Counts the worker as running (SendingCount) and starts it. Connect the signals first.
    void Start();

    // Asks every running worker to stop before its next member; each then sends what it
    // has collected, completes the members it reached and writes its error log.
    static void RequestStopAll();
    // Runs the caller's events until every worker has wrapped up (or the time is over), so
    // that workers waiting on the user-interface thread are served meanwhile.
    static bool WaitForAll(int timeoutMs);
    static int Running();

    // The error log's file name for a given moment: "yyyy-mm-dd hh-nn-ss" + "エラー.txt".
    static QString ErrorLogName(const QDateTime &when);
    // Writes the lines (each followed by CR LF, code page 932) into DocDir + "/エラーログ",
    // making the folder when needed; a line break or other control character inside a line
    // is written as a visible escape, so every entry stays one line. Returns the file's path,
    // or empty when writing failed.
    static QString WriteErrorLog(const QString &DocDir, const QStringList &lines, const QDateTime &when);

    // Addresses in a batch mail, and mails between two progress reports.
    static constexpr int kBatchSize = 51;
    static constexpr int kReportEvery = 26;

Q_SIGNALS:
    // WM_MAILSENT: count mails (or addresses of a batch) have been sent since the last one.
    void MailSent(int count);
    // The status bar should be drawn again now.
    void RepaintStatus();
    // An error box to show, the text being its whole message: a connection that could not
    // be made, a store that could not be read, a completion that could not be written.
    void ErrorBox(const QString &text);

protected:
    void run() override;

private:
    enum class Mode { Personalised, Individual, Batch };

    void deliver();
    void report(int &pending);
    // Marks the issue complete and applies its after-send update; false with the store's
    // reason when that could not be written (it is rolled back).
    bool complete(const QString &UpdateSQL, bool interrupted, const QList<qint64> &reached, QString *failure);
    void wrapUp();

    const int m_magIdx;
    const int m_magCnt;
    MainState &m_state;
    Settings m_settings;
    std::atomic<bool> m_stop{false};
    bool m_started = false;
};

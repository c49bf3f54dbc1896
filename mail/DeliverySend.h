#pragma once
// The send step of a delivery: the recipients still to be sent to, over an SMTP session it
// opens (and reopens) itself, in the plan's mode, each mail's fate handed to a journal as it
// becomes known. A pause or a cancel takes effect between mails: the mail in flight always
// gets its answer. It touches neither the store nor a thread: the journal, the clock and
// the session opener are given by the caller (the delivery worker's write to the store; a
// test's fakes).
//
// Per recipient: a member deleted since the issue was recorded is skipped ("メンバー削除"); an
// address the check refuses is skipped; a 2xx answer after the mail's
// final "." is sent; a 5xx answer (to RCPT, or to the mail) is failed; a 4xx answer or a
// connection lost before the final "." is deferred and tried again after the retry
// schedule's next wait (failed once the schedule is used up) while the delivery goes on; a
// connection lost after the final "." and before the answer is unknown (never resent on its
// own). A 421 closes the session, which is reopened with back-off. A batch whose server
// refuses some recipients goes to the others.
#include "mail/DeliveryPlan.h"
#include "store/SendSettings.h"
#include "store/SendStates.h"

#include <QDateTime>
#include <QList>
#include <QStringList>

#include <functional>

class SmtpClient;

// Where the send step writes what happened, mail by mail. Each throws StoreError when the
// record cannot be written; the send step then stops before sending anything more.
class DeliveryJournal
{
public:
    virtual ~DeliveryJournal() = default;
    // Before any of them is tried: these members are claimed by this run (a window read ahead,
    // or retries come due), durably, so that a power cut cannot hide that they may have been
    // tried.
    virtual void reserve(const QList<qint64> &members) { Q_UNUSED(members); }
    // Just before the mail goes out: these members are being sent to.
    virtual void sending(const QList<qint64> &members) = 0;
    // Right after the server's answer: the outcomes (also skipped members, and deferred ones
    // with their next try).
    virtual void record(const QList<SendResult> &results) = 0;
    // Claimed or marked members that no mail was tried for: as they were before (waiting, or
    // deferred with their reply and next try).
    virtual void release(const QList<qint64> &members) { Q_UNUSED(members); }
};

// Time as the send step sees it; a test's clock moves only when waited on.
class DeliveryClock
{
public:
    virtual ~DeliveryClock() = default;
    virtual QDateTime now() = 0;
    // Waits until the moment; false as soon as the delivery is asked to stop (pause or
    // cancel), true when the moment has come.
    virtual bool waitUntil(const QDateTime &until) = 0;
};

struct DeliverySendOptions {
    // The address check members must pass to be sent to (empty: holding "@").
    std::function<bool(const QString &)> isValidAddress;
    // Opens the session (connect, greeting, EHLO, and the POP3 login first when set); false
    // with the reason in *failure. Called at the start and after every lost connection.
    std::function<bool(SmtpClient &, QString *failure)> connect;
    // Asked between mails; once true the step records what it has, quits and returns.
    std::function<bool()> stopRequested;
    // Progress: count recipients have reached their final state for this run (sent, failed,
    // skipped or unknown), reported as each mail's answer is recorded. A deferred recipient is
    // counted once, when its last try ends.
    std::function<void(int count)> report;
    // The step waits (pacing, a retry's back-off, reopening a connection) until this moment;
    // called again with an invalid moment when the wait is over.
    std::function<void(const QDateTime &until)> waiting;
    DeliveryJournal *journal = nullptr;
    DeliveryClock *clock = nullptr;  // nullptr: the system clock, waits that cannot be stopped
    RetrySchedule retry;
    Pacing pacing;
};

struct DeliveryOutcome {
    SendStateCounts counts;   // what this run recorded (deferred: still deferred at the end)
    QStringList log;          // the error log's lines, in the order they arose
    bool stopped = false;     // asked to stop; the rest stays waiting or deferred
    QString readFailure;      // a recipient could not be read; the rest stays as it was
    QString connectFailure;   // the session could not be (re)opened, retries used up
    QString journalFailure;   // the record could not be written; nothing more was sent
    int unreported = 0;       // recipients settled and not reported (always 0 at the end)
};

// Valid addresses in a batch mail; mails between two of the pacing's pauses between groups;
// recipients claimed at once (one commit that waits for the disk for each window).
constexpr int kDeliveryBatchSize = 51;
constexpr int kDeliveryReportEvery = 26;
constexpr int kDeliveryReserveWindow = 512;

// Sends to every recipient the plan still has, retrying deferred ones as their time comes,
// until none is left to send, the step is asked to stop, or the session cannot be reopened;
// then quits the session. The first connect is made here too: when it fails, nothing is
// recorded and outcome.connectFailure says why.
DeliveryOutcome SendDelivery(SmtpClient &smtp, DeliveryPlan &plan, const DeliverySendOptions &options);

#pragma once
// The send step of a delivery: every mail of a plan over a connected SMTP client, in the
// plan's mode, with progress reports and a stop flag. It touches neither the store nor a
// thread; what happened comes back as an outcome for the caller to record.
#include "mail/DeliveryPlan.h"

#include <QDateTime>
#include <QList>
#include <QStringList>

#include <atomic>
#include <functional>

class SmtpClient;

struct DeliveryOutcome {
    struct Failure {
        QString address;
        QString reply;  // the client's error text for the mail that carried the address
    };
    QList<qint64> reached;   // every recipient the delivery got to, sent or not
    QList<qint64> sent;      // recipients whose mail (or batch) went out
    QList<Failure> failed;   // addresses whose mail failed, in order
    QStringList log;         // the error log's lines, in the order they arose
    bool interrupted = false;  // stopped, or a recipient could not be read
    QString readFailure;     // why a recipient could not be read; empty when all were
    int unreported = 0;      // mails or addresses sent since the last progress report
};

struct DeliverySendOptions {
    // The address check members must pass to be sent to (empty: holding "@"); one that fails
    // is skipped without a word.
    std::function<bool(const QString &)> isValidAddress;
    // Asked before each member; once set, the delivery sends what it has collected and ends.
    const std::atomic<bool> *cancel = nullptr;
    // Progress: count mails (or addresses of a batch) have gone out since the last report.
    std::function<void(int count)> report;
    // The moment written into each mail's Date field; the date of the first call is the
    // day used for personalisation. Empty: the clock.
    std::function<QDateTime()> now;
};

// Addresses in a batch mail, and mails between two progress reports.
constexpr int kDeliveryBatchSize = 51;
constexpr int kDeliveryReportEvery = 26;

// Sends to every recipient of the plan, then closes the session (QUIT). The mails still
// unreported are left in outcome.unreported for the report that follows the completion.
DeliveryOutcome SendDelivery(SmtpClient &smtp, DeliveryPlan &plan, const DeliverySendOptions &options);

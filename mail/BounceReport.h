#pragma once
// Delivery reports: RFC 3464 multipart/report; report-type=delivery-status, and the common
// plain-text bounces (qmail's, and the Postfix, Exim and Sendmail kinds that quote the failed
// address and an SMTP code). A report tells which addresses failed, whether for good.
#include "mail/InboundMail.h"

#include <QList>
#include <QString>

#include <optional>

struct BouncedRecipient {
    QString address;
    bool hard = false;   // a permanent failure (5.x.x, or a 5xx reply)
    QString status;      // "5.1.1"; empty when the report gave none
    QString reason;      // the diagnostic as given, on one line, bounded
    bool operator==(const BouncedRecipient &) const = default;
};

namespace BounceReport {

constexpr int kMaxRecipients = 100;
constexpr qsizetype kMaxReason = 300;

// The failed and delayed recipients of a delivery report; nullopt when the message is not
// one. Delayed (Action: delayed) and 4.x.x recipients are soft. Recipients a report names as
// delivered, relayed or expanded are not listed.
std::optional<QList<BouncedRecipient>> read(const InboundPart &mail);

} // namespace BounceReport

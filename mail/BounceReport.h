#pragma once
// Delivery reports: RFC 3464 multipart/report; report-type=delivery-status as real servers
// write it (fields spelled loosely, several recipients, bare SMTP codes), and plain-text
// notices, read address by address with the codes and words they give. A report tells which
// addresses failed and whether for good; whether it is a report at all, and about whose mail,
// is for the caller to decide (InboxMessage).
#include "mail/BounceSeverity.h"
#include "mail/InboundMail.h"

#include <QList>
#include <QString>

#include <optional>

struct BouncedRecipient {
    QString address;
    bool hard = false;   // a permanent failure of the address itself (BounceSeverity)
    QString status;      // "5.1.1", or a bare reply code "553"; empty when the report gave none
    QString reason;      // the diagnostic as given, on one line, bounded
    bool operator==(const BouncedRecipient &) const = default;
};

namespace BounceReport {

constexpr int kMaxRecipients = 100;
constexpr qsizetype kMaxReason = 300;

// Sent by a mail system: a null return path ("Return-Path: <>"), or From's local part
// MAILER-DAEMON or postmaster.
bool fromMailSystem(const InboundPart &mail);
// A multipart/report carrying a (global) delivery-status part.
bool isDeliveryReport(const InboundPart &mail);

// The failed and delayed recipients of a delivery report; nullopt when the message is none:
// an RFC 3464 report, else a plain-text notice from a mail system. Delayed recipients and
// those of a warning notice are soft. Recipients a report names as delivered, relayed or
// expanded are not listed.
std::optional<QList<BouncedRecipient>> read(const InboundPart &mail);
// The same for a plain-text notice whoever sent it (the caller vouches for it otherwise).
std::optional<QList<BouncedRecipient>> readText(const InboundPart &mail);
// What the notice's text says as a whole, for a notice that names no address we can read:
// its status code, its words, a warning (soft), "permanent" (hard); Unknown when nothing.
BounceSeverity textSeverity(const InboundPart &mail);

} // namespace BounceReport

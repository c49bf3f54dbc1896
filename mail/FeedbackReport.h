#pragma once
// Complaint reports (RFC 5965): multipart/report; report-type=feedback-report, whose
// message/feedback-report part gives the kind of complaint and, often, the address our mail
// went to (Original-Rcpt-To). The returned original (message/rfc822 or text/rfc822-headers)
// carries our token; finding that is ReturnedToken's.
#include "mail/InboundMail.h"

#include <QByteArray>
#include <QString>
#include <QStringList>

#include <optional>

struct FeedbackReport {
    QByteArray type;          // Feedback-Type, lower case: "abuse", "fraud", "not-spam" ...
    QStringList recipients;   // Original-Rcpt-To addresses, as given
    QString reason;           // "苦情 (abuse)" and the reporter, for the member's last reason

    bool isAbuse() const { return type == "abuse"; }

    // nullopt when the message is no feedback report.
    static std::optional<FeedbackReport> read(const InboundPart &mail);
};

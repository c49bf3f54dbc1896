#pragma once
// What one message read from the sender's mailbox is, and what it does. classify() reads the
// message alone (no store): an unsubscribe request, a delivery report, a complaint, a
// tokenless request from a reader's own address, or anything else (replies, auto-replies,
// out-of-office notices, forged reports). handle() applies the verdict: the effect and the
// message's id are committed in one transaction (the store's own), so a message read twice
// counts once; the pass over the mailbox decides only what to read and what to delete.
//
// A message counts as a delivery report only when a mail system sent it (null return path,
// From MAILER-DAEMON or postmaster), or it is a multipart/report, or it returns our mail with
// a token we signed. A report with a member's token touches that member alone; one with a
// magazine's token (a mail to hidden recipients) the addresses it names in that magazine; one
// without any token is soft at most, and touches only members a magazine mailed within
// kUnverifiedDays, so it never suspends anybody.
#include "mail/BounceReport.h"
#include "mail/InboundMail.h"
#include "mail/InboxProcess.h"
#include "mail/ReturnedToken.h"

#include <QByteArray>
#include <QDateTime>
#include <QString>

struct InboxVerdict {
    enum class Kind {
        Unsubscribe,         // a request whose token names a member
        ForgedRequest,       // a request whose token does not check out
        Bounce,              // a delivery report (recipients, token)
        Complaint,           // an abuse report about the mail the token names (recipients: Original-Rcpt-To)
        UnmatchedReport,     // a report or complaint that names nobody we can find
        AddressUnsubscribe,  // "unsubscribe" with no token (address: the sender)
        Other,               // anything else, left alone
    };
    Kind kind = Kind::Other;
    ReturnedToken token;                 // the member or magazine our signed token names
    QList<BouncedRecipient> recipients;  // who failed, and how (Bounce, Complaint)
    BounceSeverity overall = BounceSeverity::Unknown;  // what the notice says without an address
    QString address;                     // AddressUnsubscribe: the sender's address
    QString reason;                      // Complaint: for the member's record
};

namespace InboxMessage {

constexpr int kUnverifiedDays = 30;

// The words a reader writes as the whole Subject to leave a list without a token.
bool isPlainUnsubscribe(const QString &subject);

// What the message is. key: the store's unsubscribe key (empty: no token is ever genuine).
InboxVerdict classify(const InboundPart &mail, const QByteArray &key);

enum class Disposition {
    Handled,  // its effect is committed: the message may be deleted
    Left,     // nothing to do with it: it stays in the mailbox (and is not read again)
};

// Applies the message's effect for the mailbox (its identity) and the message's id, counting
// it in summary. key: the store's unsubscribe key. Throws StoreError.
Disposition handle(const InboundPart &mail, const QString &mailbox, const QByteArray &uidl, const QByteArray &key,
                   InboxSummary &summary);

} // namespace InboxMessage

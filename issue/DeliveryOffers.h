#pragma once
// What the window offers for issues whose delivery has not ended well: resuming the ones
// left open, sending again to the failed (and, on request, the unknown) recipients, and the
// recipients view that shows where each one stands. Plain texts and decisions over the
// per-recipient records; the window asks, then calls SendStates and starts the delivery.
#include "store/SendStates.h"

#include <QList>
#include <QString>

namespace DeliveryOffers {

// The recipients a resumed delivery still sends to: waiting and deferred. A killed run's
// "sending" recipients become unknown when the delivery takes the issue, and unknown ones are
// sent again only when the user asks.
qint64 resumeCount(const SendStateCounts &counts);
// Something is left for a resume (it may be only a killed run's recipients to settle).
bool canResume(const SendStateCounts &counts);
// Failed or unknown recipients that a resend could queue again.
bool canResend(const SendStateCounts &counts);

// "未送信 N 件、保留 N 件、結果不明 N 件"; the killed run's "sending" recipients count as
// unknown, which is what they become.
QString leftText(const SendStateCounts &counts);

// An unfinished issue that a live delivery (another process, typically) holds.
struct HeldIssue {
    IssueStateRow issue;
    SendLockHolder holder;
};

// The start-up question: one line per issue (magazine, number, subject, what is left), the
// issues being delivered elsewhere with who delivers them and since when, and a word on the
// unknown recipients when there are any. Long lists are cut after a screenful.
QString resumeQuestion(const QList<IssueStateRow> &issues, const QList<HeldIssue> &held = {});

// The resend questions: the counts first, then whether to include the unknown ones.
QString resendQuestion(const SendStateCounts &counts);
QString resendUnknownQuestion(qint64 unknown);

// One line of the recipients view: "name <address>" (the member's number when the member has
// been deleted since), the state, and for a deferred, failed or unknown recipient the
// server's last reply (tries and next try for deferred). A reply is kept to one line of
// bounded length, whatever the server sent.
QString recipientLine(const SendStateRow &row);

} // namespace DeliveryOffers

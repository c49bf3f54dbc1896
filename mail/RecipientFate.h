#pragma once
// What one recipient's share of an SMTP transaction comes to: sent, failed for good, worth
// another try, or unknown (the mail may have gone). The retry schedule is applied by the
// caller: a deferred recipient whose tries are used up fails.
#include "mail/SmtpClient.h"
#include "store/SendStates.h"

struct RecipientFate {
    SendState state = SendState::Sent;
    QString reply;
};

// `index` is the recipient's place in the transaction's envelope.
RecipientFate RecipientFateOf(const SmtpTransaction &t, qsizetype index);

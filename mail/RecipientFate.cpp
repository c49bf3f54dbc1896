#include "mail/RecipientFate.h"

namespace {

bool permanent(int code)
{
    return code >= 500 && code <= 599;
}

} // namespace

RecipientFate RecipientFateOf(const SmtpTransaction &t, qsizetype index)
{
    if (t.local)
        return {SendState::Failed, t.reply};
    const SmtpTransaction::Recipient rcpt = index >= 0 && index < t.recipients.size() ? t.recipients.at(index)
                                                                                       : SmtpTransaction::Recipient{};
    // Refused in the envelope: its own answer decides, whatever became of the others.
    if (rcpt.code != 0 && !rcpt.accepted())
        return {permanent(rcpt.code) ? SendState::Failed : SendState::Deferred, rcpt.reply};
    if (t.accepted())
        return {SendState::Sent, t.reply};
    if (t.lost)
        return {t.afterDot && rcpt.accepted() ? SendState::Unknown : SendState::Deferred, t.reply};
    // A reply that is not SMTP, or a session step that failed, is no verdict on the mail.
    return {permanent(t.code) && !t.session ? SendState::Failed : SendState::Deferred, t.reply};
}

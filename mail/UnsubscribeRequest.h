#pragma once
// An unsubscribe request is a mail whose Subject, decoded, is "unsubscribe TOKEN" (the form
// the List-Unsubscribe mailto link gives it). Whether the token is genuine is the
// token's own check (UnsubscribeToken::parse); this only finds it.
#include "mail/InboundMail.h"

#include <QString>

#include <optional>

namespace UnsubscribeRequest {

// The token of an unsubscribe request; nullopt when the mail is none. The word is matched
// without case and with surrounding space trimmed; "Re:" or anything else before it makes
// it no request.
std::optional<QString> token(const InboundPart &mail);

} // namespace UnsubscribeRequest

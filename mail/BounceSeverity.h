#pragma once
// Whether a failed delivery is for good or may pass later. Hard: the address or its domain
// does not exist or is closed. Soft: a full mailbox, a policy refusal, a delay, a fault of
// either mail system. From RFC 3463 status codes and RFC 5321 reply codes; where a code says
// nothing more specific, the words of the notice decide (BouncePhrases).
#include <QString>

enum class BounceSeverity { Unknown, Soft, Hard };

namespace BounceSeverityOf {

// "5.1.1" and the like (RFC 3463 section 3). Unknown for a code whose detail is "other"
// (X.0.0, 5.2.0, 5.4.0 ...) or that is no failure: the caller goes on to the reply code or the words.
BounceSeverity status(const QString &code);
// A three-digit SMTP reply (RFC 5321 section 4.2.1); text: the words that came with it.
BounceSeverity reply(int code, const QString &text);

} // namespace BounceSeverityOf

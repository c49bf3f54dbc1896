#pragma once
// The envelope sender that names its member: local+TOKEN@domain, where TOKEN is the member's
// signed unsubscribe token. A bounce is sent back to the envelope sender, so the address it
// arrives at tells which member's mail failed, whatever the reporting server wrote.
#include "mail/UnsubscribeToken.h"

#include <QByteArray>
#include <QString>

#include <optional>

namespace ReturnPath {

// local+TOKEN@domain for the member; the plain return path when the result would pass the
// 64 characters a local part may have.
QString forMember(const QString &returnPath, const QByteArray &key, int magIdx, int userIdx);

// The token of an address of the form local+TOKEN@domain, in the lower case tokens are made
// in (some servers fold the local part); empty when the address has none.
QString tokenIn(const QString &address);

// The member an address of the form local+TOKEN@domain names, when local@domain is the return
// path (letters compared without case, as mail servers do) and the token checks out; nullopt
// for anything else.
std::optional<UnsubscribeToken::Member> memberOf(const QString &returnPath, const QByteArray &key,
                                                 const QString &address);

} // namespace ReturnPath

#pragma once
// Whose mail a returned message is about, by the signed token our mails carry: in the
// original a report returns (message/rfc822, text/rfc822-headers, or quoted as text: our own
// field or the List-Unsubscribe links), or in the plus address the report was delivered to
// ("local+TOKEN@domain" in Delivered-To, X-Original-To or To). Only a token whose signature
// checks out counts; the report's own header fields are never searched, so a sender can name
// nobody but through a token we signed.
#include "mail/InboundMail.h"
#include "mail/UnsubscribeToken.h"

#include <QByteArray>

#include <optional>

struct ReturnedToken {
    std::optional<UnsubscribeToken::Member> member;  // a member's mail
    std::optional<int> magazine;                     // a mail to hidden recipients of this magazine

    bool found() const { return member.has_value() || magazine.has_value(); }
    bool operator==(const ReturnedToken &) const = default;

    // The first genuine token; a member's token before a magazine's. Nothing found without a key.
    static ReturnedToken find(const InboundPart &mail, const QByteArray &key);
};

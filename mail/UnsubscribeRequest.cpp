#include "mail/UnsubscribeRequest.h"

#include <QRegularExpression>

namespace UnsubscribeRequest {

std::optional<QString> token(const InboundPart &mail)
{
    // The token is digits, "-" and hex digits; anything else in its place is no request of
    // ours (the token's own check then decides whether it is genuine).
    static const QRegularExpression request(QStringLiteral("^\\s*unsubscribe\\s+([0-9A-Za-z-]{1,200})\\s*$"),
                                            QRegularExpression::CaseInsensitiveOption);
    const auto m = request.match(mail.text("Subject"));
    if (!m.hasMatch())
        return std::nullopt;
    return m.captured(1);
}

} // namespace UnsubscribeRequest

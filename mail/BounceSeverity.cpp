#include "mail/BounceSeverity.h"

#include "mail/BouncePhrases.h"

#include <QStringList>

namespace BounceSeverityOf {

BounceSeverity status(const QString &code)
{
    const QStringList parts = code.trimmed().split(u'.');
    if (parts.size() != 3)
        return BounceSeverity::Unknown;
    bool ok1 = false, ok2 = false;
    const int subject = parts[1].toInt(&ok1);
    const int detail = parts[2].toInt(&ok2);
    if (!ok1 || !ok2)
        return BounceSeverity::Unknown;
    if (parts[0] == u"4")
        return BounceSeverity::Soft;  // section 3.1: persistent transient failure
    if (parts[0] != u"5")
        return BounceSeverity::Unknown;
    switch (subject) {
    case 1:  // addressing status: bad mailbox, bad system, bad syntax, moved, no mail accepted
        return detail == 0 ? BounceSeverity::Unknown : BounceSeverity::Hard;
    case 2:  // mailbox status
        if (detail == 1)
            return BounceSeverity::Hard;  // mailbox disabled
        if (detail == 2 || detail == 3)
            return BounceSeverity::Soft;  // full, message too big for it
        return BounceSeverity::Unknown;
    case 4:  // network and routing
        if (detail == 4)
            return BounceSeverity::Hard;  // unable to route: the domain has no mail host
        return detail == 0 ? BounceSeverity::Unknown : BounceSeverity::Soft;
    case 3:  // the receiving system's trouble
    case 5:  // protocol
    case 6:  // content
    case 7:  // policy: a refusal of this sender or this mail, not a closed address
        return BounceSeverity::Soft;
    default:
        return BounceSeverity::Unknown;
    }
}

BounceSeverity reply(int code, const QString &text)
{
    if (code >= 400 && code < 500)
        return BounceSeverity::Soft;
    if (code < 500 || code >= 600)
        return BounceSeverity::Unknown;
    if (code == 552)
        return BounceSeverity::Soft;  // storage exceeded
    // 550, 551, 553, 554 and the rest are given for a missing mailbox as well as for a
    // refusal of this mail; the words decide, and without any a permanent reply is taken as one.
    const BounceSeverity said = BouncePhrases::severity(text);
    return said == BounceSeverity::Unknown ? BounceSeverity::Hard : said;
}

} // namespace BounceSeverityOf

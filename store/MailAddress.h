#pragma once
// The one check of a mail address's form, shared by the member records and the SMTP session.
#include <QString>

// One Mailbox of RFC 5321 section 4.1.2 and nothing else: a dot-atom-like local part, "@",
// a host name of letters, digits and hyphens, ASCII only, within the length limits of
// section 4.5.3.1. Anything that could add to the envelope (angle brackets, spaces,
// commas, parameters, line breaks) fails. Dots may stand anywhere in the local part,
// as in the older mobile-phone addresses that are still delivered.
bool IsPlainAddress(const QString &address);

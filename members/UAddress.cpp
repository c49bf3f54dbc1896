#include "members/UAddress.h"

#include "store/MailAddress.h"

#include <QRegularExpression>

bool IsValidAddress(const QString &text)
{
    if (!IsPlainAddress(text))
        return false;
    // A member's address also needs a domain under a top-level name of letters.
    const qsizetype dot = text.lastIndexOf(u'.');
    if (dot < text.indexOf(u'@'))
        return false;
    for (const QChar c : QStringView(text).mid(dot + 1))
        if (!((c >= u'a' && c <= u'z') || (c >= u'A' && c <= u'Z')))
            return false;
    return true;
}

AddressText ParseAddressText(const QString &text)
{
    // The first group is everything up to the "@" that is not ":", "^", "[" or "<", so a
    // "mailto:" prefix or a name before "<" stays out of the address; the address ends at
    // the last letter, leaving a closing "]" or ">" behind.
    static const QRegularExpression re(QStringLiteral("([^\\:^\\[^<]+@)([a-z0-9-\\.]+)([a-z]+)[\\]>]*"),
                                       QRegularExpression::CaseInsensitiveOption);
    const QRegularExpressionMatch m = re.match(text);
    if (m.hasMatch())
        return {QString(), m.captured(1) + m.captured(2) + m.captured(3)};
    return {text, QString()};
}

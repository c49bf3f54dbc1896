#include "members/UAddress.h"

#include "store/Codec.h"

#include <QRegularExpression>

bool IsValidAddress(const QString &text)
{
    static const QRegularExpression re(QStringLiteral("(.+)@([a-z0-9-]+\\.)+([a-z]+)"),
                                       QRegularExpression::CaseInsensitiveOption);
    return re.match(text).hasMatch();
}

bool IsSingleByteText(const QString &text)
{
    int unmappable = 0;
    const QByteArray bytes = Codec::toCp932(text, &unmappable);
    return unmappable == 0 && bytes.size() == text.size();
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

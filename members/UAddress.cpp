#include "members/UAddress.h"

#include "store/Codec.h"

#include <QRegularExpression>

namespace {

// The limits of a path's local part and of a whole address (RFC 5321 4.5.3.1).
constexpr qsizetype kMaxLocalPart = 64;
constexpr qsizetype kMaxAddress = 254;

} // namespace

bool IsValidAddress(const QString &text)
{
    // ASCII classes written out rather than a case-insensitive match: under Unicode case
    // folding the Kelvin sign would pass for "k" and the long s for "s".
    static const QRegularExpression re(QRegularExpression::anchoredPattern(
        QStringLiteral("[A-Za-z0-9!#$%&'*+/=?^_`{|}~.-]+@([A-Za-z0-9-]+\\.)+[A-Za-z]+")));
    if (text.size() > kMaxAddress || text.indexOf(QLatin1Char('@')) > kMaxLocalPart)
        return false;
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

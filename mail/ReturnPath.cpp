#include "mail/ReturnPath.h"

namespace {

constexpr qsizetype kMaxLocalPart = 64;
constexpr qsizetype kMaxAddress = 254;

} // namespace

namespace ReturnPath {

QString forMember(const QString &returnPath, const QByteArray &key, int magIdx, int userIdx)
{
    const qsizetype at = returnPath.lastIndexOf(QLatin1Char('@'));
    if (at <= 0 || key.isEmpty())
        return returnPath;
    const QString local = returnPath.left(at) + QLatin1Char('+') + UnsubscribeToken::make(key, magIdx, userIdx);
    if (local.size() > kMaxLocalPart)
        return returnPath;
    return local + returnPath.mid(at);
}

QString tokenIn(const QString &address)
{
    if (address.size() > kMaxAddress)
        return {};
    const qsizetype at = address.lastIndexOf(QLatin1Char('@'));
    const qsizetype plus = at > 0 ? QStringView(address).left(at).indexOf(QLatin1Char('+')) : -1;
    if (plus <= 0)
        return {};
    return address.mid(plus + 1, at - plus - 1).toLower();
}

std::optional<UnsubscribeToken::Member> memberOf(const QString &returnPath, const QByteArray &key,
                                                 const QString &address)
{
    if (returnPath.isEmpty() || key.isEmpty() || address.size() > kMaxAddress)
        return std::nullopt;
    const qsizetype pathAt = returnPath.lastIndexOf(QLatin1Char('@'));
    const qsizetype at = address.lastIndexOf(QLatin1Char('@'));
    if (pathAt <= 0 || at <= 0)
        return std::nullopt;
    const QString token = tokenIn(address);
    if (token.isEmpty())
        return std::nullopt;
    const qsizetype plus = address.indexOf(QLatin1Char('+'));
    if (QStringView(address).left(plus).compare(QStringView(returnPath).left(pathAt), Qt::CaseInsensitive) != 0
        || QStringView(address).mid(at).compare(QStringView(returnPath).mid(pathAt), Qt::CaseInsensitive) != 0)
        return std::nullopt;
    return UnsubscribeToken::parse(key, token);
}

} // namespace ReturnPath

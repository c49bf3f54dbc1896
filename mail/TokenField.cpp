#include "mail/TokenField.h"

#include "mail/UnsubscribeToken.h"

namespace {

QByteArray line(const QString &token)
{
    return QByteArray(TokenField::kName) + ": " + token.toLatin1() + "\r\n";
}

} // namespace

namespace TokenField {

QByteArray member(const QByteArray &key, int magIdx, int userIdx)
{
    return key.isEmpty() ? QByteArray() : line(UnsubscribeToken::make(key, magIdx, userIdx));
}

QByteArray batch(const QByteArray &key, int magIdx)
{
    return key.isEmpty() ? QByteArray() : line(UnsubscribeToken::makeMagazine(key, magIdx));
}

} // namespace TokenField

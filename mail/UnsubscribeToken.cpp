#include "mail/UnsubscribeToken.h"

#include <QMessageAuthenticationCode>
#include <QStringList>

namespace UnsubscribeToken {

namespace {

// 96 bits of HMAC-SHA256: far beyond guessing by mail, and short enough for a Subject.
constexpr int kHashHexChars = 24;
constexpr int kMaxTokenChars = 64;

QByteArray hashHex(const QByteArray &key, int magIdx, int userIdx)
{
    const QByteArray message = "unsubscribe:" + QByteArray::number(magIdx) + ':' + QByteArray::number(userIdx);
    return QMessageAuthenticationCode::hash(message, key, QCryptographicHash::Sha256).toHex().left(kHashHexChars);
}

bool number(const QString &text, int *value)
{
    if (text.isEmpty() || text.size() > 9)
        return false;
    for (const QChar c : text)
        if (c < u'0' || c > u'9')
            return false;
    *value = text.toInt();
    return true;
}

} // namespace

QString make(const QByteArray &key, int magIdx, int userIdx)
{
    return QString::number(magIdx) + u'-' + QString::number(userIdx) + u'-'
        + QString::fromLatin1(hashHex(key, magIdx, userIdx));
}

std::optional<Member> parse(const QByteArray &key, const QString &token)
{
    if (key.isEmpty() || token.size() > kMaxTokenChars)
        return std::nullopt;
    const QStringList parts = token.split(u'-');
    Member m;
    if (parts.size() != 3 || !number(parts[0], &m.magIdx) || !number(parts[1], &m.userIdx)
        || parts[2].size() != kHashHexChars)
        return std::nullopt;
    const QByteArray expected = hashHex(key, m.magIdx, m.userIdx);
    const QByteArray given = parts[2].toLatin1();
    // Compared in full whatever differs first, so the time taken tells nothing of the hash.
    int diff = 0;
    for (int i = 0; i < kHashHexChars; ++i)
        diff |= expected.at(i) ^ given.at(i);
    if (diff != 0)
        return std::nullopt;
    return m;
}

} // namespace UnsubscribeToken

#include "mail/UnsubscribeToken.h"

#include <QMessageAuthenticationCode>
#include <QStringList>

namespace UnsubscribeToken {

namespace {

// 96 bits of HMAC-SHA256: far beyond guessing by mail, and short enough for a Subject.
constexpr int kHashHexChars = 24;
constexpr int kMaxTokenChars = 64;

QByteArray signature(const QByteArray &key, const QByteArray &message)
{
    return QMessageAuthenticationCode::hash(message, key, QCryptographicHash::Sha256).toHex().left(kHashHexChars);
}

QByteArray hashHex(const QByteArray &key, int magIdx, int userIdx)
{
    return signature(key, "unsubscribe:" + QByteArray::number(magIdx) + ':' + QByteArray::number(userIdx));
}

// Another message than any member's, so neither token passes for the other.
QByteArray magazineHashHex(const QByteArray &key, int magIdx)
{
    return signature(key, "magazine:" + QByteArray::number(magIdx));
}

// Compared in full whatever differs first, so the time taken tells nothing of the hash.
bool sameHash(const QByteArray &expected, const QString &given)
{
    if (given.size() != kHashHexChars)
        return false;
    const QByteArray bytes = given.toLatin1();
    int diff = 0;
    for (int i = 0; i < kHashHexChars; ++i)
        diff |= expected.at(i) ^ bytes.at(i);
    return diff == 0;
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
        || !sameHash(hashHex(key, m.magIdx, m.userIdx), parts[2]))
        return std::nullopt;
    return m;
}

QString makeMagazine(const QByteArray &key, int magIdx)
{
    return QString::number(magIdx) + u'-' + QString::fromLatin1(magazineHashHex(key, magIdx));
}

std::optional<int> parseMagazine(const QByteArray &key, const QString &token)
{
    if (key.isEmpty() || token.size() > kMaxTokenChars)
        return std::nullopt;
    const QStringList parts = token.split(u'-');
    int magIdx = 0;
    if (parts.size() != 2 || !number(parts[0], &magIdx) || !sameHash(magazineHashHex(key, magIdx), parts[1]))
        return std::nullopt;
    return magIdx;
}

} // namespace UnsubscribeToken

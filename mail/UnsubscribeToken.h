#pragma once
// The token that lets a member, and only that member, unsubscribe by mail or by the one-click
// URL: the magazine and member numbers with a keyed hash of them, "MagIdx-UserIdx-hash", made
// of digits, '-' and lower-case hex only, so it travels unchanged in a mailto subject, a URL
// query and a Subject line. A mail to hidden recipients names no member: its token
// "MagIdx-hash" (signed apart, so it can never pass for a member's) names the magazine alone.
#include <QByteArray>
#include <QString>

#include <optional>

namespace UnsubscribeToken {

struct Member {
    int magIdx = 0;
    int userIdx = 0;
    bool operator==(const Member &) const = default;
};

QString make(const QByteArray &key, int magIdx, int userIdx);

// The member a token names when its hash is the one the key gives; nullopt for anything else
// (a forged or altered token, another store's key, surrounding text, over-long input).
std::optional<Member> parse(const QByteArray &key, const QString &token);

QString makeMagazine(const QByteArray &key, int magIdx);
// The magazine a magazine token names; nullopt for anything else, a member's token included.
std::optional<int> parseMagazine(const QByteArray &key, const QString &token);

} // namespace UnsubscribeToken

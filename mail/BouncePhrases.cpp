#include "mail/BouncePhrases.h"

#include <QList>
#include <QStringList>

namespace BouncePhrases {

namespace {

constexpr BounceSeverity H = BounceSeverity::Hard;
constexpr BounceSeverity S = BounceSeverity::Soft;

// Words that only a delay notice uses.
const char *const kWarnings[] = {
    "this is a warning message only",
    "will keep trying",
    "will retry",
    "will be retried",
    "still trying",
    "delivery attempts will continue",
    "message is delayed",
    "delivery has been delayed",
    "delivery is delayed",
    "delayed mail",
    "not yet been delivered",
    "do not need to resend",
    "配送を再試行",
    "再送を試みます",
    "配送が遅れて",
    "配信が遅れて",
};

} // namespace

const QList<Phrase> &table()
{
    static const QList<Phrase> all = {
        // Common to most servers (Postfix, Sendmail, Exim, qmail and their kin).
        {"common", "user unknown", H},
        {"common", "unknown user", H},
        {"common", "no such user", H},
        {"common", "no such mailbox", H},
        {"common", "no such recipient", H},
        {"common", "no such address", H},
        {"common", "unknown recipient", H},
        {"common", "recipient unknown", H},
        {"common", "invalid recipient", H},
        {"common", "invalid mailbox", H},
        {"common", "invalid address", H},
        {"common", "mailbox unavailable", H},
        {"common", "mailbox not found", H},
        {"common", "mailbox does not exist", H},
        {"common", "address does not exist", H},
        {"common", "user does not exist", H},
        {"common", "user not exist", H},
        {"common", "does not exist", H},
        {"common", "user not found", H},
        {"common", "recipient not found", H},
        {"common", "recipient address rejected", H},
        {"common", "not a valid mailbox", H},
        {"common", "account disabled", H},
        {"common", "account has been disabled", H},
        {"common", "account is disabled", H},
        {"common", "account closed", H},
        {"common", "account inactive", H},
        {"common", "account expired", H},
        {"common", "mailbox disabled", H},
        {"common", "host unknown", H},
        {"common", "unknown host", H},
        {"common", "host not found", H},
        {"common", "domain not found", H},
        {"common", "no such domain", H},
        {"common", "domain does not exist", H},
        {"common", "unrouteable address", H},
        {"common", "unroutable address", H},
        {"common", "name service error", H},
        {"common", "no mx record", H},
        {"qmail", "no mailbox here by that name", H},
        {"exim", "no such user here", H},
        {"sendmail", "user unknown in local recipient table", H},
        {"common", "mailbox full", S},
        {"common", "mailbox is full", S},
        {"common", "mailbox has exceeded", S},
        {"common", "over quota", S},
        {"common", "quota exceeded", S},
        {"common", "exceeded storage allocation", S},
        {"common", "insufficient system storage", S},
        {"common", "try again later", S},
        {"common", "temporarily", S},
        {"common", "temporary failure", S},
        {"common", "connection timed out", S},
        {"common", "connection refused", S},
        {"common", "deferred", S},
        {"common", "delayed", S},
        {"common", "blocked", S},
        {"common", "blacklisted", S},
        {"common", "spam", S},
        {"common", "policy", S},
        {"common", "message too large", S},
        {"common", "message size exceeds", S},
        {"common", "relay access denied", S},
        // Exchange and Outlook, old and new.
        {"exchange", "the e-mail address you entered couldn't be found", H},
        {"exchange", "the email address you entered couldn't be found", H},
        {"exchange", "the recipient's e-mail address was not found", H},
        {"exchange", "the recipient name is not recognized", H},
        {"exchange", "recipnotfound", H},
        {"exchange", "recipient's mailbox is full", S},
        {"exchange", "the recipient's mailbox is full", S},
        // GroupWise, Lotus and the like.
        {"groupwise", "user not found", H},
        {"groupwise", "undeliverable to the following", H},
        {"notes", "is not listed in domino directory", H},
        {"notes", "is not listed in public name & address book", H},
        // Yahoo, old and new.
        {"yahoo", "this user doesn't have a", H},
        {"yahoo", "user doesn't have a", H},
        {"yahoo", "this account has been disabled or discontinued", H},
        // AOL.
        {"aol", "mailbox not found", H},
        {"aol", "mailbox over quota", S},
        // Other servers with wording of their own (SMTP32, Netscape/iPlanet, SMTPSVC, web mail services).
        {"smtp32", "user mailbox is not known here", H},
        {"smtp32", "mailbox is not known here", H},
        {"netscape", "no such user here", H},
        {"netscape", "invalid recipient", H},
        {"smtpsvc", "the recipient could not be found", H},
        {"webmail", "address not found", H},
        {"webmail", "the email account that you tried to reach does not exist", H},
        {"webmail", "the email account that you tried to reach is disabled", H},
        {"webmail", "the email account that you tried to reach is over quota", S},
        {"webmail", "user is over quota", S},
        {"webmail", "user is terminated", H},
        {"webmail", "user suspended", H},
        // Japanese servers and the mobile carriers' notices.
        {"ja", "宛先不明", H},
        {"ja", "宛先のメールアドレスが存在しません", H},
        {"ja", "宛先アドレスが存在しません", H},
        {"ja", "メールアドレスが存在しません", H},
        {"ja", "存在しないメールアドレス", H},
        {"ja", "ユーザが存在しません", H},
        {"ja", "ユーザーが存在しません", H},
        {"ja", "該当するユーザ", H},
        {"ja", "アカウントが存在しません", H},
        {"ja", "アカウントは無効", H},
        {"ja", "受信者が見つかりません", H},
        {"ja", "ドメインが存在しません", H},
        {"ja", "は存在しません", H},
        {"ja", "メールボックスがいっぱい", S},
        {"ja", "メールボックスの容量", S},
        {"ja", "容量オーバー", S},
        {"ja", "容量を超え", S},
        {"ja", "一時的", S},
        {"ja", "受信拒否", S},
        {"ja", "拒否されました", S},
        {"ja", "迷惑メール", S},
        {"ja-mobile", "指定受信", S},
        {"ja-mobile", "受信設定", S},
        {"ja-mobile", "メール受信を拒否", S},
    };
    return all;
}

BounceSeverity severity(const QString &text)
{
    // Decoded once: every paragraph of every notice is matched against all of them.
    static const QList<std::pair<QString, BounceSeverity>> phrases = [] {
        QList<std::pair<QString, BounceSeverity>> out;
        for (const Phrase &p : table())
            out.append({QString::fromUtf8(p.text), p.severity});
        return out;
    }();
    if (text.isEmpty())
        return BounceSeverity::Unknown;
    BounceSeverity found = BounceSeverity::Unknown;
    for (const auto &[phrase, severity] : phrases) {
        if (!text.contains(phrase, Qt::CaseInsensitive))
            continue;
        if (severity == BounceSeverity::Soft)
            return BounceSeverity::Soft;
        found = BounceSeverity::Hard;
    }
    return found;
}

bool isWarning(const QString &text)
{
    static const QStringList warnings = [] {
        QStringList out;
        for (const char *w : kWarnings)
            out << QString::fromUtf8(w);
        return out;
    }();
    for (const QString &w : warnings)
        if (text.contains(w, Qt::CaseInsensitive))
            return true;
    return false;
}

} // namespace BouncePhrases

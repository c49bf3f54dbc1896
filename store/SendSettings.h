#pragma once
// How deliveries treat the mail server: when a deferred mail is tried again and how fast
// mails may go. Kept in a table of our own (SendSetting: Name, Value), read by every
// delivery and saved by the connection dialog. Missing or unreadable values fall back to the
// defaults, so an older store delivers as before, with retries.
#include <QList>
#include <QString>

#include <optional>

// The waits before each further try of a deferred mail; when they are used up the mail fails.
struct RetrySchedule {
    QList<int> delaysSeconds{60, 300, 900, 3600};

    // "5s,30s,1m,2h" (s, m, h; a bare number is seconds); each between 1 s and 24 h, at most
    // 20 of them. nullopt for anything else.
    static std::optional<RetrySchedule> parse(const QString &text);
    QString text() const;  // the same form, e.g. "1m,5m,15m,1h"
    // The wait after the attempt-th failed try (1-based); nullopt when no try is left.
    std::optional<int> delayAfter(int attempt) const;
    bool operator==(const RetrySchedule &) const = default;
};

// Limits per server; 0 means none.
struct Pacing {
    int perMinute = 0;
    int perHour = 0;
    int perConnection = 0;        // mails on one connection before it is closed and reopened
    int pauseBetweenGroupsMs = 0; // after each batch or group of mails
    bool operator==(const Pacing &) const = default;
};

struct DeliverySettings {
    RetrySchedule retry;
    Pacing pacing;
    bool operator==(const DeliverySettings &) const = default;
};

namespace SendSettings {

void ensureTable();
// Throws StoreError when the store cannot be read.
DeliverySettings load();
// One transaction; throws StoreError and leaves the old values on failure.
void save(const DeliverySettings &settings);

} // namespace SendSettings

#pragma once
// The arithmetic of a delivery's clock: when a deferred mail may be tried again, when the
// next mail may start under the server's limits, and how long to wait before reopening a
// lost connection.
#include "store/SendSettings.h"

#include <QDateTime>

#include <optional>

// The wait in seconds after the attempt-th failed try (1-based); nullopt when the schedule
// has no try left.
std::optional<int> RetryDelaySeconds(const RetrySchedule &schedule, int attempt);

// The least time between the starts of two mails under the per-minute and per-hour limits
// (0: no limit), so that the mails are spread evenly instead of sent in bursts.
qint64 PacingIntervalMs(const Pacing &pacing);

// When the next mail may start, the previous one having started at `previousStart`
// (invalid: at once, which is also what an invalid result means).
QDateTime NextMailStart(const Pacing &pacing, const QDateTime &previousStart);

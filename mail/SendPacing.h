#pragma once
// The arithmetic of a delivery's pace: when the next mail may start under the server's
// limits. The waits of retries come from the schedule itself (RetrySchedule::delayAfter).
#include "store/SendSettings.h"

#include <QDateTime>

// The least time between the starts of two mails under the per-minute and per-hour limits
// (0: no limit), so that the mails are spread evenly instead of sent in bursts.
qint64 PacingIntervalMs(const Pacing &pacing);

// When the next mail may start, the previous one having started at `previousStart`
// (invalid: at once, which is also what an invalid result means).
QDateTime NextMailStart(const Pacing &pacing, const QDateTime &previousStart);

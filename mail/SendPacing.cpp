#include "mail/SendPacing.h"

#include <algorithm>

qint64 PacingIntervalMs(const Pacing &pacing)
{
    qint64 interval = 0;
    if (pacing.perMinute > 0)
        interval = std::max<qint64>(interval, (60 * 1000 + pacing.perMinute - 1) / pacing.perMinute);
    if (pacing.perHour > 0)
        interval = std::max<qint64>(interval, (3600 * 1000 + pacing.perHour - 1) / pacing.perHour);
    return interval;
}

QDateTime NextMailStart(const Pacing &pacing, const QDateTime &previousStart)
{
    const qint64 interval = PacingIntervalMs(pacing);
    if (interval <= 0 || !previousStart.isValid())
        return {};
    return previousStart.addMSecs(interval);
}

#include "store/SendSettings.h"

#include "store/PreparedStatement.h"
#include "store/Database.h"
#include "store/Schema.h"

#include <QStringList>

namespace {

constexpr int kMaxDelays = 20;
constexpr int kMaxDelaySeconds = 24 * 3600;
// Far above any server's limit, so a stored figure can never overflow the spacing sums.
constexpr int kMaxPacing = 1000000;

QString unitText(int seconds)
{
    if (seconds % 3600 == 0)
        return QString::number(seconds / 3600) + QLatin1Char('h');
    if (seconds % 60 == 0)
        return QString::number(seconds / 60) + QLatin1Char('m');
    return QString::number(seconds) + QLatin1Char('s');
}

int pacingValue(const QString &text, int fallback)
{
    bool ok = false;
    const int n = text.trimmed().toInt(&ok);
    return ok && n >= 0 && n <= kMaxPacing ? n : fallback;
}

const char *const kRetry = "RetrySchedule";
const char *const kPerMinute = "PerMinute";
const char *const kPerHour = "PerHour";
const char *const kPerConnection = "PerConnection";
const char *const kPause = "PauseBetweenGroupsMs";

} // namespace

std::optional<RetrySchedule> RetrySchedule::parse(const QString &text)
{
    const QStringList parts = text.split(QLatin1Char(','));
    if (text.trimmed().isEmpty() || parts.size() > kMaxDelays)
        return std::nullopt;
    RetrySchedule r;
    r.delaysSeconds.clear();
    for (QString part : parts) {
        part = part.trimmed();
        if (part.isEmpty() || part.size() > 8)
            return std::nullopt;
        int unit = 1;
        const QChar last = part.back();
        if (last == QLatin1Char('s') || last == QLatin1Char('m') || last == QLatin1Char('h')) {
            unit = last == QLatin1Char('s') ? 1 : last == QLatin1Char('m') ? 60 : 3600;
            part.chop(1);
        }
        if (part.isEmpty())
            return std::nullopt;
        for (const QChar c : part) {
            if (c < QLatin1Char('0') || c > QLatin1Char('9'))
                return std::nullopt;
        }
        const qint64 seconds = part.toLongLong() * unit;
        if (seconds < 1 || seconds > kMaxDelaySeconds)
            return std::nullopt;
        r.delaysSeconds << int(seconds);
    }
    return r;
}

QString RetrySchedule::text() const
{
    QStringList parts;
    for (const int s : delaysSeconds)
        parts << unitText(s);
    return parts.join(QLatin1Char(','));
}

std::optional<int> RetrySchedule::delayAfter(int attempt) const
{
    if (attempt < 1 || attempt > delaysSeconds.size())
        return std::nullopt;
    return delaysSeconds.at(attempt - 1);
}

namespace SendSettings {

void ensureTable()
{
    QSqlDatabase db = Store::connection();
    Schema::ensureIndexes(db);
}

DeliverySettings load()
{
    DeliverySettings d;
    // An older store without the table delivers with the defaults.
    if (Statement().scalar(QStringLiteral("select count(*) from sqlite_master where type = 'table' and name = 'SendSetting'")) == 0)
        return d;
    PreparedStatement s(QStringLiteral("select Name, Value from SendSetting"));
    s.exec();
    while (s.next()) {
        const QString name = s.value(0).toString();
        const QString value = s.value(1).toString().left(1000);
        if (name == QLatin1String(kRetry)) {
            if (const auto r = RetrySchedule::parse(value))
                d.retry = *r;
        } else if (name == QLatin1String(kPerMinute)) {
            d.pacing.perMinute = pacingValue(value, d.pacing.perMinute);
        } else if (name == QLatin1String(kPerHour)) {
            d.pacing.perHour = pacingValue(value, d.pacing.perHour);
        } else if (name == QLatin1String(kPerConnection)) {
            d.pacing.perConnection = pacingValue(value, d.pacing.perConnection);
        } else if (name == QLatin1String(kPause)) {
            d.pacing.pauseBetweenGroupsMs = pacingValue(value, d.pacing.pauseBetweenGroupsMs);
        }
    }
    return d;
}

void save(const DeliverySettings &settings)
{
    Transaction t;
    PreparedStatement s(QStringLiteral("insert or replace into SendSetting (Name, Value) values(?, ?)"));
    const QList<QPair<const char *, QString>> values = {
        {kRetry, settings.retry.text()},
        {kPerMinute, QString::number(settings.pacing.perMinute)},
        {kPerHour, QString::number(settings.pacing.perHour)},
        {kPerConnection, QString::number(settings.pacing.perConnection)},
        {kPause, QString::number(settings.pacing.pauseBetweenGroupsMs)},
    };
    for (const auto &v : values)
        s.run({QString::fromLatin1(v.first), v.second});
    t.commit();
}

} // namespace SendSettings

#include "mail/DeliverySummary.h"

QString DeliverySummaryText(const DeliverySummary &s)
{
    QString head;
    switch (s.end) {
    case DeliveryEnd::Finished:
        head = QStringLiteral("配信が終わりました。");
        break;
    case DeliveryEnd::Paused:
        head = QStringLiteral("配信を一時停止しました。");
        break;
    case DeliveryEnd::Cancelled:
        head = QStringLiteral("配信を中止しました。");
        break;
    case DeliveryEnd::Interrupted:
        head = QStringLiteral("配信を途中で止めました。");
        break;
    case DeliveryEnd::NotStarted:
        head = QStringLiteral("配信を始められませんでした。");
        break;
    }
    const SendStateCounts &c = s.counts;
    QString line;
    if (c.waiting + c.sending > 0)
        line = QStringLiteral("待機 %1 / ").arg(c.waiting + c.sending);
    line += QStringLiteral("送信済 %1 / 保留 %2 / 失敗 %3 / スキップ %4 / 不明 %5")
                .arg(c.sent)
                .arg(c.deferred)
                .arg(c.failed)
                .arg(c.skipped)
                .arg(c.unknown);
    return head + QStringLiteral("\r\n") + line;
}

int DeliveryExitCode(const DeliverySummary &s)
{
    if (s.end == DeliveryEnd::NotStarted)
        return 2;
    return s.counts.sent + s.counts.skipped == s.counts.total() ? 0 : 3;
}

#pragma once
// How a delivery run ended and where its issue stands afterwards: what the window's summary
// box says and what the command line's exit status is.
#include "store/SendStates.h"

#include <QMetaType>
#include <QString>

enum class DeliveryEnd {
    Finished,     // nothing left to send now (every recipient sent, skipped, failed or unknown)
    Paused,       // asked to pause: the rest stays waiting or deferred
    Cancelled,    // asked to cancel: the rest became failed
    Interrupted,  // the connection or the store gave up midway: the rest stays resumable
    NotStarted,   // nothing was sent: the store, the server or the lock refused
};

struct DeliverySummary {
    int MagIdx = 0;
    int MagCnt = 0;
    DeliveryEnd end = DeliveryEnd::Finished;
    SendStateCounts counts;  // the recipients after the run
};
Q_DECLARE_METATYPE(DeliverySummary)

// "配信が終わりました。" (or how it stopped) and a line of the counts:
// "送信済 N / 保留 N / 失敗 N / スキップ N / 不明 N", with "待機 N" first when some wait.
QString DeliverySummaryText(const DeliverySummary &summary);

// The command line's exit status: 0 when every recipient ended sent or skipped, 2 when the
// delivery could not start, 3 otherwise.
int DeliveryExitCode(const DeliverySummary &summary);

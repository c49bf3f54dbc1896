#include "cli/CliDelivery.h"

#include "store/Database.h"
#include "store/HistoryRecords.h"
#include "store/SendStates.h"

#include <QCommandLineParser>

namespace Cli {

namespace {

// The worst of two exit statuses: could not start, then some left, then done.
int worse(int a, int b)
{
    auto rank = [](int code) { return code == kNotStarted ? 2 : code == kSomeLeft ? 1 : 0; };
    return rank(a) >= rank(b) ? a : b;
}

std::optional<IssueStateRow> findIssue(int magIdx, int magCnt)
{
    for (const IssueStateRow &row : SendStates::issues(magIdx))
        if (row.MagCnt == magCnt)
            return row;
    return std::nullopt;
}

// The issue as a delivery takes it. An issue an older build recorded has no per-recipient
// records yet: they are made now, as the window makes them before its first delivery, the
// members its SendComplete flags mark done counting as sent.
std::optional<IssueStateRow> issueToDeliver(int magIdx, int magCnt)
{
    if (std::optional<IssueStateRow> issue = findIssue(magIdx, magCnt))
        return issue;
    if (!ReadHistoryIssue(magIdx, magCnt))
        return std::nullopt;
    Transaction t;
    SendStates::seed(magIdx, magCnt);
    t.commit();
    return findIssue(magIdx, magCnt);
}

int deliver(const QString &magazine, int magCnt, const TMailThread::Settings &settings)
{
    const std::optional<int> magIdx = magazineNamed(magazine);
    if (!magIdx)
        return kRefused;
    if (!ReadHistoryIssue(*magIdx, magCnt)) {
        say(QStringLiteral("そのマガジンの号が見つかりません: %1 第%2号").arg(magazine).arg(magCnt));
        return kRefused;
    }
    const std::optional<IssueStateRow> issue = issueToDeliver(*magIdx, magCnt);
    if (!issue) {
        say(QStringLiteral("%1 第%2号には送信先がありません。").arg(magazine).arg(magCnt));
        return kDone;
    }
    return DeliveryExitCode(deliverIssue(*issue, settings));
}

// Says that the issue is being delivered elsewhere, and by whom.
void sayBusy(const IssueStateRow &row)
{
    const std::optional<SendLockHolder> holder = SendLock::holder(row.MagIdx, row.MagCnt);
    say(QStringLiteral("%1 第%2号はほかの配信が送信中のため、再開しません。").arg(row.MagName).arg(row.MagCnt)
        + (holder ? QStringLiteral("(%1)").arg(SendLockHolderText(*holder)) : QString()));
}

// The open issues are resumed unless a live delivery holds them. Those are named, with who
// delivers them, and make the exit status 2 (the worst there is) after the free ones were
// resumed: a cron job that finds a delivery still running says so instead of saying done.
int resume(bool all, const TMailThread::Settings &settings)
{
    QList<IssueStateRow> issues, busy;
    for (const IssueStateRow &row : SendStates::issues(0)) {
        const bool open = row.counts.open() > 0 || (settings.resendUnknown && row.counts.unknown > 0);
        if (open)
            (row.state == IssueState::Running ? busy : issues) += row;
    }
    if (issues.isEmpty() && busy.isEmpty()) {
        say(QStringLiteral("再開する配信はありません。"));
        return kDone;
    }
    if (issues.size() > 1 && !all) {
        say(QStringLiteral("再開できる号が複数あります。すべて再開するには --all を付けてください:"));
        for (const IssueStateRow &row : issues)
            say(QStringLiteral("  %1 第%2号 (残り %3)").arg(row.MagName).arg(row.MagCnt).arg(row.counts.open()));
        return kRefused;
    }
    for (const IssueStateRow &row : busy)
        sayBusy(row);
    int code = busy.isEmpty() ? kDone : kNotStarted;
    for (const IssueStateRow &row : issues)
        code = worse(code, DeliveryExitCode(deliverIssue(row, settings)));
    return code;
}

} // namespace

void addDeliverOptions(QCommandLineParser &p)
{
    addMagazineOption(p);
    p.addOption({QStringLiteral("issue"), QStringLiteral("号の番号"), QStringLiteral("番号")});
    addRetryOption(p);
}

CommandStart startDeliver(const QCommandLineParser &p)
{
    const std::optional<TMailThread::Settings> settings = deliverySettings(p);
    if (!settings)
        return std::nullopt;
    bool ok = false;
    const int magCnt = p.value(QStringLiteral("issue")).toInt(&ok);
    const QString magazine = p.value(QStringLiteral("magazine"));
    if (magazine.isEmpty() || !ok || magCnt <= 0) {
        say(QStringLiteral("--magazine と --issue (1 以上の番号) を指定してください。"));
        return std::nullopt;
    }
    return [=] { return deliver(magazine, magCnt, *settings); };
}

void addResumeOptions(QCommandLineParser &p)
{
    p.addOption({QStringLiteral("all"), QStringLiteral("再開できる号をすべて再開します。")});
    p.addOption({QStringLiteral("resend-unknown"), QStringLiteral("結果不明のメンバーにも送り直します。")});
    addRetryOption(p);
}

CommandStart startResume(const QCommandLineParser &p)
{
    std::optional<TMailThread::Settings> settings = deliverySettings(p);
    if (!settings)
        return std::nullopt;
    settings->resendUnknown = p.isSet(QStringLiteral("resend-unknown"));
    const bool all = p.isSet(QStringLiteral("all"));
    return [=] { return resume(all, *settings); };
}

} // namespace Cli

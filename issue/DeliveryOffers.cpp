#include "issue/DeliveryOffers.h"

#include <QStringList>

namespace DeliveryOffers {

namespace {

// Issues listed by name in the start-up question; the rest are counted.
constexpr int kListedIssues = 15;
// A server's reply is shown up to this many characters.
constexpr int kReplyChars = 200;

QString oneLine(const QString &text)
{
    // Only a bounded head of whatever the server sent is looked at.
    QString out = text.left(kReplyChars * 4);
    for (QChar &c : out)
        if (c.category() == QChar::Other_Control || c == QChar::LineSeparator || c == QChar::ParagraphSeparator)
            c = QLatin1Char(' ');
    out = out.simplified();
    if (out.size() > kReplyChars)
        out = out.left(kReplyChars) + QStringLiteral("…");
    return out;
}

} // namespace

qint64 resumeCount(const SendStateCounts &counts)
{
    return counts.waiting + counts.deferred;
}

bool canResume(const SendStateCounts &counts)
{
    return counts.open() > 0;
}

bool canResend(const SendStateCounts &counts)
{
    return counts.failed + counts.unknown > 0;
}

QString leftText(const SendStateCounts &counts)
{
    return QStringLiteral("未送信 %1 件、保留 %2 件、結果不明 %3 件")
        .arg(counts.waiting)
        .arg(counts.deferred)
        .arg(counts.unknown + counts.sending);
}

QString resumeQuestion(const QList<IssueStateRow> &issues, const QList<HeldIssue> &held)
{
    const auto named = [](const IssueStateRow &issue) {
        return QStringLiteral("%1 第%2号「%3」").arg(issue.MagName).arg(issue.MagCnt).arg(oneLine(issue.Title));
    };
    QStringList lines;
    lines << QStringLiteral("配信が終わっていない号があります。今すぐ再開しますか？") << QString();
    bool unknown = false;
    for (int i = 0; i < issues.size(); ++i) {
        const IssueStateRow &issue = issues[i];
        unknown = unknown || issue.counts.unknown + issue.counts.sending > 0;
        if (i < kListedIssues)
            lines << named(issue) + QLatin1Char(' ') + leftText(issue.counts);
    }
    if (issues.size() > kListedIssues)
        lines << QStringLiteral("ほか %1 号").arg(issues.size() - kListedIssues);
    if (!held.isEmpty()) {
        lines << QString() << QStringLiteral("次の号はほかの配信が送信中のため、再開しません。");
        for (int i = 0; i < held.size() && i < kListedIssues; ++i)
            lines << named(held[i].issue) + QLatin1Char(' ') + SendLockHolderText(held[i].holder);
        if (held.size() > kListedIssues)
            lines << QStringLiteral("ほか %1 号").arg(held.size() - kListedIssues);
    }
    if (unknown)
        lines << QString()
              << QStringLiteral("結果不明の宛先（届いたかどうか分からないもの）には再送しません。"
                                "再送するときは、履歴の「失敗分の再送」から行ってください。");
    return lines.join(QLatin1Char('\n'));
}

QString resendQuestion(const SendStateCounts &counts)
{
    return QStringLiteral("この号には失敗 %1 件、結果不明 %2 件の宛先があります。\n"
                          "同じ発行番号で再送しますか？")
        .arg(counts.failed)
        .arg(counts.unknown);
}

QString resendUnknownQuestion(qint64 unknown)
{
    return QStringLiteral("結果不明の %1 件も再送しますか？\n"
                          "すでに届いている宛先には、同じメールが二度届きます。")
        .arg(unknown);
}

QString recipientLine(const SendStateRow &row)
{
    // A member deleted since the issue was recorded has neither name nor address left.
    QString line = row.UserAdrs.isEmpty() && row.UserName.isEmpty()
                       ? QStringLiteral("（削除されたメンバー %1）").arg(row.MagUser)
                       : row.UserName + QStringLiteral(" <") + row.UserAdrs + QLatin1Char('>');
    line += QStringLiteral("  ") + SendStateText(row.state);
    switch (row.state) {
    case SendState::Deferred:
        line += QStringLiteral("（%1 回試行").arg(row.attempts);
        if (row.nextTry.isValid())
            line += QStringLiteral("、次回 ") + row.nextTry.toLocalTime().toString(QStringLiteral("yyyy/MM/dd hh:mm"));
        line += QStringLiteral("）");
        [[fallthrough]];
    case SendState::Failed:
    case SendState::Unknown:
        if (!row.reply.isEmpty())
            line += QStringLiteral("  ") + oneLine(row.reply);
        break;
    default:
        break;
    }
    return line;
}

} // namespace DeliveryOffers

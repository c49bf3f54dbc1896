#include "cli/CliStatus.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>

namespace {

const QList<SendState> kShown{SendState::Deferred, SendState::Failed, SendState::Unknown};

QJsonObject countsJson(const SendStateCounts &c)
{
    return QJsonObject{{QStringLiteral("waiting"), c.waiting}, {QStringLiteral("sending"), c.sending},
                       {QStringLiteral("sent"), c.sent},       {QStringLiteral("deferred"), c.deferred},
                       {QStringLiteral("failed"), c.failed},   {QStringLiteral("skipped"), c.skipped},
                       {QStringLiteral("unknown"), c.unknown}};
}

} // namespace

QList<IssueStatus> ReadIssueStatus()
{
    QList<IssueStatus> out;
    for (const IssueStateRow &issue : SendStates::issues(0))
        out += IssueStatus{issue, SendStates::rows(issue.MagIdx, issue.MagCnt, kShown)};
    return out;
}

QByteArray StatusJson(const QList<IssueStatus> &issues)
{
    QJsonArray list;
    for (const IssueStatus &s : issues) {
        QJsonArray recipients;
        for (const SendStateRow &r : s.recipients)
            recipients.append(QJsonObject{
                {QStringLiteral("address"), r.UserAdrs},
                {QStringLiteral("name"), r.UserName},
                {QStringLiteral("state"), SendStateName(r.state)},
                {QStringLiteral("attempts"), r.attempts},
                {QStringLiteral("nextTry"), r.nextTry.isValid() ? r.nextTry.toString(Qt::ISODate) : QString()},
                {QStringLiteral("reply"), r.reply}});
        list.append(QJsonObject{{QStringLiteral("magazine"), s.issue.MagName},
                                {QStringLiteral("MagIdx"), s.issue.MagIdx},
                                {QStringLiteral("issue"), s.issue.MagCnt},
                                {QStringLiteral("title"), s.issue.Title},
                                {QStringLiteral("date"), s.issue.AddDate},
                                {QStringLiteral("state"), IssueStateName(s.issue.state)},
                                {QStringLiteral("counts"), countsJson(s.issue.counts)},
                                {QStringLiteral("recipients"), recipients}});
    }
    return QJsonDocument(QJsonObject{{QStringLiteral("issues"), list}}).toJson(QJsonDocument::Indented);
}

QByteArray StatusText(const QList<IssueStatus> &issues)
{
    QString out;
    for (const IssueStatus &s : issues) {
        const SendStateCounts &c = s.issue.counts;
        out += QStringLiteral("%1 第%2号 %3 [%4] %5\n")
                   .arg(s.issue.MagName)
                   .arg(s.issue.MagCnt)
                   .arg(s.issue.AddDate, IssueStateText(s.issue.state), s.issue.Title);
        out += QStringLiteral("  待機 %1 / 送信中 %2 / 送信済 %3 / 保留 %4 / 失敗 %5 / スキップ %6 / 不明 %7\n")
                   .arg(c.waiting)
                   .arg(c.sending)
                   .arg(c.sent)
                   .arg(c.deferred)
                   .arg(c.failed)
                   .arg(c.skipped)
                   .arg(c.unknown);
        for (const SendStateRow &r : s.recipients)
            out += QStringLiteral("  %1 %2 (%3回) %4\n").arg(SendStateText(r.state), r.UserAdrs).arg(r.attempts).arg(r.reply);
    }
    return out.toUtf8();
}

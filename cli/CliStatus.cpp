#include "cli/CliStatus.h"

#include "store/SendStatePages.h"

#include <QCommandLineParser>
#include <QJsonDocument>
#include <QJsonObject>

#include <algorithm>
#include <cstdio>

namespace {

const QList<SendState> kShown{SendState::Deferred, SendState::Failed, SendState::Unknown};

// Small enough that a page never weighs on memory, large enough that the statements are few.
constexpr int kPage = 1000;

QJsonObject countsJson(const SendStateCounts &c)
{
    return QJsonObject{{QStringLiteral("waiting"), c.waiting}, {QStringLiteral("sending"), c.sending},
                       {QStringLiteral("sent"), c.sent},       {QStringLiteral("deferred"), c.deferred},
                       {QStringLiteral("failed"), c.failed},   {QStringLiteral("skipped"), c.skipped},
                       {QStringLiteral("unknown"), c.unknown}};
}

QString isoOrEmpty(const QDateTime &t)
{
    return t.isValid() ? t.toString(Qt::ISODate) : QString();
}

QJsonValue holderJson(const std::optional<SendLockHolder> &holder)
{
    if (!holder)
        return QJsonValue(QJsonValue::Null);
    return QJsonObject{{QStringLiteral("host"), holder->host},
                       {QStringLiteral("pid"), holder->pid},
                       {QStringLiteral("since"), isoOrEmpty(holder->since)},
                       {QStringLiteral("heartbeat"), isoOrEmpty(holder->heartbeat)}};
}

QByteArray issueText(const IssueStateRow &issue, const std::optional<SendLockHolder> &holder)
{
    const SendStateCounts &c = issue.counts;
    QString out = QStringLiteral("%1 第%2号 %3 [%4] %5\n")
                      .arg(issue.MagName)
                      .arg(issue.MagCnt)
                      .arg(issue.AddDate, IssueStateText(issue.state), issue.Title);
    if (holder)
        out += QStringLiteral("  配信しているのは %1\n").arg(SendLockHolderText(*holder));
    out += QStringLiteral("  待機 %1 / 送信中 %2 / 送信済 %3 / 保留 %4 / 失敗 %5 / スキップ %6 / 不明 %7\n")
               .arg(c.waiting)
               .arg(c.sending)
               .arg(c.sent)
               .arg(c.deferred)
               .arg(c.failed)
               .arg(c.skipped)
               .arg(c.unknown);
    return out.toUtf8();
}

QByteArray recipientText(const SendStateRow &r)
{
    // The reply is the server's text: one line, as recorded, but a line break in it would
    // read as a recipient of its own.
    QString reply = r.reply;
    reply.replace(u'\r', u' ').replace(u'\n', u' ');
    return QStringLiteral("  %1 %2 (%3回) %4\n").arg(SendStateText(r.state), r.UserAdrs).arg(r.attempts).arg(reply).toUtf8();
}

// Lists the issue's recipients in the shown states, at most `limit`, page by page; returns
// how many were listed.
qint64 listRecipients(const IssueStateRow &issue, std::optional<qint64> limit,
                      const std::function<void(const SendStateRow &)> &each)
{
    SendStatePages pages(issue.MagIdx, issue.MagCnt, kShown);
    qint64 listed = 0;
    QList<SendStateRow> page;
    while (!pages.atEnd() && (!limit || listed < *limit)) {
        page.clear();
        pages.read(limit ? int(std::min<qint64>(kPage, *limit - listed)) : kPage, &page);
        for (const SendStateRow &r : std::as_const(page)) {
            if (limit && listed >= *limit)
                break;
            each(r);
            ++listed;
        }
    }
    return listed;
}

} // namespace

QByteArray IssueJsonOpening(const IssueStateRow &issue, const std::optional<SendLockHolder> &holder)
{
    const QJsonObject head{{QStringLiteral("magazine"), issue.MagName},
                           {QStringLiteral("MagIdx"), issue.MagIdx},
                           {QStringLiteral("issue"), issue.MagCnt},
                           {QStringLiteral("title"), issue.Title},
                           {QStringLiteral("date"), issue.AddDate},
                           {QStringLiteral("state"), IssueStateName(issue.state)},
                           {QStringLiteral("holder"), holderJson(holder)},
                           {QStringLiteral("counts"), countsJson(issue.counts)}};
    QByteArray out = QJsonDocument(head).toJson(QJsonDocument::Compact);
    // The object stays open for its recipients, which follow as they are read.
    out.chop(1);
    return out + ",\"recipients\":[";
}

QByteArray RecipientJson(const SendStateRow &r)
{
    return QJsonDocument(QJsonObject{{QStringLiteral("address"), r.UserAdrs},
                                     {QStringLiteral("name"), r.UserName},
                                     {QStringLiteral("state"), SendStateName(r.state)},
                                     {QStringLiteral("attempts"), r.attempts},
                                     {QStringLiteral("nextTry"), isoOrEmpty(r.nextTry)},
                                     {QStringLiteral("reply"), r.reply}})
        .toJson(QJsonDocument::Compact);
}

void WriteStatus(const StatusOptions &options, const StatusSink &out)
{
    const QList<IssueStateRow> issues = SendStates::issues(0);
    if (options.json)
        out("{\"issues\":[");
    bool firstIssue = true;
    for (const IssueStateRow &issue : issues) {
        const std::optional<SendLockHolder> holder =
            issue.state == IssueState::Running ? SendLock::holder(issue.MagIdx, issue.MagCnt) : std::nullopt;
        if (!options.json) {
            out(issueText(issue, holder));
            const qint64 listed = listRecipients(issue, options.limit, [&](const SendStateRow &r) { out(recipientText(r)); });
            const SendStateCounts &c = issue.counts;
            const qint64 more = c.deferred + c.failed + c.unknown - listed;
            if (options.limit && more > 0)
                out(QStringLiteral("  ほか %1 人\n").arg(more).toUtf8());
            continue;
        }
        out((firstIssue ? "\n" : ",\n") + IssueJsonOpening(issue, holder));
        firstIssue = false;
        bool firstRecipient = true;
        listRecipients(issue, options.limit, [&](const SendStateRow &r) {
            out((firstRecipient ? "\n" : ",\n") + RecipientJson(r));
            firstRecipient = false;
        });
        out("]}");
    }
    if (options.json)
        out("\n]}\n");
}

namespace Cli {

void addStatusOptions(QCommandLineParser &p)
{
    p.addOption({QStringLiteral("json"), QStringLiteral("JSON で出力します。")});
    p.addOption({QStringLiteral("limit"), QStringLiteral("号ごとに表示するメンバーの上限(件数はすべて数えます)"),
                 QStringLiteral("人数")});
}

CommandStart startStatus(const QCommandLineParser &p)
{
    StatusOptions options;
    options.json = p.isSet(QStringLiteral("json"));
    if (p.isSet(QStringLiteral("limit"))) {
        bool ok = false;
        const qint64 limit = p.value(QStringLiteral("limit")).toLongLong(&ok);
        if (!ok || limit < 0) {
            say(QStringLiteral("--limit には 0 以上の人数を指定してください。"));
            return std::nullopt;
        }
        options.limit = limit;
    }
    return [options] {
        WriteStatus(options, [](const QByteArray &piece) {
            std::fwrite(piece.constData(), 1, size_t(piece.size()), stdout);
        });
        std::fflush(stdout);
        return kDone;
    };
}

} // namespace Cli

#include "mail/InboxProcess.h"

#include "mail/InboundMail.h"
#include "mail/InboxMessage.h"
#include "store/UnsubscribeKey.h"
#include "store/Database.h"
#include "store/InboxSeen.h"
#include "store/InboxSettings.h"
#include "store/ServerSettings.h"

namespace {

class Pass
{
public:
    Pass(Mailbox &mailbox, InboxSummary &summary)
        : m_mailbox(mailbox), m_summary(summary), m_id(mailbox.identity()),
          m_key(UnsubscribeKey::load())
    {
    }

    // Reads and classifies one message; its effect and id are committed before it returns.
    // False when the server failed (the summary says why).
    bool handle(const MailboxEntry &entry, bool *deleteIt)
    {
        QByteArray bytes;
        QString error;
        if (!m_mailbox.retrieve(entry, &bytes, &error)) {
            m_summary.end = InboxSummary::End::ServerFailed;
            m_summary.error = error;
            return false;
        }
        ++m_summary.read;
        const InboundPart mail = InboundMail::parse(bytes);
        *deleteIt = InboxMessage::handle(mail, m_id, entry.uidl, m_key, m_summary) == InboxMessage::Disposition::Handled;
        return true;
    }

private:
    Mailbox &m_mailbox;
    InboxSummary &m_summary;
    const QString m_id;
    const QByteArray m_key;
};

} // namespace

InboxSummary ProcessInbox(Mailbox &mailbox, const InboxOptions &options, const InboxProgress &progress,
                          const std::atomic<bool> *cancel)
{
    InboxSummary summary;
    QString error;
    if (!mailbox.open(&error)) {
        summary.end = InboxSummary::End::ServerFailed;
        summary.error = error;
        return summary;
    }
    QList<MailboxEntry> entries;
    if (!mailbox.list(&entries, &error)) {
        mailbox.abandon();
        summary.end = InboxSummary::End::ServerFailed;
        summary.error = error;
        return summary;
    }
    summary.listed = int(entries.size());
    int marked = 0;
    bool serverOk = true;
    try {
        const QString id = mailbox.identity();
        QList<QByteArray> present;
        for (const MailboxEntry &e : entries)
            present += e.uidl;
        // Ids gone from the server are forgotten, so the table holds no more than the mailbox.
        InboxSeen::keepOnly(id, present);
        const QHash<QByteArray, InboxSeen::State> seen = InboxSeen::load(id);
        Pass pass(mailbox, summary);
        int done = 0;
        for (const MailboxEntry &entry : entries) {
            if (cancel && cancel->load()) {
                summary.end = InboxSummary::End::Cancelled;
                break;
            }
            const InboxSeen::State state = seen.value(entry.uidl, InboxSeen::State::New);
            bool deleteIt = false;
            if (state == InboxSeen::State::Done) {
                // Committed in an earlier run that ended before its QUIT.
                deleteIt = true;
            } else if (state == InboxSeen::State::New) {
                if (entry.size > options.server.maxMessageBytes) {
                    ++summary.tooLarge;
                } else if (summary.read >= options.maxMessages) {
                    ++summary.postponed;
                } else if (!pass.handle(entry, &deleteIt)) {
                    serverOk = false;
                    break;
                }
            }
            if (deleteIt && !options.keep) {
                if (!mailbox.remove(entry, &error)) {
                    summary.end = InboxSummary::End::ServerFailed;
                    summary.error = error;
                    serverOk = false;
                    break;
                }
                ++marked;
            }
            if (progress)
                progress(++done, summary.listed);
        }
    } catch (const StoreError &e) {
        summary.end = InboxSummary::End::StoreFailed;
        summary.error = e.text();
    }
    if (!serverOk) {
        // Whatever was marked stays: its effect is committed, the next run deletes it.
        mailbox.abandon();
        return summary;
    }
    if (mailbox.close(&error)) {
        summary.deleted = marked;
    } else if (summary.end == InboxSummary::End::Done || summary.end == InboxSummary::End::Cancelled) {
        summary.end = InboxSummary::End::ServerFailed;
        summary.error = error;
    }
    return summary;
}

InboxSummary ProcessInbox(const InboxOptions &options, const MailSocketFactory &factory, const InboxProgress &progress,
                          const std::atomic<bool> *cancel)
{
    const std::unique_ptr<MailSocket> socket = factory ? factory() : makeTcpMailSocket();
    Pop3Mailbox mailbox(*socket, options.server);
    return ProcessInbox(mailbox, options, progress, cancel);
}

std::optional<InboxOptions> InboxOptionsFromStore(QString *error)
{
    const InboxSettings inbox = InboxSettings::load();
    const ServerSettings server = ServerSettings::load();
    InboxOptions options;
    options.server.tls = Pop3Tls(inbox.tls);
    // One choice for every connection: the connection dialog's certificate check.
    options.server.verifyCertificate = server.VerifyCertificate;
    if (inbox.useOwn) {
        options.server.host = inbox.host;
        options.server.port = quint16(inbox.port);
        options.server.user = inbox.user;
        options.server.password = inbox.password;
    } else {
        options.server.host = server.PopHost;
        options.server.port = quint16(server.PopPort > 0 && server.PopPort <= 65535 ? server.PopPort : 0);
        options.server.user = server.PopUser;
        options.server.password = server.PopPassword;
    }
    if (options.server.port == 0)
        options.server.port = options.server.tls == Pop3Tls::Implicit ? 995 : 110;
    if (options.server.host.trimmed().isEmpty()) {
        *error = QStringLiteral("返信メールを受け取るサーバ(POP3)が設定されていません");
        return std::nullopt;
    }
    return options;
}

QString InboxSummary::text() const
{
    QStringList lines;
    switch (end) {
    case End::Done:
        break;
    case End::ServerFailed:
        lines << QStringLiteral("受信サーバとのやり取りに失敗しました: ") + error;
        break;
    case End::StoreFailed:
        lines << QStringLiteral("データベースに書き込めませんでした: ") + error;
        break;
    case End::Cancelled:
        lines << QStringLiteral("途中で中止しました。");
        break;
    }
    lines << QStringLiteral("メールボックスのメール %1 通のうち %2 通を読みました。").arg(listed).arg(read);
    if (addressUnsubscribed > 0)
        lines << QStringLiteral("配信停止 %1 件 (うちトークンなしで差出人のアドレスによる %2 件)")
                     .arg(unsubscribed)
                     .arg(addressUnsubscribed);
    else
        lines << QStringLiteral("配信停止 %1 件").arg(unsubscribed);
    lines << QStringLiteral("削除 %1 件").arg(removed);
    lines << QStringLiteral("不達 %1 件 (宛先不明 %2 件・一時的 %3 件、うち停止 %4 件)")
                 .arg(bounces)
                 .arg(hardBounces)
                 .arg(softBounces)
                 .arg(suspended);
    lines << QStringLiteral("苦情 %1 件 (うち停止 %2 件)").arg(complaints).arg(complaintSuspended);
    if (unmatchedReports > 0)
        lines << QStringLiteral("メンバーに該当しない不達通知・苦情 %1 通 (残した)").arg(unmatchedReports);
    lines << QStringLiteral("不明 %1 通 (残した)").arg(unknown);
    lines << QStringLiteral("偽の解除依頼 %1 通 (残した)").arg(forged);
    if (tooLarge > 0)
        lines << QStringLiteral("大きすぎて読まなかったメール %1 通 (残した)").arg(tooLarge);
    if (postponed > 0)
        lines << QStringLiteral("次回に回したメール %1 通").arg(postponed);
    lines << QStringLiteral("メールボックスから削除したメール %1 通").arg(deleted);
    return lines.join(u'\n');
}

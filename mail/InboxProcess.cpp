#include "mail/InboxProcess.h"

#include "mail/InboundMail.h"
#include "mail/InboxMessage.h"
#include "store/UnsubscribeKey.h"
#include "store/Database.h"
#include "store/InboxSeen.h"
#include "store/InboxSettings.h"
#include "store/ServerSettings.h"

#include <QCryptographicHash>
#include <QDateTime>
#include <QMultiHash>

#include <algorithm>

namespace {

class Pass
{
public:
    Pass(Mailbox &mailbox, InboxSummary &summary)
        : m_mailbox(mailbox), m_summary(summary), m_id(mailbox.identity()),
          m_key(UnsubscribeKey::load())
    {
    }

    // Classifies one message read whole; its effect and key are committed before it returns.
    // Whether it may be deleted.
    bool handle(const MailboxEntry &entry, const QByteArray &bytes)
    {
        ++m_summary.read;
        const InboundPart mail = InboundMail::parse(bytes);
        return InboxMessage::handle(mail, m_id, entry.uidl, m_key, m_summary) == InboxMessage::Disposition::Handled;
    }

private:
    Mailbox &m_mailbox;
    InboxSummary &m_summary;
    const QString m_id;
    const QByteArray m_key;
};

} // namespace

namespace {

// The key a message is remembered under (see store/InboxSeen.h): the id and size as listed,
// and for a message that was read, a digest of its bytes.
QByteArray listedKey(const MailboxEntry &entry)
{
    return entry.uidl + ' ' + QByteArray::number(entry.size);
}

QByteArray readKey(const MailboxEntry &entry, const QByteArray &bytes)
{
    return listedKey(entry) + ' ' + QCryptographicHash::hash(bytes, QCryptographicHash::Sha256).toHex().left(32);
}

// The remembered rows of a mailbox by the id and size their key starts with.
class SeenIndex
{
public:
    void load(const QString &mailbox)
    {
        m_rows.clear();
        for (const InboxSeen::SeenRow &row : InboxSeen::rows(mailbox)) {
            const QList<QByteArray> words = row.key.split(' ');
            // A key of one word comes from a build that keyed by the id alone: such a row
            // may stand for other mail, so it keeps nothing from being read and nothing is
            // deleted on its word; only a message it left alone stays unread.
            if (words.size() == 1 && row.state != InboxSeen::State::Left)
                continue;
            m_rows.insert(words.size() == 1 ? row.key : words[0] + ' ' + words[1], row);
        }
    }
    QList<InboxSeen::SeenRow> of(const QByteArray &listed, const QByteArray &uidl) const
    {
        return m_rows.values(listed) + m_rows.values(uidl);
    }

private:
    QMultiHash<QByteArray, InboxSeen::SeenRow> m_rows;
};

class InboxRun
{
public:
    InboxRun(Mailbox &mailbox, const InboxOptions &options, const InboxProgress &progress,
             const std::atomic<bool> *cancel, InboxSummary &summary)
        : m_mailbox(mailbox), m_options(options), m_progress(progress), m_cancel(cancel), m_summary(summary)
    {
    }

    void run()
    {
        QString error;
        if (!m_mailbox.open(&error))
            return serverFailed(error, false);
        if (!listAndLoad(true))
            return;
        m_id = m_mailbox.identity();
        // Some ten sessions for the biggest mailbox, each at least chunkMessages long: what a
        // session applied is deleted at its end, so a pass cut short keeps most of its work.
        m_chunk = qMax(qMax(1, m_options.chunkMessages), m_summary.listed / 10);
        std::optional<Pass> pass;
        try {
            pass.emplace(m_mailbox, m_summary);
        } catch (const StoreError &e) {
            storeFailed(e);
            finish();
            return;
        }
        m_pass = &*pass;
        for (;;) {
            const Step step = walk();
            if (step == Step::Finished || step == Step::Stopped)
                break;
            // Step::Again: a new session, whose listing is walked from its start.
        }
        m_pass = nullptr;
    }

private:
    enum class Step { Finished, Again, Stopped };

    bool listAndLoad(bool first)
    {
        QString error;
        QList<MailboxEntry> entries;
        if (!m_mailbox.list(&entries, &error)) {
            serverFailed(error, true);
            return false;
        }
        m_entries = entries;
        if (first) {
            m_summary.listed = int(m_entries.size());
            QList<QByteArray> present;
            present.reserve(m_entries.size());
            for (const MailboxEntry &e : std::as_const(m_entries))
                present += e.uidl;
            try {
                // Ids gone from the server are forgotten, so the table holds no more than the mailbox.
                InboxSeen::keepOnly(m_mailbox.identity(), present);
            } catch (const StoreError &e) {
                storeFailed(e);
                finish();
                return false;
            }
        }
        try {
            m_seen.load(m_mailbox.identity());
        } catch (const StoreError &e) {
            storeFailed(e);
            finish();
            return false;
        }
        return true;
    }

    // One walk over the current listing. Messages are told apart by id and size, and by
    // their place among those alike (a server may give two messages one id).
    Step walk()
    {
        QHash<QByteArray, int> alike;
        for (const MailboxEntry &entry : std::as_const(m_entries)) {
            if (m_cancel && m_cancel->load()) {
                m_summary.end = InboxSummary::End::Cancelled;
                return finish();
            }
            const QByteArray listed = listedKey(entry);
            const int place = alike[listed]++;
            int &visited = m_visited[listed];
            if (place < visited)
                continue;
            visited = place + 1;
            std::optional<Step> step;
            try {
                step = visit(entry, listed);
            } catch (const StoreError &e) {
                storeFailed(e);
                return finish();
            }
            if (m_progress)
                m_progress(qMin(++m_done, m_summary.listed), m_summary.listed);
            if (step)
                return *step;
        }
        return finish();
    }

    // Deals with one listed message; a step when the walk cannot go on over this listing.
    std::optional<Step> visit(const MailboxEntry &entry, const QByteArray &listed)
    {
        bool done = false;
        bool left = false;
        bool expiredLeft = false;
        bool unreadable = false;
        const QDateTime now = QDateTime::currentDateTime();
        for (const InboxSeen::SeenRow &row : m_seen.of(listed, entry.uidl)) {
            switch (row.state) {
            case InboxSeen::State::Done:
                done = true;
                break;
            case InboxSeen::State::Left:
                left = true;
                if (m_options.deleteUnknownAfterDays > 0) {
                    const QDateTime seen = QDateTime::fromString(row.seenDate, QStringLiteral("yyyy/MM/dd hh:mm"));
                    if (seen.isValid() && seen.addDays(m_options.deleteUnknownAfterDays) <= now
                        && row.key.count(' ') == 2)
                        expiredLeft = true;
                }
                break;
            case InboxSeen::State::Unreadable:
                unreadable = true;
                break;
            case InboxSeen::State::New:
                break;
            }
        }
        const bool known = done || left || unreadable;
        // After a connection failed, a new session only deletes what was applied.
        if (m_deleteOnly && !known)
            return std::nullopt;
        // What is known is read again only to be deleted, and then only to make sure it is
        // the very message that was dealt with.
        if (known && (m_options.keep || !(done || expiredLeft)))
            return std::nullopt;
        if (entry.size > m_options.server.maxMessageBytes) {
            if (!known)
                ++m_summary.tooLarge;
            return std::nullopt;
        }
        QByteArray bytes;
        QString error;
        if (!m_mailbox.retrieve(entry, &bytes, &error)) {
            if (m_mailbox.messageAtFault()) {
                // Remembered, so no later pass stumbles over it again; the pass goes on.
                InboxSeen::mark(m_id, listed, InboxSeen::State::Unreadable);
                ++m_summary.unreadable;
                if (m_mailbox.usable())
                    return std::nullopt;
                return reconnect(error, false);
            }
            return reconnect(error, true);
        }
        ++m_sinceFlush;
        const QByteArray key = readKey(entry, bytes);
        bool deleteIt = false;
        bool expired = false;
        const QList<InboxSeen::SeenRow> rows = m_seen.of(listed, entry.uidl);
        const auto sameKey = [&](InboxSeen::State state) {
            return std::any_of(rows.begin(), rows.end(),
                               [&](const InboxSeen::SeenRow &r) { return r.key == key && r.state == state; });
        };
        if (sameKey(InboxSeen::State::Done)) {
            // Committed in an earlier session that ended before its deletions were made real.
            deleteIt = true;
        } else if (expiredLeft && sameKey(InboxSeen::State::Left)) {
            deleteIt = expired = true;
        } else if (sameKey(InboxSeen::State::Left)) {
            return std::nullopt;
        } else {
            // Another message under a known id and size: new, whatever the id says.
            MailboxEntry keyed = entry;
            keyed.uidl = key;
            deleteIt = m_pass->handle(keyed, bytes);
        }
        if (deleteIt && !m_options.keep) {
            if (!m_mailbox.remove(entry, &error))
                return reconnect(error, true);
            ++m_marked;
            if (expired)
                ++m_expiredMarked;
        }
        if (m_sinceFlush >= m_chunk) {
            m_sinceFlush = 0;
            if (!m_mailbox.flush(&error)) {
                // The server may or may not have deleted what was marked: the next session
                // finds out, as each one is checked before it is deleted.
                return reconnect(error, true);
            }
            settleMarked();
            if (!listAndLoad(false))
                return Step::Stopped;
            return Step::Again;
        }
        return std::nullopt;
    }

    void settleMarked()
    {
        m_summary.deleted += m_marked;
        m_summary.expired += m_expiredMarked;
        m_marked = m_expiredMarked = 0;
    }

    // The session is unusable: what it marked is lost (each is checked and deleted again by
    // the next session), and the walk goes on over a new one. A connection that fails
    // (rather than a message that cannot be read) ends the pass as a server failure after
    // the next session has deleted what was applied; so does one reconnection too many.
    std::optional<Step> reconnect(const QString &why, bool connectionFailed)
    {
        m_mailbox.abandon();
        m_marked = m_expiredMarked = 0;
        if (connectionFailed) {
            m_summary.end = InboxSummary::End::ServerFailed;
            m_summary.error = why;
            if (m_deleteOnly)
                return Step::Stopped;
            m_deleteOnly = true;
        }
        if (++m_reconnects > m_options.maxReconnects) {
            m_summary.end = InboxSummary::End::ServerFailed;
            m_summary.error = why;
            return Step::Stopped;
        }
        QString error;
        if (!m_mailbox.open(&error)) {
            m_summary.end = InboxSummary::End::ServerFailed;
            m_summary.error = why;
            return Step::Stopped;
        }
        if (!listAndLoad(false))
            return Step::Stopped;
        // Everything is walked again: what this pass applied is deleted anew, the rest is
        // skipped by its row (the unreadable message by its own).
        m_visited.clear();
        m_sinceFlush = 0;
        return Step::Again;
    }

    Step finish()
    {
        QString error;
        if (m_mailbox.close(&error)) {
            settleMarked();
        } else if (m_summary.end == InboxSummary::End::Done || m_summary.end == InboxSummary::End::Cancelled) {
            m_summary.end = InboxSummary::End::ServerFailed;
            m_summary.error = error;
        }
        return Step::Finished;
    }

    void serverFailed(const QString &error, bool opened)
    {
        if (opened)
            m_mailbox.abandon();
        m_summary.end = InboxSummary::End::ServerFailed;
        m_summary.error = error;
    }

    void storeFailed(const StoreError &e)
    {
        m_summary.end = InboxSummary::End::StoreFailed;
        m_summary.error = e.text();
    }

    Mailbox &m_mailbox;
    const InboxOptions &m_options;
    const InboxProgress &m_progress;
    const std::atomic<bool> *m_cancel;
    InboxSummary &m_summary;
    Pass *m_pass = nullptr;
    QString m_id;
    QList<MailboxEntry> m_entries;
    SeenIndex m_seen;
    QHash<QByteArray, int> m_visited;  // by id and size: how many of those alike were dealt with
    bool m_deleteOnly = false;
    int m_chunk = 1;
    int m_done = 0;
    int m_sinceFlush = 0;
    int m_marked = 0;
    int m_expiredMarked = 0;
    int m_reconnects = 0;
};

} // namespace

InboxSummary ProcessInbox(Mailbox &mailbox, const InboxOptions &options, const InboxProgress &progress,
                          const std::atomic<bool> *cancel)
{
    InboxSummary summary;
    InboxRun(mailbox, options, progress, cancel, summary).run();
    return summary;
}
InboxSummary ProcessInbox(const InboxOptions &options, const MailSocketFactory &factory, const InboxProgress &progress,
                          const std::atomic<bool> *cancel)
{
    const std::unique_ptr<MailSocket> socket = factory ? factory() : makeTcpMailSocket();
    if (options.protocol == InboxProtocol::Imap) {
        ImapMailboxOptions imap;
        imap.connection = options.server;
        imap.folder = options.folder.isEmpty() ? QStringLiteral("INBOX") : options.folder;
        imap.moveTo = options.moveTo;
        ImapMailbox mailbox(*socket, imap);
        return ProcessInbox(mailbox, options, progress, cancel);
    }
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
    options.deleteUnknownAfterDays = inbox.deleteUnknownAfterDays;
    if (inbox.useOwn) {
        options.protocol = inbox.protocol == 1 ? InboxProtocol::Imap : InboxProtocol::Pop3;
        options.folder = inbox.folder;
        options.moveTo = inbox.moveTo;
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
    if (options.server.port == 0) {
        const bool implicit = options.server.tls == Pop3Tls::Implicit;
        if (options.protocol == InboxProtocol::Imap)
            options.server.port = implicit ? 993 : 143;
        else
            options.server.port = implicit ? 995 : 110;
    }
    if (options.server.host.trimmed().isEmpty()) {
        *error = QStringLiteral("返信メールを受け取るサーバ(POP3/IMAP)が設定されていません");
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
    if (unreadable > 0)
        lines << QStringLiteral("読めないメール %1 通 (残した)").arg(unreadable);
    if (postponed > 0)
        lines << QStringLiteral("次回に回したメール %1 通").arg(postponed);
    if (expired > 0)
        lines << QStringLiteral("古い不明メール %1 通を削除").arg(expired);
    lines << QStringLiteral("メールボックスから削除したメール %1 通").arg(deleted);
    return lines.join(u'\n');
}

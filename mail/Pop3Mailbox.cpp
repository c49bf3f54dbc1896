#include "mail/Pop3Mailbox.h"

#include "mail/LineSplitter.h"
#include "mail/LogLine.h"

#include <QDeadlineTimer>
#include <QHash>

#include <limits>

namespace Pop3MailboxText {
QString noStls() { return QStringLiteral("サーバが STLS (暗号化) に対応していません"); }
QString messageTooLarge() { return QStringLiteral("メールが大きすぎます"); }
QString badListing() { return QStringLiteral("メールの一覧が読めません"); }
QString notTerminated() { return QStringLiteral("サーバの応答が途中で切れました"); }
QString messageWithoutEnd() { return QStringLiteral("メールが終わりません"); }
} // namespace Pop3MailboxText

namespace {

constexpr int kMaxCapaLines = 512;
constexpr qsizetype kMaxCapaBytes = 64 * 1024;
// RFC 1939 section 7: a unique id is 1 to 70 characters 0x21 to 0x7E.
constexpr qsizetype kMaxUidl = 70;

bool safeArgument(const QString &text)
{
    return !text.contains(u'\r') && !text.contains(u'\n') && !text.contains(u'\0');
}

bool validUidl(const QByteArray &uidl)
{
    if (uidl.isEmpty() || uidl.size() > kMaxUidl)
        return false;
    for (char c : uidl)
        if (uchar(c) < 0x21 || uchar(c) > 0x7e)
            return false;
    return true;
}

// "n value" of a UIDL or LIST line; false for anything else.
bool splitListing(const QByteArray &line, int *number, QByteArray *value)
{
    const QList<QByteArray> parts = line.split(' ');
    if (parts.size() < 2)
        return false;
    bool ok = false;
    *number = parts[0].toInt(&ok);
    if (!ok || *number <= 0)
        return false;
    *value = parts[1];
    return true;
}

} // namespace

Pop3Mailbox::Pop3Mailbox(MailSocket &socket, const Pop3MailboxOptions &options) : m_socket(socket), m_options(options) {}

QString Pop3Mailbox::identity() const
{
    return QStringLiteral("%1@%2:%3").arg(m_options.user, m_options.host.toLower()).arg(m_options.port);
}

bool Pop3Mailbox::send(const QByteArray &line, QString *error)
{
    if (!m_socket.write(line + "\r\n", m_options.replyTimeoutMs)) {
        *error = m_socket.errorString();
        return false;
    }
    return true;
}

bool Pop3Mailbox::status(QByteArray *line, QString *error)
{
    QByteArray l;
    if (!m_socket.readLine(&l, m_options.replyTimeoutMs)) {
        *error = m_socket.errorString();
        return false;
    }
    if (line)
        *line = l;
    if (!l.startsWith("+OK")) {
        *error = l.isEmpty() ? QStringLiteral("サーバの応答が不正です") : LogLine::oneLine(QString::fromUtf8(l));
        return false;
    }
    return true;
}

bool Pop3Mailbox::command(const QByteArray &line, QByteArray *reply, QString *error)
{
    return send(line, error) && status(reply, error);
}

// RFC 1939 section 3: a multi-line answer ends with a line of one "."; a line that starts
// with "." has one more "." put before it, taken away here.
bool Pop3Mailbox::multiLine(qint64 maxBytes, int maxLines, const QString &tooLong,
                            const std::function<bool(const QByteArray &)> &each, QString *error, qint64 deadlineMs)
{
    // One deadline for the whole answer, so a server that trickles cannot hold us for ever.
    const QDeadlineTimer deadline(deadlineMs > 0 ? deadlineMs : qint64(m_options.replyTimeoutMs) * 2);
    qint64 bytes = 0;
    QByteArray l;
    for (int lines = 0;; ++lines) {
        if (deadline.hasExpired()) {
            *error = MailSocketText::readTimedOut();
            return false;
        }
        if (!m_socket.readLine(&l, int(qMin<qint64>(m_options.replyTimeoutMs, qMax<qint64>(1, deadline.remainingTime()))))) {
            *error = m_socket.isConnected() ? m_socket.errorString() : Pop3MailboxText::notTerminated();
            return false;
        }
        if (l == ".")
            return true;
        if (l.startsWith('.'))
            l.remove(0, 1);
        bytes += l.size() + 2;
        if (lines >= maxLines || bytes > maxBytes) {
            *error = tooLong;
            return false;
        }
        if (!each(l))
            return false;
    }
}

bool Pop3Mailbox::open(QString *error)
{
    m_inStep = true;
    m_messageAtFault = false;
    if (!safeArgument(m_options.user) || !safeArgument(m_options.password)) {
        *error = QStringLiteral("ユーザ名またはパスワードに改行が含まれています");
        return false;
    }
    TlsOptions tls;
    tls.implicit = m_options.tls == Pop3Tls::Implicit;
    tls.verify = m_options.verifyCertificate && m_options.tls != Pop3Tls::None;
    if (!m_socket.connectToHost(m_options.host, m_options.port, m_options.connectTimeoutMs, tls)) {
        *error = m_socket.errorString();
        return false;
    }
    const auto fail = [&] {
        abandon();
        return false;
    };
    if (!status(nullptr, error))
        return fail();
    // CAPA (RFC 2449): an -ERR means the server lists nothing, which is allowed.
    if (!send("CAPA", error))
        return fail();
    QByteArray first;
    QString capaError;
    bool stls = false;
    if (status(&first, &capaError)) {
        const bool listed = multiLine(kMaxCapaBytes, kMaxCapaLines, MailSocketText::replyTooLong(),
                                      [&](const QByteArray &line) {
                                          if (line.trimmed().toUpper() == "STLS")
                                              stls = true;
                                          return true;
                                      },
                                      error);
        if (!listed)
            return fail();
    } else if (!m_socket.isConnected() || first.isEmpty()) {
        *error = capaError;
        return fail();
    }
    if (m_options.tls == Pop3Tls::StartTls) {
        if (!stls) {
            QString ignored;
            command("QUIT", nullptr, &ignored);
            *error = Pop3MailboxText::noStls();
            return fail();
        }
        // RFC 2595 section 4: after +OK the TLS negotiation starts at once.
        if (!command("STLS", nullptr, error))
            return fail();
        if (!m_socket.startTls(m_options.connectTimeoutMs, tls)) {
            *error = m_socket.errorString();
            return fail();
        }
    }
    if (!command("USER " + m_options.user.toUtf8(), nullptr, error)
        || !command("PASS " + m_options.password.toUtf8(), nullptr, error)) {
        // Say goodbye where the server is still listening, so it does not wait for us.
        if (m_socket.isConnected())
            m_socket.write("QUIT\r\n", 1000);
        return fail();
    }
    return true;
}

bool Pop3Mailbox::list(QList<MailboxEntry> *entries, QString *error)
{
    entries->clear();
    // A listing of any length is read to its end; only the first maxListEntries are kept, so
    // memory stays bounded whatever the server claims. A big mailbox lists slowly: the whole
    // answer gets twenty reply times.
    const qint64 deadline = qint64(m_options.replyTimeoutMs) * 20;
    const qint64 unbounded = std::numeric_limits<qint64>::max();
    const int noLimit = std::numeric_limits<int>::max();
    // RFC 1939 section 7: UIDL gives "n id" for every message not marked as deleted.
    QList<MailboxEntry> found;
    QHash<int, qsizetype> byNumber;
    if (!command("UIDL", nullptr, error))
        return false;
    m_inStep = false;
    const bool uidlRead = multiLine(unbounded, noLimit, QString(),
                                    [&](const QByteArray &line) {
                                        MailboxEntry e;
                                        if (!splitListing(line, &e.number, &e.uidl) || !validUidl(e.uidl)
                                            || byNumber.contains(e.number)) {
                                            *error = Pop3MailboxText::badListing();
                                            return false;
                                        }
                                        if (found.size() < m_options.maxListEntries) {
                                            byNumber.insert(e.number, found.size());
                                            found += e;
                                        }
                                        return true;
                                    },
                                    error, deadline);
    if (!uidlRead)
        return false;
    m_inStep = true;
    // LIST: "n octets" for the same messages.
    if (!command("LIST", nullptr, error))
        return false;
    m_inStep = false;
    const bool listRead = multiLine(unbounded, noLimit, QString(),
                                    [&](const QByteArray &line) {
                                        int number = 0;
                                        QByteArray value;
                                        bool ok = false;
                                        qint64 size = 0;
                                        if (splitListing(line, &number, &value))
                                            size = value.toLongLong(&ok);
                                        if (!ok || size < 0) {
                                            *error = Pop3MailboxText::badListing();
                                            return false;
                                        }
                                        const auto at = byNumber.constFind(number);
                                        if (at != byNumber.constEnd())
                                            found[*at].size = size;
                                        return true;
                                    },
                                    error, deadline);
    if (!listRead)
        return false;
    m_inStep = true;
    *entries = found;
    return true;
}

bool Pop3Mailbox::retrieve(const MailboxEntry &entry, QByteArray *message, QString *error)
{
    message->clear();
    m_messageAtFault = false;
    if (entry.size > m_options.maxMessageBytes) {
        m_messageAtFault = true;
        *error = Pop3MailboxText::messageTooLarge();
        return false;
    }
    if (!send("RETR " + QByteArray::number(entry.number), error))
        return false;
    QByteArray reply;
    if (!status(&reply, error)) {
        // An -ERR is the server's word on this message (gone, or broken in its store).
        m_messageAtFault = m_socket.isConnected() && !reply.isEmpty();
        return false;
    }
    m_inStep = false;
    QByteArray out;
    bool tooBig = false;
    if (!readMessage(&out, &tooBig, error))
        return false;
    m_inStep = true;
    if (tooBig) {
        // The size LIST gave was wrong: the bound holds whatever the server sends.
        m_messageAtFault = true;
        *error = Pop3MailboxText::messageTooLarge();
        return false;
    }
    *message = out;
    return true;
}

// RFC 1939 section 3: the answer ends with a line of one "."; a line that starts with "." has
// one more "." put before it, taken away here. The mail's lines are taken in pieces, so a
// line may be as long as the mail; past maxMessageBytes the rest is read and dropped up to
// maxSkipBytes, beyond which the mail counts as endless and the session is lost.
bool Pop3Mailbox::readMessage(QByteArray *out, bool *tooBig, QString *error)
{
    const QDeadlineTimer deadline(qint64(m_options.replyTimeoutMs) * 2);
    qint64 total = 0;
    QByteArray line;          // the line so far (only its first bytes once the mail is too big)
    qint64 lineLength = 0;    // its length as received
    QByteArray piece;
    for (;;) {
        if (deadline.hasExpired()) {
            m_messageAtFault = true;
            *error = Pop3MailboxText::messageWithoutEnd();
            return false;
        }
        const int wait = int(qMin<qint64>(m_options.replyTimeoutMs, qMax<qint64>(1, deadline.remainingTime())));
        if (!m_socket.readRaw(&piece, LineSplitter::kMaxLine, true, wait)) {
            *error = m_socket.isConnected() ? m_socket.errorString() : Pop3MailboxText::notTerminated();
            return false;
        }
        total += piece.size();
        lineLength += piece.size();
        if (total > m_options.maxMessageBytes + 3)
            *tooBig = true;
        if (*tooBig && total > m_options.maxMessageBytes + m_options.maxSkipBytes) {
            m_messageAtFault = true;
            *error = Pop3MailboxText::messageWithoutEnd();
            return false;
        }
        if (!*tooBig || line.size() < 3)
            line += piece;
        if (!piece.endsWith('\n'))
            continue;
        // A whole line: without its CR LF (or bare LF).
        if (lineLength == line.size()) {
            line.chop(line.endsWith("\r\n") ? 2 : 1);
            if (line == ".")
                return true;
            if (!*tooBig) {
                out->append(QByteArrayView(line).sliced(line.startsWith('.') ? 1 : 0));
                out->append("\r\n");
            }
        }
        line.clear();
        lineLength = 0;
    }
}

bool Pop3Mailbox::remove(const MailboxEntry &entry, QString *error)
{
    return command("DELE " + QByteArray::number(entry.number), nullptr, error);
}

bool Pop3Mailbox::close(QString *error)
{
    // RFC 1939 section 6: the UPDATE state, where the marked messages go, follows QUIT.
    const bool ok = command("QUIT", nullptr, error);
    m_socket.close();
    return ok;
}

void Pop3Mailbox::abandon()
{
    m_socket.close();
}

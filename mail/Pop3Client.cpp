#include "mail/Pop3Client.h"

#include "mail/LogLine.h"

#include <QDeadlineTimer>

namespace {

constexpr int kMaxListLines = 512;
constexpr qsizetype kMaxListBytes = 64 * 1024;

class Pop3Dialogue
{
public:
    Pop3Dialogue(MailSocket &socket, const Pop3Options &options) : m_socket(socket), m_options(options) {}

    // Reads one status line; false (with the reason in error) unless it is "+OK".
    bool status(QByteArray *line = nullptr)
    {
        QByteArray l;
        if (!m_socket.readLine(&l, m_options.replyTimeoutMs)) {
            error = m_socket.errorString();
            return false;
        }
        if (line)
            *line = l;
        if (!l.startsWith("+OK")) {
            error = l.isEmpty() ? QStringLiteral("サーバの応答が不正です") : LogLine::oneLine(QString::fromUtf8(l));
            return false;
        }
        return true;
    }

    bool send(const QByteArray &line)
    {
        if (!m_socket.write(line + "\r\n", m_options.replyTimeoutMs)) {
            error = m_socket.errorString();
            return false;
        }
        return true;
    }

    // CAPA (RFC 2449): a +OK answer goes on until a line of one ".". -ERR is one line.
    bool capabilities()
    {
        if (!send("CAPA"))
            return false;
        QByteArray l;
        if (!m_socket.readLine(&l, m_options.replyTimeoutMs)) {
            error = m_socket.errorString();
            return false;
        }
        if (!l.startsWith("+OK"))
            return true;
        // Like an SMTP reply, the list has one deadline and a bound in lines and bytes.
        const QDeadlineTimer deadline(m_options.replyTimeoutMs);
        qsizetype bytes = 0;
        for (int lines = 0;; ++lines) {
            if (deadline.hasExpired()) {
                error = MailSocketText::readTimedOut();
                return false;
            }
            if (!m_socket.readLine(&l, int(qMax<qint64>(1, deadline.remainingTime())))) {
                error = m_socket.errorString();
                return false;
            }
            if (l == ".")
                return true;
            bytes += l.size() + 2;
            if (lines >= kMaxListLines || bytes > kMaxListBytes) {
                error = MailSocketText::replyTooLong();
                return false;
            }
        }
    }

    QString error;

private:
    MailSocket &m_socket;
    const Pop3Options &m_options;
};

bool safeArgument(const QString &text)
{
    return !text.contains(u'\r') && !text.contains(u'\n') && !text.contains(u'\0');
}

} // namespace

bool Pop3LoginLogout(MailSocket &socket, const Pop3Options &options, QString *error)
{
    if (!safeArgument(options.user) || !safeArgument(options.password)) {
        *error = QStringLiteral("ユーザ名またはパスワードに改行が含まれています");
        return false;
    }
    if (!socket.connectToHost(options.host, options.port, options.connectTimeoutMs)) {
        *error = socket.errorString();
        return false;
    }
    Pop3Dialogue d(socket, options);
    const bool loggedIn = d.status() && d.capabilities() && d.send("USER " + options.user.toUtf8()) && d.status()
                          && d.send("PASS " + options.password.toUtf8()) && d.status();
    if (!loggedIn) {
        // Say goodbye where the server is still listening, so it does not wait for us.
        if (socket.isConnected())
            socket.write("QUIT\r\n", 1000);
        *error = d.error;
        socket.close();
        return false;
    }
    const bool ok = d.send("QUIT") && d.status();
    if (!ok)
        *error = d.error;
    socket.close();
    return ok;
}

#include "mail/SmtpClient.h"

#include "mail/LogLine.h"
#include "store/MailAddress.h"

#include <QDeadlineTimer>
#include <QMessageAuthenticationCode>
#include <QSysInfo>

#include <algorithm>
#include <cctype>
#include <optional>

namespace {

// Command arguments go into a line-based protocol: a line break in one would start a
// command of its own.
bool safeArgument(const QString &text)
{
    for (const QChar c : text)
        if (c == u'\r' || c == u'\n' || c == u'\0')
            return false;
    return true;
}

QByteArray heloArgument(const QString &configured)
{
    QString name = configured.isEmpty() ? QSysInfo::machineHostName() : configured;
    QByteArray out;
    for (const QChar c : name)
        if (c.isLetterOrNumber() && c.unicode() < 0x80)
            out += char(c.unicode());
        else if (c == u'.' || c == u'-')
            out += char(c.unicode());
    return out.isEmpty() ? QByteArrayLiteral("localhost") : out;
}

} // namespace

QString SmtpClient::Reply::text() const
{
    // Shown in boxes and logs: a control character inside a line stays visible and inert.
    QStringList parts;
    for (const QByteArray &l : lines)
        parts += LogLine::oneLine(QString::fromUtf8(l));
    return parts.join(u' ');
}

SmtpClient::SmtpClient(MailSocket &socket) : m_socket(socket) {}

bool SmtpClient::hasCapability(const QByteArray &name) const
{
    for (const QByteArray &c : m_capabilities)
        if (c.trimmed().compare(name, Qt::CaseInsensitive) == 0)
            return true;
    return false;
}

namespace {

// The mechanisms named by "AUTH LOGIN PLAIN" (RFC 4954) or the older "AUTH=LOGIN" some
// servers still send, upper-cased.
QByteArrayList authWords(const QByteArrayList &capabilities)
{
    QByteArrayList out;
    for (const QByteArray &c : capabilities) {
        const QByteArray upper = c.trimmed().toUpper();
        if (!upper.startsWith("AUTH") || upper.size() < 5 || (upper.at(4) != ' ' && upper.at(4) != '='))
            continue;
        out += upper.mid(5).simplified().split(' ');
    }
    return out;
}

// The Base64 challenge of a "334 " line, or nothing when the line is not one: a single line,
// a bounded text, strict Base64 that decodes to something.
std::optional<QByteArray> challengeOf(const QByteArrayList &lines, qsizetype maxBase64)
{
    if (lines.size() != 1 || !lines.first().startsWith("334 "))
        return std::nullopt;
    const QByteArray text = lines.first().mid(4).trimmed();
    if (text.isEmpty() || text.size() > maxBase64)
        return std::nullopt;
    const auto decoded = QByteArray::fromBase64Encoding(text, QByteArray::AbortOnBase64DecodingErrors);
    if (!decoded || decoded.decoded.isEmpty())
        return std::nullopt;
    return decoded.decoded;
}

} // namespace

bool SmtpClient::offersAuthLogin() const
{
    return authWords(m_capabilities).contains("LOGIN");
}

SmtpClient::AuthMechanism SmtpClient::authMechanism() const
{
    const QByteArrayList words = authWords(m_capabilities);
    if (words.contains("LOGIN"))
        return AuthMechanism::Login;
    if (words.contains("PLAIN"))
        return AuthMechanism::Plain;
    if (words.contains("CRAM-MD5"))
        return AuthMechanism::CramMd5;
    return AuthMechanism::None;
}

QByteArray SmtpClient::dataBlock(const QByteArray &message)
{
    QByteArray out;
    out.reserve(message.size() + message.size() / 32 + 8);
    qsizetype start = 0;
    const qsizetype n = message.size();
    while (start < n) {
        qsizetype nl = message.indexOf('\n', start);
        qsizetype end = nl < 0 ? n : nl;
        qsizetype textEnd = end;
        if (textEnd > start && message.at(textEnd - 1) == '\r')
            --textEnd;
        if (message.at(start) == '.')
            out += '.';
        out.append(message.constData() + start, textEnd - start);
        out += "\r\n";
        start = nl < 0 ? n : nl + 1;
    }
    out += ".\r\n";
    return out;
}

bool SmtpClient::send(const QByteArray &bytes)
{
    if (m_log)
        m_log(bytes);
    if (m_socket.write(bytes, m_options.replyTimeoutMs))
        return true;
    m_replyError = m_socket.errorString();
    return false;
}

bool SmtpClient::readReply(Reply *reply)
{
    // RFC 5321 section 4.2.1: "250-" continues a reply, "250 " (or a bare code) ends it.
    // The whole reply shares one deadline and is bounded in lines and bytes, so a server
    // that never ends its reply, or trickles it, costs neither memory nor time without end.
    reply->code = 0;
    reply->lines.clear();
    const QDeadlineTimer deadline(m_options.replyTimeoutMs);
    QByteArray block;
    for (;;) {
        if (deadline.hasExpired()) {
            m_replyError = MailSocketText::readTimedOut();
            return false;
        }
        QByteArray line;
        if (!m_socket.readLine(&line, int(qMax<qint64>(1, deadline.remainingTime())))) {
            m_replyError = m_socket.errorString();
            return false;
        }
        if (reply->lines.size() >= kMaxReplyLines || block.size() + line.size() + 2 > kMaxReplyBytes) {
            m_replyError = MailSocketText::replyTooLong();
            return false;
        }
        block += line + "\r\n";
        reply->lines += line;
        const bool digits = line.size() >= 3 && std::isdigit(uchar(line.at(0))) && std::isdigit(uchar(line.at(1)))
                            && std::isdigit(uchar(line.at(2)));
        if (!digits) {
            if (m_log)
                m_log(block);
            reply->code = 0;
            return true;  // not SMTP: the caller sees a code that fits nothing
        }
        const int code = line.left(3).toInt();
        if (reply->lines.size() > 1 && code != reply->code) {
            if (m_log)
                m_log(block);
            reply->code = 0;
            return true;
        }
        reply->code = code;
        if (line.size() == 3 || line.at(3) != '-')
            break;
    }
    if (m_log)
        m_log(block);
    return true;
}

bool SmtpClient::command(const QByteArray &line, Reply *reply)
{
    return send(line + "\r\n") && readReply(reply);
}

bool SmtpClient::failReply(const Reply &reply)
{
    m_error = reply.text();
    if (m_error.isEmpty())
        m_error = QStringLiteral("サーバの応答が不正です");
    return false;
}

bool SmtpClient::failTransport()
{
    m_error = m_replyError;
    // After a lost answer the dialogue is out of step: close, so later mails fail at once
    // instead of each waiting for its own time-out.
    m_socket.close();
    return false;
}

bool SmtpClient::expect(const QByteArray &line, std::initializer_list<int> codes, Reply *reply)
{
    Reply local;
    Reply &r = reply ? *reply : local;
    if (!command(line, &r))
        return failTransport();
    for (int c : codes)
        if (r.code == c)
            return true;
    return failReply(r);
}

bool SmtpClient::hello()
{
    const QByteArray name = heloArgument(m_options.heloName);
    Reply r;
    if (!command("EHLO " + name, &r))
        return failTransport();
    if (r.code == 250) {
        m_capabilities.clear();
        for (qsizetype i = 1; i < r.lines.size(); ++i)
            m_capabilities += r.lines.at(i).mid(4);
        return true;
    }
    // RFC 5321 section 3.2: a server that does not know EHLO still knows HELO.
    m_capabilities.clear();
    return expect("HELO " + name, {250});
}

bool SmtpClient::connectToServer()
{
    m_error.clear();
    m_capabilities.clear();
    m_firstMessageDone = false;
    m_authenticated = false;
    TlsOptions tls;
    tls.implicit = m_options.implicitTls;
    tls.verify = m_options.verifyCertificate;
    if (!m_socket.connectToHost(m_options.host, m_options.port, m_options.connectTimeoutMs, tls)) {
        m_error = m_socket.errorString();
        return false;
    }
    Reply greeting;
    if (!readReply(&greeting))
        return failTransport();
    if (greeting.code != 220) {
        failReply(greeting);
        m_socket.close();
        return false;
    }
    if (!hello()) {
        m_socket.close();
        return false;
    }
    return true;
}

bool SmtpClient::startTls()
{
    if (!hasCapability("STARTTLS")) {
        // Not offered: the mail goes out as it is (authenticate() keeps the password back),
        // unless the user asked for a verified server, which an unencrypted one never is.
        if (!m_options.verifyCertificate)
            return true;
        m_error = QStringLiteral("サーバがSTARTTLSに対応していないため、送信を中止しました");
        m_socket.close();
        return false;
    }
    Reply r;
    if (!command("STARTTLS", &r))
        return failTransport();
    if (r.code != 220) {
        m_error = QStringLiteral("Start SSL negotiation command failed.");
        m_socket.close();
        return false;
    }
    TlsOptions tls;
    tls.verify = m_options.verifyCertificate;
    if (!m_socket.startTls(m_options.connectTimeoutMs, tls)) {
        // A certificate refused by the check says why; any other failure keeps its old text.
        m_error = m_options.verifyCertificate && !m_socket.tlsReport().errors.isEmpty()
                      ? m_socket.errorString()
                      : QStringLiteral("SSL is not available on this server.");
        m_socket.close();
        return false;
    }
    // RFC 3207 section 4.2: forget what was learnt in clear text and ask again.
    m_capabilities.clear();
    return hello();
}

bool SmtpClient::authStep(const QByteArray &line, int wanted, Reply *reply)
{
    if (!command(line, reply))
        return failTransport();
    if (reply->code == wanted)
        return true;
    if (reply->code == 334) {
        // The server wants more than this exchange gives: end it, so that the next command
        // is not taken for an answer to its question.
        cancelAuth();
        m_error = QStringLiteral("サーバの認証の手順が正しくありません: ") + reply->text();
        return false;
    }
    return failReply(*reply);
}

void SmtpClient::cancelAuth()
{
    // RFC 4954 section 4: "*" cancels the exchange, and the server answers 501.
    Reply r;
    if (!command("*", &r))
        m_socket.close();
}

bool SmtpClient::authenticate()
{
    if (m_authenticated || m_options.user.isEmpty())
        return true;
    const AuthMechanism mechanism = authMechanism();
    if (mechanism == AuthMechanism::None)
        return true;
    if (!safeArgument(m_options.user) || !safeArgument(m_options.password)) {
        m_error = QStringLiteral("ユーザ名またはパスワードに改行が含まれています");
        return false;
    }
    // A connection that should be encrypted and is not (the server did not offer STARTTLS,
    // or someone in between took the offer away) never carries the password.
    if (tlsAsked() && !m_socket.tlsReport().encrypted) {
        m_error = QStringLiteral("サーバがSTARTTLSに対応していないため、暗号化されていない接続でパスワードを送りませんでした");
        return false;
    }
    const QByteArray user = m_options.user.toUtf8();
    const QByteArray password = m_options.password.toUtf8();
    Reply r;
    switch (mechanism) {
    case AuthMechanism::Login:
        if (!authStep("AUTH LOGIN", 334, &r) || !authStep(user.toBase64(), 334, &r)
            || !authStep(password.toBase64(), 235, &r))
            return false;
        break;
    case AuthMechanism::Plain: {
        // RFC 4616: no authorisation identity, then the user and the password, NUL-separated.
        const QByteArray response = QByteArray(1, '\0') + user + QByteArray(1, '\0') + password;
        if (!authStep("AUTH PLAIN " + response.toBase64(), 235, &r))
            return false;
        break;
    }
    case AuthMechanism::CramMd5: {
        if (!command("AUTH CRAM-MD5", &r))
            return failTransport();
        if (r.code != 334)
            return failReply(r);
        const std::optional<QByteArray> challenge = challengeOf(r.lines, kMaxChallenge);
        if (!challenge) {
            cancelAuth();
            m_error = QStringLiteral("サーバの認証要求が正しくありません");
            return false;
        }
        const QByteArray digest =
            QMessageAuthenticationCode::hash(*challenge, password, QCryptographicHash::Md5).toHex();
        const QByteArray response = user + ' ' + digest;
        if (!authStep(response.toBase64(), 235, &r))
            return false;
        break;
    }
    case AuthMechanism::None:
        break;
    }
    m_authenticated = true;
    return true;
}

void SmtpClient::resetAfterFailure()
{
    if (!m_socket.isConnected())
        return;
    Reply r;
    if (!command("RSET", &r))
        m_socket.close();
}

void SmtpClient::refused(const Reply &reply, SmtpTransaction *t)
{
    failReply(reply);
    t->code = reply.code;
    t->reply = m_error;
    // RFC 5321 section 4.2.4: 421 means the server is closing the channel; any other refusal
    // leaves the session usable once the transaction is reset.
    if (reply.code == 421)
        m_socket.close();
    else
        resetAfterFailure();
}

void SmtpClient::lost(SmtpTransaction *t, bool afterDot)
{
    failTransport();
    t->lost = true;
    t->afterDot = afterDot;
    t->reply = m_error;
}

SmtpTransaction SmtpClient::transact(const QString &from, const QStringList &recipients, const QByteArray &message)
{
    SmtpTransaction t;
    t.recipients.resize(recipients.size());
    m_error.clear();
    auto local = [&](const QString &why) {
        m_error = why;
        t.reply = why;
        t.local = true;
        return t;
    };
    if (recipients.isEmpty())
        return local(QStringLiteral("宛先がありません"));
    // An argument is one address or nothing is sent: "<a@b.jp> NOTIFY=..." would add
    // parameters to the envelope, "a@b.jp>,<c@d.jp" a second recipient.
    for (const QString &address : QStringList{from} + recipients)
        if (!IsPlainAddress(address))
            return local(QStringLiteral("メールアドレスが正しくありません: ") + LogLine::oneLine(address));
    if (!m_socket.isConnected()) {
        m_error = MailSocketText::notConnected();
        t.reply = m_error;
        t.lost = true;
        return t;
    }
    auto sessionFailed = [&] {
        t.session = true;
        t.reply = m_error;
        return t;
    };
    if (!m_firstMessageDone) {
        m_firstMessageDone = true;
        if (!m_options.implicitTls && m_options.startTls && !startTls())
            return sessionFailed();
    }
    if (!authenticate())
        return sessionFailed();

    Reply r;
    const QByteArray mailFrom = "MAIL FROM: <" + from.toUtf8() + ">";
    if (hasCapability("PIPELINING")) {
        // RFC 2920: the envelope goes in one write and the answers are read in order, so a
        // batch costs one round trip instead of one per recipient. DATA still waits for
        // them: only the accepted recipients are to get the text.
        QByteArray envelope = "RSET\r\n" + mailFrom + "\r\n";
        for (const QString &to : recipients)
            envelope += "RCPT TO:<" + to.toUtf8() + ">\r\n";
        if (!send(envelope)) {
            lost(&t, false);
            return t;
        }
        bool envelopeRefused = false;
        Reply refusal;
        for (qsizetype i = 0; i < recipients.size() + 2; ++i) {
            if (!readReply(&r)) {
                lost(&t, false);
                return t;
            }
            if (r.code == 421) {
                refused(r, &t);
                return t;
            }
            if (i < 2) {
                if (r.code != 250 && !envelopeRefused) {
                    envelopeRefused = true;
                    refusal = r;
                }
            } else if (!envelopeRefused) {
                // Answers to RCPT after a refused MAIL FROM say nothing about the recipient.
                t.recipients[i - 2] = {r.code, r.text()};
            }
        }
        if (envelopeRefused) {
            refused(refusal, &t);
            return t;
        }
    } else {
        if (!command("RSET", &r)) {
            lost(&t, false);
            return t;
        }
        if (r.code == 250) {
            if (!command(mailFrom, &r)) {
                lost(&t, false);
                return t;
            }
        }
        if (r.code != 250) {
            refused(r, &t);
            return t;
        }
        for (qsizetype i = 0; i < recipients.size(); ++i) {
            if (!command("RCPT TO:<" + recipients.at(i).toUtf8() + ">", &r)) {
                lost(&t, false);
                return t;
            }
            t.recipients[i] = {r.code, r.text()};
            if (r.code == 421) {
                refused(r, &t);
                return t;
            }
        }
    }
    const auto firstRefused = std::find_if(t.recipients.cbegin(), t.recipients.cend(),
                                           [](const SmtpTransaction::Recipient &x) { return !x.accepted(); });
    if (std::none_of(t.recipients.cbegin(), t.recipients.cend(),
                     [](const SmtpTransaction::Recipient &x) { return x.accepted(); })) {
        // Nobody to send the text to: the transaction is reset without DATA.
        t.code = firstRefused->code;
        t.reply = firstRefused->reply;
        m_error = t.reply;
        resetAfterFailure();
        return t;
    }
    if (!command("DATA", &r)) {
        lost(&t, false);
        return t;
    }
    if (r.code != 354) {
        refused(r, &t);
        return t;
    }
    // A write that fails has not put the final "." out whole; a reply that fails to come
    // after it leaves the mail's fate unknown.
    if (!send(dataBlock(message))) {
        lost(&t, false);
        return t;
    }
    if (!readReply(&r)) {
        lost(&t, true);
        return t;
    }
    if (r.code != 250) {
        refused(r, &t);
        return t;
    }
    t.code = r.code;
    t.reply = r.text();
    if (firstRefused != t.recipients.cend())
        m_error = firstRefused->reply;
    return t;
}

bool SmtpClient::sendMail(const QString &from, const QStringList &recipients, const QByteArray &message)
{
    const SmtpTransaction t = transact(from, recipients, message);
    if (!t.accepted())
        return false;
    for (const SmtpTransaction::Recipient &x : t.recipients) {
        if (!x.accepted()) {
            m_error = x.reply;
            return false;
        }
    }
    return true;
}

void SmtpClient::quit()
{
    if (m_socket.isConnected()) {
        Reply r;
        command("QUIT", &r);  // 221 expected; the connection ends either way
    }
    m_socket.close();
}

void SmtpClient::close()
{
    m_socket.close();
}

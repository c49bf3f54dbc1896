#pragma once
// An SMTP client session (RFC 5321) over a MailSocket: TLS from the start (SMTPS) or not,
// greeting and EHLO (HELO when EHLO is refused), STARTTLS (RFC 3207) and authentication
// (AUTH LOGIN, PLAIN or CRAM-MD5) at the first message, then one transaction per mail: RSET,
// MAIL FROM, RCPT TO for each recipient, DATA, the dot-stuffed message, ".".
#include "mail/MailSocket.h"

#include <QByteArrayList>
#include <QStringList>

// What became of one mail transaction, step by step: enough for the sender to tell, for
// each recipient, whether the mail went, was refused for good, may be tried again, or may
// have gone without the answer having come.
struct SmtpTransaction {
    struct Recipient {
        int code = 0;   // the answer to its RCPT; 0 when none came (or the envelope failed first)
        QString reply;
        bool accepted() const { return code == 250 || code == 251; }
    };
    QList<Recipient> recipients;  // one per recipient, in order
    // The answer that settled the mail: to the final ".", or to the step that refused it
    // (RSET, MAIL FROM, DATA, or the first refused RCPT when none was accepted); 0 when the
    // connection failed before it.
    int code = 0;
    QString reply;             // that answer's text, or why the step failed
    bool local = false;        // refused here before anything was sent (an address, no recipient)
    bool session = false;      // STARTTLS or the authentication failed: no mail can go
    bool lost = false;         // the connection failed before an answer settled the mail
    bool afterDot = false;     // ... after the final "." was written: the mail may have gone
    bool accepted() const { return code == 250; }
};

struct SmtpOptions {
    QString host;
    quint16 port = 25;
    QString user;      // empty: no authentication
    QString password;
    // Upgrade with STARTTLS when the server offers it. When it does not, the mail goes out
    // in clear text all the same, but no password is sent over that connection (and with
    // verifyCertificate nothing is sent at all).
    bool startTls = false;
    // TLS from the first byte (SMTPS, usually port 465); startTls is then ignored.
    bool implicitTls = false;
    // Refuse a server whose certificate does not verify against the host name.
    bool verifyCertificate = false;
    int connectTimeoutMs = 30000;
    // The longest wait for one whole reply, however many lines it has: a server that
    // trickles a line now and then is given up like a silent one.
    int replyTimeoutMs = 60000;
    QString heloName;  // empty: this machine's host name
};

class SmtpClient
{
public:
    explicit SmtpClient(MailSocket &socket);

    void setOptions(const SmtpOptions &options) { m_options = options; }
    const SmtpOptions &options() const { return m_options; }

    // Every block sent and every complete reply, as it goes over the wire.
    void setTrafficLog(std::function<void(const QByteArray &)> log) { m_log = std::move(log); }

    // Connects, reads the 220 greeting and introduces itself.
    bool connectToServer();
    // Sends one message to the given envelope recipients. A recipient the server refuses is
    // left out and the message goes to the others; when none is accepted, no text is sent.
    // A 421 answer at any step ends the session (RFC 5321 section 4.2.4). The first message
    // of a connection first runs the TLS and authentication steps; a failed authentication
    // is tried again with the next message.
    SmtpTransaction transact(const QString &from, const QStringList &recipients, const QByteArray &message);
    // The same, true only when every recipient was accepted and the message too;
    // errorString() then says why not.
    bool sendMail(const QString &from, const QStringList &recipients, const QByteArray &message);
    // QUIT and close; errors do not matter any more at this point.
    void quit();
    void close();

    bool isConnected() const { return m_socket.isConnected(); }
    QString errorString() const { return m_error; }
    // The EHLO answer's lines after the first (empty after HELO).
    QByteArrayList capabilities() const { return m_capabilities; }
    bool hasCapability(const QByteArray &name) const;
    bool offersAuthLogin() const;

    // The ways of logging in this client knows, in the order it prefers them when the server
    // offers several: LOGIN first, as servers have long been used with it, then PLAIN
    // (RFC 4616), then CRAM-MD5 (RFC 2195).
    enum class AuthMechanism { None, Login, Plain, CramMd5 };
    AuthMechanism authMechanism() const;

    // What the TLS handshake of this connection showed (not encrypted without one).
    TlsReport tlsReport() const { return m_socket.tlsReport(); }


    // Bounds of one reply: more lines or bytes than any server needs fail it.
    static constexpr int kMaxReplyLines = 512;
    static constexpr qsizetype kMaxReplyBytes = 64 * 1024;
    // The longest CRAM-MD5 challenge taken, in Base64 characters (real ones are well under
    // 100: a message-id-like text).
    static constexpr qsizetype kMaxChallenge = 1024;

    // The message text as it goes after DATA: lines end in CR LF, a line that starts with
    // "." gets a second one (RFC 5321 section 4.5.2), and the final "." line follows.
    static QByteArray dataBlock(const QByteArray &message);

private:
    struct Reply {
        int code = 0;
        QByteArrayList lines;
        QString text() const;
    };

    bool command(const QByteArray &line, Reply *reply);
    bool send(const QByteArray &bytes);
    bool readReply(Reply *reply);
    bool expect(const QByteArray &line, std::initializer_list<int> codes, Reply *reply = nullptr);
    bool hello();
    bool startTls();
    bool authenticate();
    bool authStep(const QByteArray &line, int wanted, Reply *reply);
    void cancelAuth();
    bool tlsAsked() const { return m_options.implicitTls || m_options.startTls; }
    bool failReply(const Reply &reply);
    bool failTransport();
    void resetAfterFailure();
    void refused(const Reply &reply, SmtpTransaction *t);
    void lost(SmtpTransaction *t, bool afterDot);

    MailSocket &m_socket;
    SmtpOptions m_options;
    std::function<void(const QByteArray &)> m_log;
    QByteArrayList m_capabilities;
    QString m_error;
    QString m_replyError;  // why the last send or reply failed on the transport
    bool m_firstMessageDone = false;
    bool m_authenticated = false;
};

#pragma once
// The transport under the SMTP and POP3 sessions: a line-oriented client socket with a
// time-out on every wait. Sessions only see this interface, so they run unchanged over a
// real TCP/TLS connection or over a scripted fake in tests.
#include <QByteArray>
#include <QString>
#include <QStringList>

#include <atomic>
#include <functional>
#include <memory>

// How a connection uses TLS. Implicit TLS (SMTPS on 465, POP3S on 995) speaks TLS from the
// first byte; otherwise TLS starts later with startTls() (STARTTLS, STLS) or not at all.
struct TlsOptions {
    bool implicit = false;
    // Refuse a server whose certificate does not verify (chain to a trusted root, validity
    // dates, the name below). Off, any certificate is taken, as older settings expect; the
    // result of the check is still kept for tlsReport().
    bool verify = false;
    // The name the certificate must carry; empty: the host name connected to.
    QString peerName;
};

// What the last TLS handshake showed about the server.
struct TlsReport {
    bool encrypted = false;  // the connection is under TLS
    bool verified = false;   // the certificate verified against peerName
    QString peerName;        // the name it was checked against
    QStringList errors;      // why it did not verify, in words a user can be shown
};

class MailSocket
{
public:
    virtual ~MailSocket() = default;

    // Opens a TCP connection, with the TLS handshake first when tls.implicit; false when it
    // could not be made within timeoutMs, or when tls.verify and the certificate failed.
    virtual bool connectToHost(const QString &host, quint16 port, int timeoutMs, const TlsOptions &tls) = 0;
    // A plain TCP connection.
    bool connectToHost(const QString &host, quint16 port, int timeoutMs)
    {
        return connectToHost(host, port, timeoutMs, TlsOptions());
    }
    // Reads one line and returns it without its CR LF. False when no full line arrived
    // within timeoutMs or the peer closed the connection.
    virtual bool readLine(QByteArray *line, int timeoutMs) = 0;
    // Reads bytes as they arrive, line ends included: at least one, at most maxBytes, and with
    // toLineEnd no further than the next LF. For what a line cannot carry: an IMAP literal,
    // and a mail whose lines are longer than readLine() takes. False as readLine().
    virtual bool readRaw(QByteArray *bytes, qint64 maxBytes, bool toLineEnd, int timeoutMs) = 0;
    // Sends the bytes; returns when they are handed to the system (or false on failure).
    virtual bool write(const QByteArray &bytes, int timeoutMs) = 0;
    // Turns the open connection into a TLS one, checking the server's certificate only when
    // tls.verify (tls.implicit is ignored). Whatever the server sent before the handshake and
    // was not read yet is thrown away, so nothing injected in clear text can pass for an
    // answer given under TLS.
    virtual bool startTls(int timeoutMs, const TlsOptions &tls) = 0;
    // The same without checking the certificate.
    bool startTls(int timeoutMs) { return startTls(timeoutMs, TlsOptions()); }
    // The outcome of the last handshake of this connection (not encrypted before one).
    virtual TlsReport tlsReport() const = 0;
    virtual void close() = 0;
    virtual bool isConnected() const = 0;
    // Why the last call failed, in words a user can be shown.
    virtual QString errorString() const = 0;

    // A flag that, once set, makes pending and later waits give up early (used when the
    // program is closing). The flag must outlive the socket.
    void setCancelFlag(const std::atomic<bool> *flag) { m_cancel = flag; }

protected:
    bool cancelled() const { return m_cancel && m_cancel->load(); }

private:
    const std::atomic<bool> *m_cancel = nullptr;
};

using MailSocketFactory = std::function<std::unique_ptr<MailSocket>()>;

// The real transport: QSslSocket in blocking use, on the calling thread.
std::unique_ptr<MailSocket> makeTcpMailSocket();

// Time-out texts shared by the transports.
namespace MailSocketText {
QString connectTimedOut();
QString readTimedOut();
QString closedByPeer();
QString notConnected();
QString cancelled();
QString replyTooLong();
QString handshakeFailed();  // the TLS handshake failed for another reason than the certificate
} // namespace MailSocketText

// The failure text of a connection refused because the certificate did not verify:
// "サーバの証明書を検証できません（名前: NAME）: REASON、REASON".
QString CertificateFailureText(const TlsReport &report);
// The test mail's line on the certificate of an encrypted connection.
QString CertificateReportText(const TlsReport &report);

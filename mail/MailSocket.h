#pragma once
// The transport under the SMTP and POP3 sessions: a line-oriented client socket with a
// time-out on every wait. Sessions only see this interface, so they run unchanged over a
// real TCP/TLS connection or over a scripted fake in tests.
#include <QByteArray>
#include <QString>

#include <atomic>
#include <functional>
#include <memory>

class MailSocket
{
public:
    virtual ~MailSocket() = default;

    // Opens a TCP connection; false when it could not be made within timeoutMs.
    virtual bool connectToHost(const QString &host, quint16 port, int timeoutMs) = 0;
    // Reads one line and returns it without its CR LF. False when no full line arrived
    // within timeoutMs or the peer closed the connection.
    virtual bool readLine(QByteArray *line, int timeoutMs) = 0;
    // Sends the bytes; returns when they are handed to the system (or false on failure).
    virtual bool write(const QByteArray &bytes, int timeoutMs) = 0;
    // Turns the open connection into a TLS one, without checking the server's certificate.
    // Whatever the server sent before the handshake and was not read yet is thrown away,
    // so nothing injected in clear text can pass for an answer given under TLS.
    virtual bool startTls(int timeoutMs) = 0;
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
} // namespace MailSocketText

#pragma once
// Real mail servers on loopback for integration tests and benchmarks, each started by the
// test in a private temporary folder and stopped with it:
//  - SmtpTestServer: aiosmtpd (smtp_server.py) with STARTTLS or TLS from the start, AUTH
//    LOGIN, PLAIN or CRAM-MD5 and a self-signed certificate, saving what it accepts;
//  - Pop3TestServer: dovecot with a private configuration and one passwd-file user, POP3
//    and, when asked, IMAP;
//  - HostileSmtpServer: a server whose EHLO answer never ends or trickles.
// ReadMail() reads a saved message with Python's email package (mail_read.py).
#include <QHash>
#include <QJsonObject>
#include <QList>
#include <QProcess>
#include <QStringList>
#include <QTemporaryDir>

class SmtpTestServer
{
public:
    struct Options {
        bool tls = true;
        bool auth = true;
        bool authRequired = false;
        QString user = QStringLiteral("user@example.jp");
        QString password = QStringLiteral("pass'word");
        QStringList reject;  // refuse RCPT for addresses containing any of these
        bool implicitTls = false;  // TLS from the first byte (SMTPS) instead of STARTTLS
        QStringList mechanisms{QStringLiteral("LOGIN")};  // of LOGIN, PLAIN, CRAM-MD5
        QString certificateName = QStringLiteral("localhost");  // the self-signed certificate's CN
    };
    struct Received {
        QString path;         // the saved message
        QString from;         // envelope
        QStringList to;       // envelope
        bool tls = false;
        QString authUser;     // empty when not authenticated
    };

    SmtpTestServer() = default;
    ~SmtpTestServer();
    bool start(const Options &options);
    bool start() { return start(Options()); }
    void stop();
    quint16 port() const { return m_port; }
    // Messages received so far, in order.
    QList<Received> received() const;
    // Waits until at least n messages are there.
    bool waitFor(int n, int timeoutMs = 10000) const;
    QString error() const { return m_error; }

private:
    QTemporaryDir m_dir;
    QProcess m_process;
    quint16 m_port = 0;
    QString m_error;
};

class Pop3TestServer
{
public:
    ~Pop3TestServer();
    // With tls, STLS is offered on port() and implicit TLS listens on tlsPort(), with a
    // self-signed certificate made at start.
    bool start(const QString &user, const QString &password, bool tls) { return start(user, password, tls, false); }
    bool start(const QString &user, const QString &password) { return start(user, password, false); }
    // With imap, IMAP listens on imapPort() as well (STARTTLS offered with tls) and, with
    // tls, IMAP over TLS on imapTlsPort().
    bool start(const QString &user, const QString &password, bool tls, bool imap);
    void stop();
    quint16 port() const { return m_port; }
    quint16 tlsPort() const { return m_tlsPort; }
    quint16 imapPort() const { return m_imapPort; }
    quint16 imapTlsPort() const { return m_imapTlsPort; }
    // Puts a message into the user's mailbox as a delivery agent would; false with error()
    // when it could not be written.
    bool deliver(const QString &user, const QByteArray &message);
    // The number of messages in the user's mailbox, or in one of its folders (the name as
    // the server stores it, in modified UTF-7).
    int messageCount(const QString &user) const { return messageCount(user, QString()); }
    int messageCount(const QString &user, const QString &folder) const;
    QString log() const;
    QString error() const { return m_error; }

private:
    QTemporaryDir m_dir;
    QProcess m_process;
    quint16 m_port = 0;
    quint16 m_tlsPort = 0;
    quint16 m_imapPort = 0;
    quint16 m_imapTlsPort = 0;
    int m_delivered = 0;
    QString m_error;
};

// An SMTP server that misbehaves on purpose (smtp_hostile.py): it greets, and answers EHLO
// either with "250-" lines without end (up to maxBytes) or with one line per interval.
class HostileSmtpServer
{
public:
    ~HostileSmtpServer();
    bool startEndless(qint64 maxBytes = qint64(256) * 1024 * 1024);
    // After `lines` lines the reply ends with "250 done".
    bool startTrickle(double intervalSeconds, int lines);
    void stop();
    quint16 port() const { return m_port; }
    QString error() const { return m_error; }

private:
    QProcess m_process;
    quint16 m_port = 0;
    QString m_error;
};

// A TCP server on loopback that accepts connections and never says a word.
class SilentServer
{
public:
    SilentServer();
    ~SilentServer();
    quint16 port() const;

private:
    struct Impl;
    std::unique_ptr<Impl> d;
};

// The message at path as Python's email package reads it (see mail_read.py).
QJsonObject ReadMail(const QString &path);
// A free TCP port on 127.0.0.1.
quint16 FreeLoopbackPort();

// An SMTP sink (smtp_sink.py) without TLS or AUTH that keeps no message but logs, as it
// answers, every recipient it accepted, deferred (451) or rejected (550) with its own clock:
// what arrived is read from the server's side, whatever the sender believes.
class SmtpSink
{
public:
    struct Options {
        bool deferTenth = false;  // 451 the first time for a tenth of the addresses
        QStringList reject;       // 550 for addresses containing any of these
        int dataDelayMs = 0;      // the wait before answering a mail's final "."
    };
    struct Entry {
        double time = 0;   // seconds since the epoch
        QString kind;      // accepted, deferred, rejected
        QString address;
    };

    ~SmtpSink();
    bool start(const Options &options);
    void stop();
    quint16 port() const { return m_port; }
    QList<Entry> entries() const;
    // How many times each address was accepted.
    QHash<QString, int> acceptedCounts() const;
    // Waits until at least n recipients have been accepted.
    bool waitForAccepted(int n, int timeoutMs = 10000) const;
    QString error() const { return m_error; }

private:
    QTemporaryDir m_dir;
    QProcess m_process;
    quint16 m_port = 0;
    QString m_error;
};

#pragma once
// A POP3 mailbox session (RFC 1939) for reading what comes back from a delivery: the
// greeting, CAPA, STLS (RFC 2595) when asked, USER/PASS, UIDL and LIST, RETR n, DELE n and
// QUIT. The server removes what was marked with DELE only at QUIT, so a session that breaks
// off before QUIT deletes nothing.
//
// Everything the server says is bounded: each line of a reply (LineSplitter), each message
// (larger ones are listed but never retrieved; one that turns out larger is read to its end
// and thrown away, or the session is given up when it has no end), the entries kept from a
// listing, and each reply's time. A mail's own lines may be as long as the mail.
#include "mail/MailSocket.h"

#include <QByteArray>
#include <QList>
#include <QString>

enum class Pop3Tls {
    None = 0,     // clear text, as POP before SMTP
    StartTls = 1, // STLS on the plain port, refused when the server does not offer it
    Implicit = 2, // TLS from the first byte (port 995)
};

struct Pop3MailboxOptions {
    QString host;
    quint16 port = 110;
    QString user;
    QString password;
    Pop3Tls tls = Pop3Tls::None;
    // Refuse a server whose certificate does not verify against the host name (with TLS only).
    bool verifyCertificate = false;
    int connectTimeoutMs = 30000;
    int replyTimeoutMs = 60000;
    // A message above this size is not retrieved (it stays in the mailbox).
    qint64 maxMessageBytes = qint64(2) * 1024 * 1024;
    // Entries kept from one listing; the rest are read past and wait for a later pass.
    int maxListEntries = 1000000;
    // Bytes read past after a message outgrows maxMessageBytes before the session is given up.
    qint64 maxSkipBytes = qint64(64) * 1024 * 1024;
};

// One message as the listing gives it.
struct MailboxEntry {
    int number = 0;       // the message number of this session
    qint64 size = 0;      // octets as LIST gives them
    QByteArray uidl;      // the unique id (RFC 1939 section 7: 1 to 70 printable characters)
    bool operator==(const MailboxEntry &) const = default;
};

// The mailbox as the processing step sees it, so that step can be tested with a fake.
class Mailbox
{
public:
    virtual ~Mailbox() = default;
    // Connects and logs in.
    virtual bool open(QString *error) = 0;
    // Every message with its number, size and unique id.
    virtual bool list(QList<MailboxEntry> *entries, QString *error) = 0;
    // The message's bytes as stored (lines end in CR LF, dot-stuffing undone). A message
    // larger than the bound is refused without being read.
    virtual bool retrieve(const MailboxEntry &entry, QByteArray *message, QString *error) = 0;
    // After a failed retrieve(): whether the message was at fault (too big, a body without
    // end, refused by the server), so that a later pass should not try it again, rather
    // than the connection.
    virtual bool messageAtFault() const { return false; }
    // Whether the session can go on after a failure; otherwise it is abandoned and opened anew.
    virtual bool usable() const { return true; }
    // Marks the message for deletion; it goes only when close() succeeds.
    virtual bool remove(const MailboxEntry &entry, QString *error) = 0;
    // QUIT: the marked messages are deleted now. False when the server did not confirm.
    virtual bool close(QString *error) = 0;
    // Makes the removals so far real and goes on in a new session (for POP3, QUIT and log in
    // again); the numbers of the listing may change, so list() is called again after it.
    virtual bool flush(QString *error) { return close(error) && open(error); }
    // Drops the connection without QUIT, so nothing marked is deleted.
    virtual void abandon() = 0;
    // A name for this mailbox that stays the same between runs (user@host:port), under
    // which the ids already seen are remembered. Asked after open().
    virtual QString identity() const = 0;
};

class Pop3Mailbox : public Mailbox
{
public:
    Pop3Mailbox(MailSocket &socket, const Pop3MailboxOptions &options);

    bool open(QString *error) override;
    bool list(QList<MailboxEntry> *entries, QString *error) override;
    bool retrieve(const MailboxEntry &entry, QByteArray *message, QString *error) override;
    bool messageAtFault() const override { return m_messageAtFault; }
    bool usable() const override { return m_socket.isConnected() && m_inStep; }
    bool remove(const MailboxEntry &entry, QString *error) override;
    bool close(QString *error) override;
    void abandon() override;
    QString identity() const override;

private:
    bool status(QByteArray *line, QString *error);
    bool send(const QByteArray &line, QString *error);
    bool command(const QByteArray &line, QByteArray *reply, QString *error);
    // Reads a multi-line answer to its "." line, each line passed on unstuffed. False (with
    // tooLong as the error) when it breaks the bounds, or when each() returns false (having
    // set the error). The connection is unusable after a false.
    // deadlineMs bounds the whole answer (0: two reply times).
    bool multiLine(qint64 maxBytes, int maxLines, const QString &tooLong,
                   const std::function<bool(const QByteArray &)> &each, QString *error, qint64 deadlineMs = 0);

    // Reads RETR's answer to its "." line. *tooBig when it outgrew the bound (then read past).
    bool readMessage(QByteArray *out, bool *tooBig, QString *error);

    MailSocket &m_socket;
    Pop3MailboxOptions m_options;
    bool m_messageAtFault = false;
    // False while an answer is only partly read: the next command would meet its rest.
    bool m_inStep = true;
};

// The texts of the session's own refusals, shared with its tests.
namespace Pop3MailboxText {
QString noStls();          // STLS asked for but not offered
QString messageTooLarge(); // above maxMessageBytes
QString badListing();      // a line of UIDL or LIST that is not "n value"
QString notTerminated();   // the connection ended inside a multi-line answer
QString messageWithoutEnd(); // a message that goes on past every bound
} // namespace Pop3MailboxText

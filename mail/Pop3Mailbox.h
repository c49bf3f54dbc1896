#pragma once
// A POP3 mailbox session (RFC 1939) for reading what comes back from a delivery: the
// greeting, CAPA, STLS (RFC 2595) when asked, USER/PASS, UIDL and LIST, RETR n, DELE n and
// QUIT. The server removes what was marked with DELE only at QUIT, so a session that breaks
// off before QUIT deletes nothing.
//
// Everything the server says is bounded: each line (LineSplitter), each message (larger ones
// are listed but never retrieved), the number of entries listed, and each reply's time.
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
    int connectTimeoutMs = 30000;
    int replyTimeoutMs = 60000;
    // A message above this size is not retrieved (it stays in the mailbox).
    qint64 maxMessageBytes = qint64(2) * 1024 * 1024;
    // Entries beyond this in a listing mean the answer is not a mailbox's listing.
    int maxListEntries = 100000;
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
    // Marks the message for deletion; it goes only when close() succeeds.
    virtual bool remove(const MailboxEntry &entry, QString *error) = 0;
    // QUIT: the marked messages are deleted now. False when the server did not confirm.
    virtual bool close(QString *error) = 0;
    // Drops the connection without QUIT, so nothing marked is deleted.
    virtual void abandon() = 0;
    // A name for this mailbox that stays the same between runs (user@host:port), under
    // which the ids already seen are remembered.
    virtual QString identity() const = 0;
};

class Pop3Mailbox : public Mailbox
{
public:
    Pop3Mailbox(MailSocket &socket, const Pop3MailboxOptions &options);

    bool open(QString *error) override;
    bool list(QList<MailboxEntry> *entries, QString *error) override;
    bool retrieve(const MailboxEntry &entry, QByteArray *message, QString *error) override;
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
    bool multiLine(qint64 maxBytes, int maxLines, const QString &tooLong,
                   const std::function<bool(const QByteArray &)> &each, QString *error);

    MailSocket &m_socket;
    Pop3MailboxOptions m_options;
};

// The texts of the session's own refusals, shared with its tests.
namespace Pop3MailboxText {
QString noStls();          // STLS asked for but not offered
QString messageTooLarge(); // above maxMessageBytes
QString listTooLong();     // more entries than maxListEntries
QString badListing();      // a line of UIDL or LIST that is not "n value"
QString notTerminated();   // the connection ended inside a multi-line answer
} // namespace Pop3MailboxText

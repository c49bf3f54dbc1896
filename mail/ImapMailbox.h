#pragma once
// An IMAP mailbox session (IMAP4rev1, RFC 3501, and IMAP4rev2, RFC 9051) for reading what
// comes back from a delivery: the greeting, CAPABILITY, STARTTLS when asked (or TLS from the
// first byte), AUTHENTICATE PLAIN (RFC 4616, in the command itself with SASL-IR, RFC 4959)
// or LOGIN, SELECT of one folder, the listing by FETCH (UID RFC822.SIZE) in chunks, UID
// FETCH BODY.PEEK[] of one message, and for a processed one UID MOVE (RFC 6851) to a folder
// the user names, or COPY there and \Deleted, or \Deleted alone; the flagged ones go with UID
// EXPUNGE (RFC 4315) where offered, otherwise EXPUNGE, when the session ends. A session that
// breaks off before then leaves every message in the folder.
//
// The bounds and time-outs are those of the POP3 session: each line of an answer, each
// literal (its size is checked before a byte of it is read), each message, each answer's time.
// A message is addressed by its UID, which the folder's UIDVALIDITY makes unique: both are
// part of the mailbox's identity.
#include "mail/Pop3Mailbox.h"

#include <QByteArray>
#include <QList>
#include <QString>
#include <QStringList>

#include <functional>

struct ImapMailboxOptions {
    Pop3MailboxOptions connection;  // host, port, user, password, TLS and the bounds
    QString folder = QStringLiteral("INBOX");
    QString moveTo;                 // empty: processed mail is deleted
    int listChunk = 1000;           // messages per FETCH of the listing
};

// One answer of the server, its literals cut out: text holds "{n}" where each was.
struct ImapResponse {
    QByteArray text;
    QList<QByteArray> literals;
};

class ImapMailbox : public Mailbox
{
public:
    ImapMailbox(MailSocket &socket, const ImapMailboxOptions &options);

    bool open(QString *error) override;
    bool list(QList<MailboxEntry> *entries, QString *error) override;
    bool retrieve(const MailboxEntry &entry, QByteArray *message, QString *error) override;
    bool messageAtFault() const override { return m_messageAtFault; }
    bool usable() const override;
    bool remove(const MailboxEntry &entry, QString *error) override;
    bool close(QString *error) override;
    bool flush(QString *error) override;
    void abandon() override;
    QString identity() const override;

    // The capabilities the server named last (upper case).
    const QStringList &capabilities() const { return m_capabilities; }

private:
    using Untagged = std::function<bool(const ImapResponse &)>;

    bool readResponse(ImapResponse *response, qint64 maxLiteral, QString *error);
    // Sends a command (tag added) and reads to its tagged answer; untagged answers go to
    // each (which may be empty). False with the server's words on NO or BAD. A literal is
    // sent where parts has one: each odd-numbered part is a literal.
    bool command(const QList<QByteArray> &parts, const Untagged &each, QString *error, qint64 maxLiteral = 0);
    bool command(const QByteArray &line, const Untagged &each, QString *error, qint64 maxLiteral = 0)
    {
        return command(QList<QByteArray>{line}, each, error, maxLiteral);
    }
    bool tagged(const QByteArray &tag, bool loggingOut, const Untagged &each, QString *error, qint64 maxLiteral);
    bool continuation(const QByteArray &tag, QString *error);
    bool send(const QByteArray &bytes, QString *error);
    QByteArray nextTag();
    bool capability(QString *error);
    bool login(QString *error);
    bool select(QString *error);
    bool expungeMarked(QString *error);
    void noteCapabilities(const QByteArray &text);
    bool has(const char *capability) const;
    QByteArray folderName(const QString &folder) const;
    void broken() { m_broken = true; }

    MailSocket &m_socket;
    ImapMailboxOptions m_options;
    QStringList m_capabilities;
    int m_tag = 0;
    int m_capabilityNotes = 0;  // how often the capabilities were named
    qint64 m_exists = 0;
    QByteArray m_uidValidity;
    QList<QByteArray> m_marked;  // UIDs flagged \Deleted, not expunged yet
    bool m_messageAtFault = false;
    bool m_broken = false;
    bool m_lastNoTryCreate = false;
};

// The texts of the session's own refusals, shared with its tests.
namespace ImapMailboxText {
QString noStartTls();      // STARTTLS asked for but not offered
QString loginDisabled();   // neither LOGIN nor AUTHENTICATE PLAIN may be used
QString badArgument();     // a line break in the user, password or a folder name
QString badResponse();     // an answer that is no IMAP answer (a wrong tag, no status)
QString literalTooLarge(); // a literal above the bound, refused before it is read
QString noUidValidity();   // SELECT named no UIDVALIDITY
QString messageGone();     // the FETCH brought no body
} // namespace ImapMailboxText

namespace Imap {
// A string as IMAP quotes it ("a\"b"), for text without line breaks.
QByteArray quoted(const QByteArray &text);
// A folder name in modified UTF-7 (RFC 3501 section 5.1.3): 処理済み is "&UeZ0Bm4IMH8-".
QByteArray modifiedUtf7(const QString &name);
} // namespace Imap

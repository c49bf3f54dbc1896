#pragma once
// The header of a delivery mail and the message put together from it. The fields, in this
// order: From, Subject, To, Content-Type, MIME-Version, Content-Transfer-Encoding, Date.
// Nothing else is written (no Cc, Bcc, Reply-To, Message-ID or mailer name).
#include <QByteArray>
#include <QDateTime>
#include <QString>

class MailFormat
{
public:
    // Owner: the publisher's name (display name of From; the address when empty); Adrs: the
    // sender address; Atena: the salutation shown in To; Title: the Subject (none when empty).
    MailFormat(const QString &Owner, const QString &Adrs, const QString &Atena, const QString &Title);

    // One mail to one member: To is the salutation and the member's address.
    QByteArray individual(const QString &address, const QByteArray &encodedBody, const QDateTime &now) const;
    // One mail to hidden recipients: To holds only the salutation, with an empty address.
    QByteArray batch(const QByteArray &encodedBody, const QDateTime &now) const;

    // The sender address as it goes into the envelope and the From field.
    QString sender() const { return m_sender; }

    // "Thu, 05 Mar 2026 09:04:01 +0900" (RFC 5322 section 3.3), local offset included.
    static QByteArray dateField(const QDateTime &local);
    // A header line ("Name: value", possibly already holding folds) with every physical line
    // longer than 78 characters folded after a space, tab or comma; the continuation starts
    // with a space. A line without such a place stays as it is.
    static QByteArray fold(const QByteArray &line);
    // "display <address>": a display name holding an encoded word as it is, any other one in
    // double quotes with backslash and double quote escaped.
    static QByteArray addressField(const QByteArray &display, const QByteArray &address);

private:
    QByteArray message(const QByteArray &toLine, const QByteArray &encodedBody, const QDateTime &now) const;

    QString m_sender;
    QByteArray m_from;     // folded "From: ..." line with CR LF
    QByteArray m_subject;  // folded "Subject: ..." line with CR LF, or empty
    QByteArray m_atena;    // encoded salutation, or empty
    QByteArray m_batchTo;  // folded "To: ..." line for batches, or empty
};

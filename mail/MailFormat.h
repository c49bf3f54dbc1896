#pragma once
// The header of a delivery mail and the message put together from it. The fields, in this
// order: From, Subject, To, Content-Type, MIME-Version, Content-Transfer-Encoding, Date, then
// the fields the caller adds (Message-ID, List-Unsubscribe, X-Tsubame-Token). Nothing else is
// written (no Cc, Bcc, Reply-To or mailer name).
#include "mail/MailText.h"

#include <QByteArray>
#include <QDateTime>
#include <QString>

class MailFormat
{
public:
    // Owner: the publisher's name (display name of From; the address when empty); Adrs: the
    // sender address; Atena: the salutation shown in To; Title: the Subject (none when empty).
    // With forceUtf8 every mail goes out as UTF-8.
    MailFormat(const QString &Owner, const QString &Adrs, const QString &Atena, const QString &Title,
               bool forceUtf8 = false);

    // The body of one mail, in the charset the mail will have: ISO-2022-JP when the body and
    // the header texts all read back identically through it (and UTF-8 is not forced).
    EncodedBody encodeBody(QStringView text) const { return EncodeMailBody(text, m_iso2022Jp); }
    bool allowsIso2022Jp() const { return m_iso2022Jp; }

    // One mail to one member: To is the salutation and the member's address. extraFields:
    // complete header lines (each ending in CR LF) that follow Date.
    QByteArray individual(const QString &address, const EncodedBody &body, const QDateTime &now,
                          const QByteArray &extraFields = {}) const;
    // One mail to hidden recipients: To holds only the salutation, with an empty address.
    QByteArray batch(const EncodedBody &body, const QDateTime &now, const QByteArray &extraFields = {}) const;

    // The sender address as it goes into the envelope and the From field.
    QString sender() const { return m_sender; }

    // "Thu, 05 Mar 2026 09:04:01 +0900" (RFC 5322 section 3.3), local offset included.
    static QByteArray dateField(const QDateTime &local);
    // A header line ("Name: value", possibly already holding folds) with every physical line
    // longer than 78 characters folded after a space, tab or comma; the continuation starts
    // with a space. A line without such a place stays as it is, and the first word of the
    // value stays on the field name's line.
    static QByteArray fold(const QByteArray &line);
    // "display <address>": a display name holding an encoded word as it is, any other one in
    // double quotes with backslash and double quote escaped.
    static QByteArray addressField(const QByteArray &display, const QByteArray &address);

private:
    // The header lines that depend on the charset.
    struct Lines
    {
        QByteArray from;     // folded "From: ..." line with CR LF
        QByteArray subject;  // folded "Subject: ..." line with CR LF, or empty
        QByteArray atena;    // encoded salutation, or empty
        QByteArray batchTo;  // folded "To: ..." line for batches, or empty
    };
    Lines lines(MailCharset charset, const QString &owner, const QString &atena, const QString &title) const;
    // ISO-2022-JP headers go only with a body in it, and only when they can.
    const Lines &linesFor(const EncodedBody &body) const
    {
        return body.charset == MailCharset::Iso2022Jp && m_iso2022Jp ? m_jis : m_utf8;
    }
    QByteArray message(const Lines &l, const QByteArray &toLine, const EncodedBody &body, const QDateTime &now,
                       const QByteArray &extraFields) const;

    QString m_sender;
    bool m_iso2022Jp = false;
    Lines m_jis;   // empty unless m_iso2022Jp
    Lines m_utf8;
};

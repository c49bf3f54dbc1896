#pragma once
// Message-ID values (RFC 5322 3.6.4) for the mails of one delivery or one test mail:
// "<left@domain>", where left is the moment the source was made, 64 random bits and a
// counter (dot-atom characters only), and domain is the sender address's own domain.
#include <QByteArray>
#include <QDateTime>
#include <QString>

class MessageIdSource
{
public:
    // now: the moment written into every id of this source (its first use, in practice).
    explicit MessageIdSource(const QString &senderAddress, const QDateTime &now = QDateTime::currentDateTimeUtc());

    // The next id, angle brackets included; never the same twice.
    QByteArray next();
    // "Message-ID: <...>" with CR LF.
    QByteArray nextField() { return "Message-ID: " + next() + "\r\n"; }

    // The domain of the address when it is a valid host name (an international one in its
    // ASCII form); else this machine's host name when valid, else "localhost.localdomain".
    static QByteArray DomainFor(const QString &address);

private:
    QByteArray m_left;  // up to the counter
    QByteArray m_right; // "@domain>"
    quint64 m_count = 0;
};

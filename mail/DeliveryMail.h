#pragma once
// The mails of one delivery as they go on the wire: one member's mail (personalised when the
// plan's body holds placeholders) or one mail to hidden recipients, each with its Message-ID,
// List-Unsubscribe and token fields (TokenField), and the envelope sender each goes out from.
// The send step sends these; a dry run shows the first one.
#include "mail/DeliveryPlan.h"
#include "mail/ListUnsubscribe.h"
#include "mail/MailFormat.h"
#include "mail/MessageIdSource.h"

#include <QByteArray>
#include <QDate>
#include <QDateTime>

class DeliveryMail
{
public:
    explicit DeliveryMail(const DeliveryPlan &plan);

    // The address of From.
    QString sender() const { return m_format.sender(); }
    // The envelope sender of one member's mail: the return path naming that member, or the
    // sender when the magazine has no return path.
    QString envelopeSender(int userIdx) const;
    // The envelope sender of a mail to hidden recipients: the return path as it is, or the sender.
    QString batchEnvelopeSender() const;
    // The mail to one member (one mail per member); today is the day the placeholders name.
    // Each member's mail is checked for its own charset: one member's name that needs UTF-8
    // leaves the others' mails as they are.
    QByteArray individual(const DeliveryRecipient &recipient, const QDate &today, const QDateTime &now);
    // The mail to a batch of hidden recipients.
    QByteArray batch(const QDateTime &now);

private:
    const MailFormat m_format;
    MessageIdSource m_ids;
    const ListUnsubscribe m_unsubscribe;
    const DeliveryMode m_mode;
    const QString m_body;
    const QString m_returnPath;
    const QByteArray m_key;
    const int m_magIdx;
    EncodedBody m_sameBody;  // the encoded body of every mail, unless personalised
};

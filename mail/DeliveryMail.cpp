#include "mail/DeliveryMail.h"

#include "mail/ReturnPath.h"
#include "mail/TokenField.h"

DeliveryMail::DeliveryMail(const DeliveryPlan &plan)
    : m_format(plan.Owner, plan.Adrs, plan.Atena, plan.Title, plan.forceUtf8), m_ids(m_format.sender()),
      m_unsubscribe(plan.unsubscribeAddress, plan.unsubscribeUrl, plan.unsubscribeKey, plan.MagIdx),
      m_mode(plan.mode), m_body(plan.Body), m_returnPath(plan.returnPath), m_key(plan.unsubscribeKey),
      m_magIdx(plan.MagIdx)
{
    if (m_mode != DeliveryMode::Personalised)
        m_sameBody = m_format.encodeBody(m_body);
}

QByteArray DeliveryMail::individual(const DeliveryRecipient &recipient, const QDate &today, const QDateTime &now)
{
    const EncodedBody body = m_mode == DeliveryMode::Personalised
                                 ? m_format.encodeBody(Personalize(m_body, recipient.values, today))
                                 : m_sameBody;
    return m_format.individual(recipient.UserAdrs, body, now,
                               m_ids.nextField() + m_unsubscribe.memberFields(int(recipient.MagUser))
                                   + TokenField::member(m_key, m_magIdx, int(recipient.MagUser)));
}

QByteArray DeliveryMail::batch(const QDateTime &now)
{
    return m_format.batch(m_sameBody, now,
                          m_ids.nextField() + m_unsubscribe.batchFields() + TokenField::batch(m_key, m_magIdx));
}

QString DeliveryMail::envelopeSender(int userIdx) const
{
    if (m_returnPath.isEmpty())
        return sender();
    return ReturnPath::forMember(m_returnPath, m_key, m_magIdx, userIdx);
}

QString DeliveryMail::batchEnvelopeSender() const
{
    return m_returnPath.isEmpty() ? sender() : m_returnPath;
}

#include "mail/ListUnsubscribe.h"

#include "mail/UnsubscribeToken.h"
#include "store/MagazineMailSettings.h"
#include "store/MailAddress.h"

#include <QUrl>

ListUnsubscribe::ListUnsubscribe(const QString &address, const QString &url, const QByteArray &key, int magIdx)
    : m_key(key), m_magIdx(magIdx)
{
    if (!IsPlainAddress(address) || key.isEmpty())
        return;
    // RFC 6068 2: only unreserved characters and "@" stay as they are in the address.
    m_mailto = "mailto:" + QUrl::toPercentEncoding(address, "@") + "?subject=unsubscribe";
    // The settings are checked when saved; they are still never trusted here, since whatever
    // reaches these fields must not end the angle brackets or the header line.
    if (MagazineMailSettings::isUnsubscribeUrl(url))
        m_url = url.toLatin1() + (url.contains(u'?') ? "&t=" : "?t=");
}

QByteArray ListUnsubscribe::memberFields(int userIdx) const
{
    if (!enabled())
        return {};
    const QByteArray token = UnsubscribeToken::make(m_key, m_magIdx, userIdx).toLatin1();
    QByteArray field = "List-Unsubscribe: <" + m_mailto + "%20" + token + '>';
    if (m_url.isEmpty())
        return field + "\r\n";
    // Neither URI can be folded inside; the URL goes on a line of its own when both do not
    // fit on one (as MailFormat::fold would put it, without its cost on every mail).
    const QByteArray url = '<' + m_url + token + '>';
    field += field.size() + 2 + url.size() > 78 ? ",\r\n " : ", ";
    return field + url + "\r\nList-Unsubscribe-Post: List-Unsubscribe=One-Click\r\n";
}

QByteArray ListUnsubscribe::batchFields() const
{
    if (!enabled())
        return {};
    return "List-Unsubscribe: <" + m_mailto + ">\r\n";
}

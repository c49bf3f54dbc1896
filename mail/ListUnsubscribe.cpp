#include "mail/ListUnsubscribe.h"

#include "mail/UnsubscribeToken.h"
#include "store/MailAddress.h"

#include <QUrl>

namespace {

// The settings are checked when saved; they are still never trusted here, since whatever
// reaches these fields must not end the angle brackets or the header line.
bool safeUrl(const QString &url)
{
    if (!url.startsWith(QLatin1String("https://")) || url.size() > 2000)
        return false;
    for (const QChar c : url) {
        const char16_t u = c.unicode();
        if (u <= 0x20 || u >= 0x7F || u == u'<' || u == u'>' || u == u'"' || u == u'\\' || u == u'`' || u == u'#')
            return false;
    }
    const QUrl parsed(url, QUrl::StrictMode);
    return parsed.isValid() && !parsed.host().isEmpty();
}

} // namespace

ListUnsubscribe::ListUnsubscribe(const QString &address, const QString &url, const QByteArray &key, int magIdx)
    : m_key(key), m_magIdx(magIdx)
{
    if (!IsPlainAddress(address) || key.isEmpty())
        return;
    // RFC 6068 2: only unreserved characters and "@" stay as they are in the address.
    m_mailto = "mailto:" + QUrl::toPercentEncoding(address, "@") + "?subject=unsubscribe";
    if (safeUrl(url))
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

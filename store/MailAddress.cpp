#include "store/MailAddress.h"

#include <QList>
#include <QStringView>

namespace {

// RFC 5322 section 3.2.3 atext.
bool isAtext(char16_t c)
{
    if ((c >= u'a' && c <= u'z') || (c >= u'A' && c <= u'Z') || (c >= u'0' && c <= u'9'))
        return true;
    return QStringView(u"!#$%&'*+-/=?^_`{|}~").contains(QChar(c));
}

bool isLetDig(char16_t c)
{
    return (c >= u'a' && c <= u'z') || (c >= u'A' && c <= u'Z') || (c >= u'0' && c <= u'9');
}

} // namespace

bool IsPlainAddress(const QString &address)
{
    // RFC 5321 section 4.5.3.1: local part up to 64 octets, a path up to 256 with its brackets.
    constexpr qsizetype kMaxLocal = 64;
    constexpr qsizetype kMaxAddress = 254;
    constexpr qsizetype kMaxLabel = 63;
    const qsizetype at = address.indexOf(u'@');
    if (at <= 0 || at > kMaxLocal || address.size() > kMaxAddress || address.indexOf(u'@', at + 1) >= 0)
        return false;
    for (qsizetype i = 0; i < at; ++i)
        if (address.at(i) != u'.' && !isAtext(address.at(i).unicode()))
            return false;
    // RFC 5321 section 4.1.2: Domain = sub-domain *("." sub-domain), each Let-dig [Ldh-str].
    const QStringView domain = QStringView(address).mid(at + 1);
    if (domain.isEmpty())
        return false;
    for (const QStringView label : domain.split(u'.')) {
        if (label.isEmpty() || label.size() > kMaxLabel || !isLetDig(label.front().unicode())
            || !isLetDig(label.back().unicode()))
            return false;
        for (const QChar c : label)
            if (!isLetDig(c.unicode()) && c != u'-')
                return false;
    }
    return true;
}

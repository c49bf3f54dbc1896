#include "mail/MessageIdSource.h"

#include <QRandomGenerator>
#include <QSysInfo>
#include <QUrl>

namespace {

// A host name of letter-digit-hyphen labels (RFC 1035 2.3.1), which is always a dot-atom.
bool validHostName(const QByteArray &name)
{
    if (name.isEmpty() || name.size() > 253)
        return false;
    for (const QByteArray &label : name.split('.')) {
        if (label.isEmpty() || label.size() > 63 || label.startsWith('-') || label.endsWith('-'))
            return false;
        for (const char c : label)
            if (!((c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') || c == '-'))
                return false;
    }
    return true;
}

QByteArray asciiHost(const QString &name)
{
    const QString trimmed = name.trimmed();
    if (trimmed.isEmpty())
        return {};
    return QUrl::toAce(trimmed);
}

} // namespace

QByteArray MessageIdSource::DomainFor(const QString &address)
{
    const qsizetype at = address.lastIndexOf(u'@');
    if (at >= 0) {
        const QByteArray domain = asciiHost(address.mid(at + 1));
        if (validHostName(domain))
            return domain;
    }
    const QByteArray host = asciiHost(QSysInfo::machineHostName());
    if (validHostName(host))
        return host;
    return QByteArrayLiteral("localhost.localdomain");
}

MessageIdSource::MessageIdSource(const QString &senderAddress, const QDateTime &now)
{
    const quint64 random = QRandomGenerator::system()->generate64();
    m_left = '<' + now.toUTC().toString(QStringLiteral("yyyyMMddHHmmsszzz")).toLatin1() + '.'
             + QByteArray::number(random, 36) + '.';
    m_right = '@' + DomainFor(senderAddress) + '>';
}

QByteArray MessageIdSource::next()
{
    return m_left + QByteArray::number(++m_count) + m_right;
}

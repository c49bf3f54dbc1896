#include "store/UnsubscribeKey.h"

#include "store/PreparedStatement.h"
#include "store/Database.h"

#include <QRandomGenerator>

namespace UnsubscribeKey {

namespace {

constexpr int kKeyBytes = 32;

QByteArray stored()
{
    PreparedStatement s(QStringLiteral("select Value from SendSetting where Name = 'UnsubscribeKey'"));
    s.exec();
    if (!s.next())
        return {};
    const QByteArray key = QByteArray::fromHex(s.value(0).toString().toLatin1());
    return key.size() == kKeyBytes ? key : QByteArray();
}

} // namespace

QByteArray peek()
{
    return stored();
}

QByteArray load()
{
    QByteArray key = stored();
    if (!key.isEmpty())
        return key;
    QByteArray fresh(kKeyBytes, Qt::Uninitialized);
    QRandomGenerator::system()->generate(reinterpret_cast<quint32 *>(fresh.data()),
                                         reinterpret_cast<quint32 *>(fresh.data() + fresh.size()));
    // A value that is there but unreadable is replaced: tokens signed with it could not be
    // checked anyway.
    Transaction t;
    if (stored().isEmpty()) {
        PreparedStatement(QStringLiteral("insert or replace into SendSetting (Name, Value) values('UnsubscribeKey', ?)"))
            .run({QString::fromLatin1(fresh.toHex())});
    }
    key = stored();
    t.commit();
    return key;
}

} // namespace UnsubscribeKey

#include "store/InboxSettings.h"

#include "store/PreparedStatement.h"
#include "store/Database.h"

InboxSettings InboxSettings::load()
{
    InboxSettings settings;
    PreparedStatement s(QStringLiteral("select int1,int2,int3,str1,str2,str3 from CommonTBL where key1 = 100 and key2 = 4"));
    s.exec();
    // Should the row be there twice, the last one read counts.
    while (s.next()) {
        const qint64 port = s.value(0).toLongLong();
        settings.port = port > 0 && port <= 65535 ? int(port) : 0;
        settings.useOwn = s.value(1).toLongLong() != 0;
        const qint64 tls = s.value(2).toLongLong();
        settings.tls = tls >= 0 && tls <= 2 ? int(tls) : 0;
        settings.host = s.value(3).toString();
        settings.user = s.value(4).toString();
        settings.password = s.value(5).toString();
    }
    s.finish();
    PreparedStatement more(QStringLiteral("select int1,int2,str1,str2 from CommonTBL where key1 = 100 and key2 = 5"));
    more.exec();
    while (more.next()) {
        settings.protocol = more.value(0).toLongLong() == 1 ? 1 : 0;
        const qint64 days = more.value(1).toLongLong();
        settings.deleteUnknownAfterDays = days > 0 && days <= 36500 ? int(days) : 0;
        settings.folder = more.value(2).toString();
        settings.moveTo = more.value(3).toString();
    }
    more.finish();
    return settings;
}

void InboxSettings::save(const InboxSettings &settings)
{
    Transaction t;
    const QVariantList values{settings.port, FlagValue(settings.useOwn), settings.tls, TextValue(settings.host),
                              TextValue(settings.user), TextValue(settings.password)};
    PreparedStatement update(QStringLiteral(
        "update CommonTBL set int1 = ?, int2 = ?, int3 = ?, str1 = ?, str2 = ?, str3 = ? where key1 = 100 and key2 = 4"));
    update.bindFrom(0, values);
    update.exec();
    if (update.rowsAffected() == 0) {
        PreparedStatement insert(QStringLiteral("insert into CommonTBL values(100, 4, ?, ?, ?, ?, ?, ?)"));
        insert.bindFrom(0, values);
        insert.exec();
    }
    const QVariantList more{settings.protocol, settings.deleteUnknownAfterDays, TextValue(settings.folder),
                            TextValue(settings.moveTo)};
    PreparedStatement updateMore(
        QStringLiteral("update CommonTBL set int1 = ?, int2 = ?, str1 = ?, str2 = ? where key1 = 100 and key2 = 5"));
    updateMore.bindFrom(0, more);
    updateMore.exec();
    if (updateMore.rowsAffected() == 0) {
        PreparedStatement insert(QStringLiteral("insert into CommonTBL values(100, 5, ?, ?, 0, ?, ?, NULL)"));
        insert.bindFrom(0, more);
        insert.exec();
    }
    t.commit();
}

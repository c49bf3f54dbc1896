#include "store/ServerSettings.h"

#include "store/PreparedStatement.h"
#include "store/Database.h"

#include <limits>

namespace {

constexpr int kSmtpRow = 1;
constexpr int kPopRow = 2;
constexpr int kSecurityRow = 3;

QString textAt(const PreparedStatement &s, int column)
{
    return s.value(column).toString();
}

bool flagAt(const PreparedStatement &s, int column)
{
    return s.value(column).toLongLong() != 0;
}

// The number as stored; one that does not fit an int reads as 0.
int portAt(const PreparedStatement &s, int column)
{
    const qint64 port = s.value(column).toLongLong();
    return port >= std::numeric_limits<int>::min() && port <= std::numeric_limits<int>::max() ? int(port) : 0;
}

std::optional<SmtpSecurity> securityAt(const PreparedStatement &s, int column)
{
    switch (s.value(column).toLongLong()) {
    case 0: return SmtpSecurity::None;
    case 1: return SmtpSecurity::StartTls;
    case 2: return SmtpSecurity::Implicit;
    default: return std::nullopt;
    }
}

} // namespace

SmtpSecurity ServerSettings::smtpSecurity() const
{
    if (SmtpTls)
        return *SmtpTls;
    return SmtpAuth && UseSsl ? SmtpSecurity::StartTls : SmtpSecurity::None;
}

ServerSettings ServerSettings::load(Stored *stored)
{
    ServerSettings settings;
    Stored found;
    PreparedStatement s(
        QStringLiteral("select key2,int1,int2,int3,str1,str2,str3 from CommonTBL where key1 = 100 order by key2"));
    s.exec();
    // Should a row be there twice, the last one read counts.
    while (s.next()) {
        const qint64 key2 = s.value(0).toLongLong();
        if (key2 == kSmtpRow) {
            found.smtp = true;
            settings.SmtpPort = portAt(s, 1);
            settings.SmtpAuth = flagAt(s, 2);
            settings.UseSsl = flagAt(s, 3);
            settings.SmtpHost = textAt(s, 4);
            settings.SmtpUser = textAt(s, 5);
            settings.SmtpPassword = textAt(s, 6);
        } else if (key2 == kPopRow) {
            found.pop = true;
            settings.PopPort = portAt(s, 1);
            settings.PopBeforeSmtp = flagAt(s, 2);
            settings.PopHost = textAt(s, 4);
            settings.PopUser = textAt(s, 5);
            settings.PopPassword = textAt(s, 6);
        } else if (key2 == kSecurityRow) {
            settings.SmtpTls = securityAt(s, 1);
            found.security = settings.SmtpTls.has_value();
            settings.VerifyCertificate = found.security && flagAt(s, 2);
        }
    }
    s.finish();
    if (stored)
        *stored = found;
    return settings;
}

void ServerSettings::save(const ServerSettings &settings)
{
    Transaction t;

    // SMTP row.
    {
        PreparedStatement update(QStringLiteral(
            "update CommonTBL set int1 = ?, int2 = ?, int3 = ?, str1 = ?, str2 = ?, str3 = ? where key1 = 100 and key2 = 1"));
        update.run({settings.SmtpPort, FlagValue(settings.SmtpAuth), FlagValue(settings.UseSsl), TextValue(settings.SmtpHost),
                     TextValue(settings.SmtpUser), TextValue(settings.SmtpPassword)});
        if (update.rowsAffected() == 0) {
            PreparedStatement insert(QStringLiteral("insert into CommonTBL values(100, 1, ?, ?, ?, ?, ?, ?)"));
            insert.run({settings.SmtpPort, FlagValue(settings.SmtpAuth), FlagValue(settings.UseSsl), TextValue(settings.SmtpHost),
                         TextValue(settings.SmtpUser), TextValue(settings.SmtpPassword)});
        }
    }

    // POP row: int3 is always 0 and an update leaves it as it is.
    {
        const bool on = settings.PopBeforeSmtp;
        const QVariant none;  // NULL
        const QVariant port = on ? settings.PopPort : 0;
        const QVariant host = on ? TextValue(settings.PopHost) : none;
        const QVariant user = on ? TextValue(settings.PopUser) : none;
        const QVariant password = on ? TextValue(settings.PopPassword) : none;
        PreparedStatement update(QStringLiteral(
            "update CommonTBL set int1 = ?, int2 = ?, str1 = ?, str2 = ?, str3 = ? where key1 = 100 and key2 = 2"));
        update.run({port, FlagValue(on), host, user, password});
        if (update.rowsAffected() == 0) {
            PreparedStatement insert(QStringLiteral("insert into CommonTBL values(100, 2, ?, ?, 0, ?, ?, ?)"));
            insert.run({port, FlagValue(on), host, user, password});
        }
    }

    // Security row.
    if (settings.SmtpTls) {
        const int mode = int(*settings.SmtpTls);
        PreparedStatement update(QStringLiteral(
            "update CommonTBL set int1 = ?, int2 = ?, int3 = 0, str1 = NULL, str2 = NULL, str3 = NULL "
            "where key1 = 100 and key2 = 3"));
        update.run({mode, FlagValue(settings.VerifyCertificate)});
        if (update.rowsAffected() == 0) {
            PreparedStatement insert(QStringLiteral("insert into CommonTBL values(100, 3, ?, ?, 0, NULL, NULL, NULL)"));
            insert.run({mode, FlagValue(settings.VerifyCertificate)});
        }
    }

    t.commit();
}

#include "mail/ConnInfo.h"

#include "mail/Pop3Client.h"
#include "mail/SmtpClient.h"
#include "store/Database.h"

ConnInfo LoadConnInfo()
{
    ConnInfo info;
    Statement s;
    s.open(QStringLiteral("select * from CommonTBL where key1 = 100"));
    while (s.next()) {
        const qint64 key2 = s.integer(QStringLiteral("key2"));
        if (key2 == 1) {
            info.SmtpHost = s.text(QStringLiteral("str1"));
            info.SmtpUser = s.text(QStringLiteral("str2"));
            info.SmtpPassword = s.text(QStringLiteral("str3"));
            info.SmtpPort = int(s.integer(QStringLiteral("int1")));
            info.SmtpAuth = s.integer(QStringLiteral("int2")) != 0;
            info.UseSsl = s.integer(QStringLiteral("int3")) != 0;
        } else if (key2 == 2) {
            info.PopHost = s.text(QStringLiteral("str1"));
            info.PopUser = s.text(QStringLiteral("str2"));
            info.PopPassword = s.text(QStringLiteral("str3"));
            info.PopPort = int(s.integer(QStringLiteral("int1")));
            info.PopBeforeSmtp = s.integer(QStringLiteral("int2")) != 0;
        }
    }
    return info;
}

namespace {

quint16 portOf(qint64 value)
{
    return value > 0 && value <= 65535 ? quint16(value) : 0;
}

std::unique_ptr<MailSocket> newSocket(const ConnectOptions &options)
{
    auto socket = options.socketFactory ? options.socketFactory() : makeTcpMailSocket();
    socket->setCancelFlag(options.cancel);
    return socket;
}

} // namespace

bool ConnectServers(SmtpClient &smtp, const ConnectOptions &options, QString *failure)
{
    SmtpOptions o;
    o.port = 0;
    o.connectTimeoutMs = options.connectTimeoutMs;
    o.replyTimeoutMs = options.replyTimeoutMs;
    o.heloName = options.heloName;

    Statement s;
    s.open(QStringLiteral("select * from CommonTBL where key1 = 100"));
    while (s.next()) {
        const qint64 key2 = s.integer(QStringLiteral("key2"));
        if (key2 == 1) {
            o.host = s.text(QStringLiteral("str1"));
            o.port = portOf(s.integer(QStringLiteral("int1")));
            if (s.integer(QStringLiteral("int2")) == 1) {
                o.user = s.text(QStringLiteral("str2"));
                o.password = s.text(QStringLiteral("str3"));
                o.startTls = s.integer(QStringLiteral("int3")) == 1;
            } else {
                o.user.clear();
                o.password.clear();
                o.startTls = false;
            }
        } else if (key2 == 2 && s.integer(QStringLiteral("int2")) == 1) {
            Pop3Options p;
            p.host = s.text(QStringLiteral("str1"));
            p.port = portOf(s.integer(QStringLiteral("int1")));
            p.user = s.text(QStringLiteral("str2"));
            p.password = s.text(QStringLiteral("str3"));
            p.connectTimeoutMs = options.connectTimeoutMs;
            p.replyTimeoutMs = options.replyTimeoutMs;
            auto pop = newSocket(options);
            QString why;
            if (!Pop3LoginLogout(*pop, p, &why)) {
                *failure = QStringLiteral("Pop3の接続エラー ") + why;
                return false;
            }
        }
    }
    s.close();
    smtp.setOptions(o);
    if (!smtp.connectToServer()) {
        *failure = QStringLiteral("SMTPの接続エラー ") + smtp.errorString();
        return false;
    }
    return true;
}

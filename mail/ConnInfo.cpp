#include "mail/ConnInfo.h"

ConnInfo LoadConnInfo()
{
    return ServerSettings::load();
}

namespace {

// A stored number that is no port leaves the session without one, and its connection fails.
quint16 portOf(int value)
{
    return value > 0 && value <= 65535 ? quint16(value) : 0;
}

} // namespace

SmtpOptions SmtpOptionsFor(const ServerSettings &settings)
{
    SmtpOptions o;
    o.host = settings.SmtpHost;
    o.port = portOf(settings.SmtpPort);
    if (settings.SmtpAuth) {
        o.user = settings.SmtpUser;
        o.password = settings.SmtpPassword;
    }
    o.startTls = settings.smtpSecurity() == SmtpSecurity::StartTls;
    o.implicitTls = settings.smtpSecurity() == SmtpSecurity::Implicit;
    o.verifyCertificate = settings.verifyCertificate();
    return o;
}

Pop3Options Pop3OptionsFor(const ServerSettings &settings)
{
    Pop3Options p;
    p.host = settings.PopHost;
    p.port = portOf(settings.PopPort);
    p.user = settings.PopUser;
    p.password = settings.PopPassword;
    return p;
}

bool ConnectServers(SmtpClient &smtp, const ServerSettings &settings, const ConnectOptions &options,
                    QString *failure)
{
    if (settings.PopBeforeSmtp) {
        Pop3Options p = Pop3OptionsFor(settings);
        p.connectTimeoutMs = options.connectTimeoutMs;
        p.replyTimeoutMs = options.replyTimeoutMs;
        auto pop = options.socketFactory ? options.socketFactory() : makeTcpMailSocket();
        pop->setCancelFlag(options.cancel);
        QString why;
        if (!Pop3LoginLogout(*pop, p, &why)) {
            *failure = QStringLiteral("Pop3の接続エラー ") + why;
            return false;
        }
    }
    SmtpOptions o = SmtpOptionsFor(settings);
    o.connectTimeoutMs = options.connectTimeoutMs;
    o.replyTimeoutMs = options.replyTimeoutMs;
    o.heloName = options.heloName;
    smtp.setOptions(o);
    if (!smtp.connectToServer()) {
        *failure = QStringLiteral("SMTPの接続エラー ") + smtp.errorString();
        return false;
    }
    return true;
}

bool ConnectServers(SmtpClient &smtp, const ConnectOptions &options, QString *failure)
{
    return ConnectServers(smtp, ServerSettings::load(), options, failure);
}

#include "mail/ConnSettingsCheck.h"

ConnSettingsProblem CheckConnSettings(const ServerSettings &settings)
{
    using Field = ConnSettingsProblem::Field;
    const QString user = QStringLiteral("ユーザ名を入力してください");
    const QString password = QStringLiteral("パスワードを入力してください");
    if (settings.PopBeforeSmtp) {
        if (settings.PopUser.isEmpty())
            return {Field::PopUser, user};
        if (settings.PopPassword.isEmpty())
            return {Field::PopPassword, password};
        if (settings.PopHost.isEmpty())
            return {Field::PopHost, QStringLiteral("POPサーバを入力してください")};
    }
    if (settings.SmtpAuth) {
        if (settings.SmtpUser.isEmpty())
            return {Field::SmtpUser, user};
        if (settings.SmtpPassword.isEmpty())
            return {Field::SmtpPassword, password};
    }
    return {};
}

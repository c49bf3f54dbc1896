#pragma once
// What the connection dialog requires before it hands back the settings: the POP3 account
// and server while POP before SMTP is on, and the SMTP account while the server requires
// authentication. The SMTP host is not required.
#include "store/ServerSettings.h"

#include <QString>

struct ConnSettingsProblem {
    // The field to put right, named after what it holds.
    enum class Field { None, PopHost, PopUser, PopPassword, SmtpUser, SmtpPassword };
    Field field = Field::None;
    QString message;  // the warning to show

    bool ok() const { return field == Field::None; }
};

// The first problem, in the order the dialog shows them (the POP fields before the SMTP
// ones); ok() when there is none.
ConnSettingsProblem CheckConnSettings(const ServerSettings &settings);

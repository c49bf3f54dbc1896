#pragma once
// The mail-server settings: the two CommonTBL rows with key1 = 100, key2 = 1 for SMTP and
// key2 = 2 for POP before SMTP. This is the one place that reads and writes them.
//
//          SMTP row (key2 = 1)         POP row (key2 = 2)
//   int1   port                        port; 0 while POP before SMTP is off
//   int2   1 = authentication          1 = POP before SMTP on
//   int3   1 = SSL                     0
//   str1   host                        host; NULL while off
//   str2   user name                   user name; NULL while off
//   str3   password                    password; NULL while off
//
// Texts are bound, never pasted, so any text (quotes, NUL, line breaks) is stored and read
// back exactly. Failures throw StoreError.
#include <QString>

struct ServerSettings {
    QString SmtpHost;
    int SmtpPort = 0;  // 1 to 65535 as entered
    bool SmtpAuth = false;
    QString SmtpUser;
    QString SmtpPassword;
    bool UseSsl = false;  // takes effect only together with SmtpAuth
    bool PopBeforeSmtp = false;
    QString PopHost;
    int PopPort = 0;
    QString PopUser;
    QString PopPassword;

    bool operator==(const ServerSettings &other) const = default;

    // Which of the two rows the store holds.
    struct Stored {
        bool smtp = false;
        bool pop = false;
    };

    // The rows as they are stored: a missing row leaves its fields empty, 0 and off; a NULL
    // text reads as empty and a NULL number as 0; a flag is on for any value but 0; a port
    // is the number as stored, whether a port or not (the sessions refuse one that is not).
    // Rows with another key2 are ignored, and of a row stored twice the last one counts.
    // *stored, when given, tells which rows were there.
    static ServerSettings load(Stored *stored = nullptr);

    // Writes both rows in one transaction, each updated in place or inserted when missing.
    // The SMTP user name and password are kept whatever SmtpAuth says; while PopBeforeSmtp is
    // off the POP row holds port 0 and NULL texts, whatever the POP fields say. On failure
    // nothing is changed.
    static void save(const ServerSettings &settings);
};

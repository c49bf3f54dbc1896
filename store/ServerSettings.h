#pragma once
// The mail-server settings: the CommonTBL rows with key1 = 100, key2 = 1 for SMTP, key2 = 2
// for POP before SMTP and key2 = 3 for the SMTP connection's security. This is the one place
// that reads and writes them.
//
//          SMTP row (key2 = 1)         POP row (key2 = 2)
//   int1   port                        port; 0 while POP before SMTP is off
//   int2   1 = authentication          1 = POP before SMTP on
//   int3   1 = SSL                     0
//   str1   host                        host; NULL while off
//   str2   user name                   user name; NULL while off
//   str3   password                    password; NULL while off
//
//          SMTP security row (key2 = 3; missing in stores written before it existed)
//   int1   0 = no TLS, 1 = STARTTLS, 2 = TLS from the first byte (SMTPS, usually port 465)
//   int2   1 = verify the server's certificate
//   int3   0 (reserved)
//   str1   NULL (reserved), likewise str2 and str3
//
// Without the security row the SMTP row's int3 decides as it always did: STARTTLS when both
// it and authentication are on, no TLS otherwise, and no certificate check. Builds that know
// only rows 1 and 2 ignore row 3; the SMTP row's int3 is kept in step with it (1 for any
// TLS) for them.
//
// Texts are bound, never pasted, so any text (quotes, NUL, line breaks) is stored and read
// back exactly. Failures throw StoreError.
#include <QString>

#include <optional>

enum class SmtpSecurity { None = 0, StartTls = 1, Implicit = 2 };

struct ServerSettings {
    QString SmtpHost;
    int SmtpPort = 0;  // 1 to 65535 as entered
    bool SmtpAuth = false;
    QString SmtpUser;
    QString SmtpPassword;
    bool UseSsl = false;  // without SmtpTls: takes effect only together with SmtpAuth
    // The security row's choice; empty while the store has no such row.
    std::optional<SmtpSecurity> SmtpTls;
    bool VerifyCertificate = false;  // with SmtpTls only
    bool PopBeforeSmtp = false;
    QString PopHost;
    int PopPort = 0;
    QString PopUser;
    QString PopPassword;

    bool operator==(const ServerSettings &other) const = default;

    // How the SMTP connection is protected: the security row's choice, or, without one, the
    // SMTP row's SSL flag as it always counted (STARTTLS only together with authentication).
    SmtpSecurity smtpSecurity() const;
    // Whether the server's certificate must verify: only by the security row's choice, and
    // never for a connection without TLS.
    bool verifyCertificate() const { return SmtpTls && VerifyCertificate && *SmtpTls != SmtpSecurity::None; }

    // Which rows the store holds.
    struct Stored {
        bool smtp = false;
        bool pop = false;
        bool security = false;
    };

    // The rows as they are stored: a missing row leaves its fields empty, 0 and off; a NULL
    // text reads as empty and a NULL number as 0; a flag is on for any value but 0; a port
    // is the number as stored, whether a port or not (the sessions refuse one that is not).
    // A security row with a TLS choice other than 0, 1 or 2 (written by a later build) counts
    // as missing. Rows with another key2 are ignored, and of a row stored twice the last one
    // counts.
    // *stored, when given, tells which rows were there.
    static ServerSettings load(Stored *stored = nullptr);

    // Writes the rows in one transaction, each updated in place or inserted when missing.
    // The SMTP user name and password are kept whatever SmtpAuth says; while PopBeforeSmtp is
    // off the POP row holds port 0 and NULL texts, whatever the POP fields say. The security
    // row is written when SmtpTls holds a choice and left as it is when it does not. On failure
    // nothing is changed.
    static void save(const ServerSettings &settings);
};

#pragma once
// The mail-server settings: two rows of CommonTBL with key1 = 100, key2 = 1 for SMTP and
// key2 = 2 for POP before SMTP (int1 port, int2 auth / POP on, int3 SSL, str1 host, str2 user,
// str3 password). ConnInfo is the main window's copy; deliveries read the rows afresh.
#include "mail/MailSocket.h"

#include <QString>

class SmtpClient;

struct ConnInfo {
    QString SmtpHost;
    int SmtpPort = 0;
    bool SmtpAuth = false;
    QString SmtpUser;
    QString SmtpPassword;
    bool UseSsl = false;
    bool PopBeforeSmtp = false;
    QString PopHost;
    int PopPort = 0;
    QString PopUser;
    QString PopPassword;
};

// The two rows as they are stored now (fields cleared first; other key2 values ignored).
ConnInfo LoadConnInfo();

// Time-outs and the transport of a delivery's connections.
struct ConnectOptions {
    MailSocketFactory socketFactory;  // empty: real TCP sockets
    int connectTimeoutMs = 30000;
    int replyTimeoutMs = 60000;
    QString heloName;                 // empty: this machine's host name
    const std::atomic<bool> *cancel = nullptr;
};

// Reads the rows, logs in to POP3 and out again when POP before SMTP is on, then connects
// the SMTP client (greeting and EHLO). False after a failure, with the text of the error box
// to show in *failure: "Pop3の接続エラー " or "SMTPの接続エラー " followed by the reason.
// The SMTP server is not contacted when the POP3 login failed.
bool ConnectServers(SmtpClient &smtp, const ConnectOptions &options, QString *failure);

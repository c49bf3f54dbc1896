#pragma once
// The mail-server settings as the sessions use them. ConnInfo is the main window's copy of
// the stored settings; deliveries read the rows afresh, and the test mail of the connection
// dialog uses the values typed in it.
#include "mail/MailSocket.h"
#include "mail/Pop3Client.h"
#include "mail/SmtpClient.h"
#include "store/ServerSettings.h"

#include <QString>

using ConnInfo = ServerSettings;

// The rows as they are stored now (ServerSettings::load). Throws StoreError.
ConnInfo LoadConnInfo();

// Host and port of the SMTP server; user name and password only when the server requires
// authentication; the connection's security and certificate check as
// ServerSettings::smtpSecurity() and verifyCertificate() say. Time-outs and the HELO name are
// left at their defaults for the caller to set.
SmtpOptions SmtpOptionsFor(const ServerSettings &settings);
// Host, port, user name and password of the POP3 server.
Pop3Options Pop3OptionsFor(const ServerSettings &settings);

// Time-outs and the transport of a delivery's connections.
struct ConnectOptions {
    MailSocketFactory socketFactory;  // empty: real TCP sockets
    int connectTimeoutMs = 30000;
    int replyTimeoutMs = 60000;
    QString heloName;                 // empty: this machine's host name
    const std::atomic<bool> *cancel = nullptr;
};

// Logs in to POP3 and out again when POP before SMTP is on, then connects the SMTP client
// (greeting and EHLO). False after a failure, with the text of the error box to show in
// *failure: "Pop3の接続エラー " or "SMTPの接続エラー " followed by the reason. The SMTP
// server is not contacted when the POP3 login failed.
bool ConnectServers(SmtpClient &smtp, const ServerSettings &settings, const ConnectOptions &options,
                    QString *failure);

// The same with the settings as they are stored now. Throws StoreError when they cannot be
// read; no server is contacted then.
bool ConnectServers(SmtpClient &smtp, const ConnectOptions &options, QString *failure);

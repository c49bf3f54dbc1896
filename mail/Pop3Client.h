#pragma once
// POP3 (RFC 1939) as used for "POP before SMTP": log in and log out again at once, in
// clear text. The login is what opens the provider's SMTP server to this client.
#include "mail/MailSocket.h"

struct Pop3Options {
    QString host;
    quint16 port = 110;
    QString user;
    QString password;
    int connectTimeoutMs = 30000;
    int replyTimeoutMs = 60000;
};

// Greeting, CAPA (answer only noted), USER, PASS, QUIT, close. Any answer other than +OK
// fails; *error then holds the server's own answer or the transport's reason.
bool Pop3LoginLogout(MailSocket &socket, const Pop3Options &options, QString *error);

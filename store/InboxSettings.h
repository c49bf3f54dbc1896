#pragma once
// The mailbox that replies and delivery reports come back to: the CommonTBL row key1 = 100,
// key2 = 4 (older builds ignore it).
//
//   int1  port
//   int2  1 = use this row's server; 0 = use the POP row (key2 = 2) of POP before SMTP
//   int3  TLS: 0 none, 1 STLS, 2 implicit (995); it applies to either server
//
// Whether the server's certificate must verify is the connection dialog's one choice for
// every connection (the SMTP security row, key2 = 3), not kept here.
//   str1  host
//   str2  user name
//   str3  password
//
// and the row key1 = 100, key2 = 5, for what only a pass over the inbox uses:
//
//   int1  protocol: 0 POP3, 1 IMAP
//   int2  days after which mail left alone is deleted (0: never)
//   str1  IMAP folder read (empty: INBOX)
//   str2  IMAP folder processed mail is moved to (empty: deleted)
//
// Texts are bound, never pasted. Failures throw StoreError.
#include <QString>

struct InboxSettings {
    bool useOwn = false;
    QString host;
    int port = 110;
    QString user;
    QString password;
    int tls = 0;  // 0 none, 1 STLS, 2 implicit
    int protocol = 0;  // 0 POP3, 1 IMAP (own server only; the POP row is POP3)
    int deleteUnknownAfterDays = 0;
    QString folder{};
    QString moveTo{};

    bool operator==(const InboxSettings &) const = default;

    // The row as stored; the defaults above when there is none.
    static InboxSettings load();
    // Updates the rows in place or inserts them.
    static void save(const InboxSettings &settings);
};

#pragma once
// The mailbox that replies and delivery reports come back to: the CommonTBL row key1 = 100,
// key2 = 4 (older builds ignore it).
//
//   int1  port
//   int2  1 = use this row's server; 0 = use the POP row (key2 = 2) of POP before SMTP
//   int3  TLS: 0 none, 1 STLS, 2 implicit (995); it applies to either server
//   str1  host
//   str2  user name
//   str3  password
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

    bool operator==(const InboxSettings &) const = default;

    // The row as stored; the defaults above when there is none.
    static InboxSettings load();
    // Updates the row in place or inserts it.
    static void save(const InboxSettings &settings);
};

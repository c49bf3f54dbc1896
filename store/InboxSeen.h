#pragma once
// The messages of a mailbox already dealt with (own table InboxSeen: Mailbox, Uidl, State,
// SeenDate), so a message left in the mailbox is not read again on every run and a committed
// effect is never applied twice.
//
// The Uidl column holds the message's key: "ID SIZE DIGEST" (the server's unique id, the
// size, a digest of the bytes), or "ID SIZE" for one that could not be read. An id alone may
// come back for another message (a server repeating ids, a mailbox made anew, this table
// restored from a backup older than the mail); a key with the digest cannot, so a row never
// makes other mail look handled. The key's first word is the id.
#include <QByteArray>
#include <QHash>
#include <QList>
#include <QString>

namespace InboxSeen {

enum class State {
    New = 0,   // not seen
    Done = 1,  // its effect is committed; delete it
    Left = 2,  // not ours to handle; leave it
    Unreadable = 3,  // could not be read (too big, without end, refused by the server); leave it
};

struct SeenRow {
    QByteArray key;
    State state = State::New;
    QString seenDate;  // "yyyy/MM/dd hh:mm" when it was marked
};

// The states of this mailbox's ids that are stored.
QHash<QByteArray, State> load(const QString &mailbox);
// Records the id's state. Takes part in the caller's transaction when one is open.
void mark(const QString &mailbox, const QByteArray &uidl, State state);
// The stored rows of this mailbox, with when each was marked.
QList<SeenRow> rows(const QString &mailbox);
// Forgets the rows of this mailbox whose id (the key's first word) is not among these (gone
// from the server).
void keepOnly(const QString &mailbox, const QList<QByteArray> &present);

} // namespace InboxSeen

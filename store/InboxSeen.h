#pragma once
// The messages of a mailbox already dealt with, by their unique id (own table InboxSeen:
// Mailbox, Uidl, State, SeenDate), so a message left in the mailbox is not read again on
// every run and a committed effect is never applied twice.
#include <QByteArray>
#include <QHash>
#include <QList>
#include <QString>

namespace InboxSeen {

enum class State {
    New = 0,   // not seen
    Done = 1,  // its effect is committed; delete it
    Left = 2,  // not ours to handle; leave it
};

// The states of this mailbox's ids that are stored.
QHash<QByteArray, State> load(const QString &mailbox);
// Records the id's state. Takes part in the caller's transaction when one is open.
void mark(const QString &mailbox, const QByteArray &uidl, State state);
// Forgets the ids of this mailbox that are not among these (gone from the server).
void keepOnly(const QString &mailbox, const QList<QByteArray> &present);

} // namespace InboxSeen

#pragma once
// What one message read from the sender's mailbox does: an unsubscribe request or a delivery
// report changes members, anything else is left alone. The effect and the message's id are
// committed in one transaction (the store's own), so a message read twice counts once; the
// pass over the mailbox decides only what to read and what to delete.
#include "mail/InboundMail.h"
#include "mail/InboxProcess.h"

#include <QByteArray>
#include <QString>

namespace InboxMessage {

enum class Disposition {
    Handled,  // its effect is committed: the message may be deleted
    Left,     // nothing to do with it: it stays in the mailbox (and is not read again)
};

// Applies the message's effect for the mailbox (its identity) and the message's id, counting
// it in summary. key: the store's unsubscribe key. Throws StoreError.
Disposition handle(const InboundPart &mail, const QString &mailbox, const QByteArray &uidl, const QByteArray &key,
                   InboxSummary &summary);

} // namespace InboxMessage

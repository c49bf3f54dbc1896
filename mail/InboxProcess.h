#pragma once
// Processing what comes back to the sender's mailbox: unsubscribe requests and delivery
// reports change the members; everything else is left alone.
//
// Order, per message: the ids are listed; a message already dealt with is not read again
// unless to be deleted (one whose effect is committed but that is still there is read only
// to make sure it is the same message, then deleted); the message is read, classified, its
// effect and its key (id, size, digest: store/InboxSeen.h) committed in one transaction, and
// only then marked for deletion. Every message is addressed by its number in the session
// that listed it. The end of each session (QUIT) makes its deletions real; a pass ends its
// session whatever happened, so what was applied is deleted. A run that breaks off anywhere
// leaves every uncommitted message in the mailbox and never applies a committed effect twice.
//
// Nothing blocks a pass: a message that cannot be read (too big, a body without end, refused
// by the server) is remembered as unreadable, counted and left, and the pass goes on, in a new
// session when the old one became unusable. A pass takes the whole mailbox, in sessions of
// chunkMessages messages or more (some ten for the biggest mailbox), each ending with its
// deletions made real.
#include "mail/ImapMailbox.h"
#include "mail/MailSocket.h"
#include "mail/Pop3Mailbox.h"

#include <QString>

#include <atomic>
#include <functional>
#include <optional>

enum class InboxProtocol { Pop3 = 0, Imap = 1 };

struct InboxOptions {
    InboxProtocol protocol = InboxProtocol::Pop3;
    Pop3MailboxOptions server;  // the connection and its bounds, for either protocol
    QString folder;             // IMAP: the folder read (empty: INBOX)
    QString moveTo;             // IMAP: processed mail is moved there instead of deleted
    bool keep = false;          // delete nothing (effects are still applied, once)
    int deleteUnknownAfterDays = 0;  // > 0: mail left alone this many days after it was first read is deleted
    int chunkMessages = 1000;   // messages read in one session at least before its deletions are made real
    int maxReconnects = 20;     // new sessions after an unusable one, per pass
};

struct InboxSummary {
    enum class End {
        Done,          // every message listed was dealt with (or left for a reason counted below)
        ServerFailed,  // the mailbox could not be opened or broke off
        StoreFailed,   // the store refused; the message being dealt with stays in the mailbox
        Cancelled,
    };
    End end = End::Done;
    QString error;              // the reason for a failed end

    int listed = 0;             // messages in the mailbox
    int read = 0;               // messages retrieved this run
    int unsubscribed = 0;       // members set to Sleep by a request
    int addressUnsubscribed = 0;  // of those, by a request without a token from their own address
    int removed = 0;            // members deleted by a request
    int bounces = 0;            // members whose bounce count went up
    int hardBounces = 0;        // of those, for good (these count towards the limit)
    int softBounces = 0;        // of those, for now, or by a report nobody vouches for
    int suspended = 0;          // of those, members set to Sleep for reaching the limit
    int complaints = 0;         // members a complaint report named
    int complaintSuspended = 0; // of those, set to Sleep now (the others were already)
    int unmatchedReports = 0;   // delivery reports and complaints naming no member (left in the mailbox)
    int unknown = 0;            // messages neither request nor report (left)
    int forged = 0;             // requests with a token that does not check out (left)
    int tooLarge = 0;           // messages above the size bound (left, not read)
    int unreadable = 0;         // messages that could not be read (remembered and left)
    int expired = 0;            // unrecognised messages deleted for their age
    int deleted = 0;            // messages deleted from the mailbox at the end
    int postponed = 0;          // left for a later run

    bool operator==(const InboxSummary &) const = default;

    // What was done, in Japanese, one item a line (for the summary box and the command line).
    QString text() const;
    // Some member was suspended, removed or counted: a member list on show is out of date.
    bool membersChanged() const { return unsubscribed + removed + bounces + complaints > 0; }
};

using InboxProgress = std::function<void(int done, int total)>;

// Runs one pass over the mailbox. progress (may be empty) is called after each message;
// cancel (may be null) stops the pass between messages, committing nothing more, then QUIT
// deletes what was committed. The store effects use this thread's store connection.
InboxSummary ProcessInbox(Mailbox &mailbox, const InboxOptions &options, const InboxProgress &progress,
                          const std::atomic<bool> *cancel);

// The same over POP3 or IMAP through a socket from the factory (empty: a real TCP socket).
InboxSummary ProcessInbox(const InboxOptions &options, const MailSocketFactory &factory,
                          const InboxProgress &progress, const std::atomic<bool> *cancel);

// The options from the stored settings: the inbox's own server when it has one, otherwise
// the POP row's; the inbox's TLS choice, and the connection dialog's certificate check. Throws StoreError; nullopt (with *error) when no server is set.
std::optional<InboxOptions> InboxOptionsFromStore(QString *error);

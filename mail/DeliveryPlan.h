#pragma once
// A recorded issue ready to send: who it comes from, what it says, how it goes out and to
// whom. Loaded from the store before the mail connection is opened; the recipients are
// read one by one while sending.
#include "mail/UPlaceholders.h"

#include <QDateTime>
#include <QString>

#include <memory>

// How the mails of one issue go out: one personalised mail per member when the body holds
// a placeholder, else one mail per member when the magazine sends individually, else mails
// to hidden recipients in batches.
enum class DeliveryMode { Personalised, Individual, Batch };

DeliveryMode ChooseDeliveryMode(const QString &Body, bool UseUserName);

struct DeliveryRecipient {
    qint64 MagUser = 0;  // the member's UserIdx: completion is recorded by it
    QString UserAdrs;
    MemberValues values;
    int attempts = 0;   // tries already made (a deferred recipient of an earlier run)
    QDateTime nextTry;  // deferred: not before this moment; invalid for a first try
    bool deleted = false;  // the member was deleted since the issue was recorded
};

struct DeliveryRecipientRecord;
// A member's row as the send step takes it (a first try).
DeliveryRecipient ToDeliveryRecipient(DeliveryRecipientRecord row);

// The recipients in the order they are to be sent to.
class RecipientSource
{
public:
    virtual ~RecipientSource() = default;
    // The next recipient; false after the last one, or when the next could not be read
    // (failure() then says why and is not empty).
    virtual bool next(DeliveryRecipient *recipient) = 0;
    virtual QString failure() const = 0;
};

struct DeliveryPlan {
    int MagIdx = 0;
    int MagCnt = 0;
    QString Owner;
    QString Adrs;
    QString Atena;
    QString Title;
    QString Body;       // as the members read it (stored escapes restored)
    DeliveryMode mode = DeliveryMode::Batch;
    bool forceUtf8 = false;  // every mail as UTF-8, whatever its text
    // List-Unsubscribe: where unsubscribe mails go (none: no field), the one-click URL, and
    // the store's key that signs each member's token (in List-Unsubscribe, the return path
    // and TokenField).
    QString unsubscribeAddress;
    QString unsubscribeUrl;
    QByteArray unsubscribeKey;
    // Where bounces go; empty: the sender address. Each member's mail names its member in it.
    QString returnPath;
    QString UpdateSQL;  // after-send update's set clause; empty for none
    std::unique_ptr<RecipientSource> recipients;
};

// Reads the issue from the store. Empty (no recipients) when MagIdx or MagCnt is 0, when the
// issue has no recipient row or the magazine row is missing: nothing is to be sent then.
// Throws StoreError when the store cannot be read.
DeliveryPlan LoadDeliveryPlan(int MagIdx, int MagCnt);

// The plan an issue not recorded yet would have, for showing its mails without sending: the
// magazine's sender and mail settings, the subject and body given (as composed), no
// recipients. Writes nothing: when the store has no unsubscribe key yet, a throwaway one
// signs the tokens shown. Empty when the magazine is missing; throws StoreError.
DeliveryPlan DraftDeliveryPlan(int MagIdx, const QString &Title, const QString &Body);

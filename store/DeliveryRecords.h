#pragma once
// What a delivery reads from the store and writes back: the issue it sends, its recipients
// one row at a time, and its completion. Values are bound, never pasted; the issue's
// after-send update is read back through its gate (store/AfterSendUpdate.h).
// Every failure throws StoreError with the engine's text.
#include "store/Batch.h"

#include <QList>
#include <QString>

// The magazine and issue rows of one delivery.
struct DeliveryIssueRecord {
    bool found = false;       // false when the magazine row is missing
    QString Owner;            // publisher name
    QString Adrs;             // sender address
    QString Atena;            // salutation
    bool UseUserName = false; // send individually
    QString Title;            // empty, like Body and UpdateSQL, when the issue row is missing
    QString Body;             // with the stored escapes already restored
    QString UpdateSQL;        // set clause of the after-send update
};

// One recipient row of an issue (a NULL counter reads 0, a NULL text "").
struct DeliveryRecipientRecord {
    qint64 MagUser = 0;
    QString UserAdrs;
    QString UserName;
    QString url;
    qint64 count1 = 0;
    qint64 count2 = 0;
    QString UserDate1;
    QString UserDate2;
};

DeliveryIssueRecord ReadDeliveryIssue(int MagIdx, int MagCnt);

// The recipients of an issue in the order the store returns them, read as they are needed
// so that a large issue is never held in memory at once.
class DeliveryRecipientCursor
{
public:
    DeliveryRecipientCursor(int MagIdx, int MagCnt);
    // False after the last row; throws when a row cannot be read.
    bool next(DeliveryRecipientRecord *row);
    void close() { m_query.finish(); }

private:
    PreparedStatement m_query;
};

// Marks the issue's recipients complete and applies the after-send update to them, in one
// transaction. When the delivery was interrupted only the members in `reached` are marked,
// and the update goes only to members marked complete. On failure nothing is changed; an
// update text that is not one this program writes is such a failure, with
// AfterSendUpdateRefusedText().
void RecordDeliveryCompletion(int MagIdx, int MagCnt, const QString &UpdateSQL, bool interrupted,
                              const QList<qint64> &reached);
QString AfterSendUpdateRefusedText();

#pragma once
// What a delivery reads from the store: the issue it sends and the shape of a recipient's
// row (read and recorded by store/SendStates.h). Values are bound, never pasted.
// Every failure throws StoreError with the engine's text.
#include "store/PreparedStatement.h"
#include "store/RecipientQuery.h"

#include <QList>
#include <QString>

#include <optional>

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

// A member's columns as a delivery selects them, in this order from the row's first column:
// UserAdrs, UserName, url, count1, count2, UserDate1, UserDate2, MagUser.
DeliveryRecipientRecord DeliveryRecipientOf(const PreparedStatement &row);

// The first member the selection reaches, in the order a delivery sends to its recipients
// (by UserIdx), with what that member's mail needs; nullopt when it reaches nobody.
std::optional<DeliveryRecipientRecord> FirstRecipient(const RecipientQuery &query);

// The text a refused after-send update fails with.
QString AfterSendUpdateRefusedText();

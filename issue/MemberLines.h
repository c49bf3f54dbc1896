#pragma once
// The lines of the targets and recipients views, read as the view needs them: "name
// <address>" for each target, and for each recipient of an issue that has per-recipient
// records, where its mail stands (DeliveryOffers::recipientLine). Only what has been asked
// for is ever read; a failing statement throws StoreError.
#include "store/RecipientQuery.h"

#include <QString>
#include <QStringList>

#include <memory>

class MemberLines
{
public:
    virtual ~MemberLines() = default;
    // Appends lines until at least `wanted` more have come or none are left.
    virtual void read(int wanted, QStringList *out) = 0;
    virtual bool atEnd() const = 0;
    // The date and subject above a recipients list; empty for targets, and for an
    // issue none of whose recipients is listed.
    QString AddDate;
    QString Title;
};

namespace MemberLineSources {

// The members the selection clause picks in the magazine.
std::unique_ptr<MemberLines> targets(const RecipientQuery &query, int magIdx);
// The recipients of one issue: with their states where the issue has per-recipient
// records, else the members it was sent to that are still members.
std::unique_ptr<MemberLines> recipients(int magIdx, int magCnt);

// "name <address>"
QString memberLine(const QString &name, const QString &address);

} // namespace MemberLineSources

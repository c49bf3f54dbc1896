#pragma once
// The members of the targets and recipients views, read a page at a time in a stable order,
// each page by its own statement that starts after the last row of the one before. No
// statement stays open between pages, so a view left open never holds the store, and a
// million rows cost no more to open than the first screenful. Values are bound; a failing
// statement throws StoreError with the engine's text.
#include "store/HistoryRecords.h"
#include "store/RecipientQuery.h"

#include <QList>

// The members a selection clause picks within the magazine, in member-number order.
class TargetPages
{
public:
    TargetPages(const RecipientQuery &query, int magIdx);
    // Reads the selected members among the next `members` members of the magazine (a
    // condition may pick none of them) and appends them to out.
    void read(int members, QList<TargetLine> *out);
    bool atEnd() const { return m_atEnd; }

private:
    RecipientQuery m_query;
    int m_magIdx;
    qint64 m_lastIdx = 0;
    qint64 m_lastRow = 0;
    bool m_atEnd = false;
};

// The members an issue was sent to that are still members (its recipient rows joined with
// the member rows), in member-number order.
class IssueRecipientPages
{
public:
    IssueRecipientPages(int magIdx, int magCnt) : m_magIdx(magIdx), m_magCnt(magCnt) {}
    // Reads the next `rows` recipient rows and appends those whose member is still there.
    void read(int rows, QList<RecipientRecord> *out);
    bool atEnd() const { return m_atEnd; }

private:
    int m_magIdx;
    int m_magCnt;
    qint64 m_lastUser = 0;
    qint64 m_lastRow = 0;
    bool m_first = true;
    bool m_atEnd = false;
};

namespace MemberPages {

// True when the issue has per-recipient records.
bool hasSendStates(int magIdx, int magCnt);
// The issue's date and subject when at least one of its recipients is still a member (what
// the first row of the recipients list carries); nullopt otherwise.
std::optional<IssueInfoRecord> listedIssue(int magIdx, int magCnt);

} // namespace MemberPages

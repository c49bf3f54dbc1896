#pragma once
// The per-recipient records of an issue with their members (empty names for a member deleted
// since), in member-number order, read a page at a time: each page is its own short statement
// that starts after the last record of the one before and is finished before it returns, so a
// reader of a million records never holds the store between pages nor the records in memory.
// Values are bound; a failing statement throws StoreError with the engine's text.
#include "store/SendStates.h"

#include <QList>

#include <optional>

class SendStatePages
{
public:
    // Every record of the issue.
    SendStatePages(int magIdx, int magCnt) : m_magIdx(magIdx), m_magCnt(magCnt) {}
    // Only the records in the given states (none given: no record at all).
    SendStatePages(int magIdx, int magCnt, const QList<SendState> &states);
    // Appends the next `recipients` records.
    void read(int recipients, QList<SendStateRow> *out);
    bool atEnd() const { return m_atEnd; }

private:
    int m_magIdx;
    int m_magCnt;
    std::optional<QList<SendState>> m_states;
    qint64 m_last = 0;
    bool m_first = true;
    bool m_atEnd = false;
};

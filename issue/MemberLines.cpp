#include "issue/MemberLines.h"

#include "issue/DeliveryOffers.h"
#include "store/MemberPages.h"
#include "store/SendStatePages.h"

#include <algorithm>

namespace {

class TargetLines : public MemberLines
{
public:
    TargetLines(const RecipientQuery &query, int magIdx) : m_pages(query, magIdx) {}
    void read(int wanted, QStringList *out) override
    {
        // A condition that picks few members reads ever larger blocks, so that finding the
        // next screenful stays a handful of statements.
        const qsizetype goal = out->size() + wanted;
        QList<TargetLine> page;
        while (out->size() < goal && !m_pages.atEnd()) {
            page.clear();
            m_pages.read(m_block, &page);
            for (const TargetLine &t : page)
                *out << MemberLineSources::memberLine(t.name, t.address);
            if (page.size() * 2 < m_block)
                m_block = std::min(m_block * 2, kMaxBlock);
        }
    }
    bool atEnd() const override { return m_pages.atEnd(); }

private:
    static constexpr int kMaxBlock = 65536;
    TargetPages m_pages;
    int m_block = 1000;
};

class StateLines : public MemberLines
{
public:
    StateLines(int magIdx, int magCnt) : m_pages(magIdx, magCnt) {}
    void read(int wanted, QStringList *out) override
    {
        QList<SendStateRow> rows;
        m_pages.read(std::max(wanted, 1), &rows);
        for (const SendStateRow &r : rows)
            *out << DeliveryOffers::recipientLine(r);
    }
    bool atEnd() const override { return m_pages.atEnd(); }

private:
    SendStatePages m_pages;
};

class RecipientLines : public MemberLines
{
public:
    RecipientLines(int magIdx, int magCnt) : m_pages(magIdx, magCnt) {}
    void read(int wanted, QStringList *out) override
    {
        // Recipients deleted since the issue leave gaps; read on until the lines are there.
        const qsizetype goal = out->size() + wanted;
        QList<RecipientRecord> rows;
        while (out->size() < goal && !m_pages.atEnd()) {
            rows.clear();
            m_pages.read(std::max(wanted, 1), &rows);
            for (const RecipientRecord &r : rows)
                *out << MemberLineSources::memberLine(r.UserName, r.UserAdrs);
        }
    }
    bool atEnd() const override { return m_pages.atEnd(); }

private:
    IssueRecipientPages m_pages;
};

// An issue none of whose recipients is still a member lists nobody.
class NoLines : public MemberLines
{
public:
    void read(int, QStringList *) override {}
    bool atEnd() const override { return true; }
};

} // namespace

namespace MemberLineSources {

std::unique_ptr<MemberLines> targets(const RecipientQuery &query, int magIdx)
{
    return std::make_unique<TargetLines>(query, magIdx);
}

std::unique_ptr<MemberLines> recipients(int magIdx, int magCnt)
{
    std::unique_ptr<MemberLines> lines;
    std::optional<IssueInfoRecord> issue;
    if (MemberPages::hasSendStates(magIdx, magCnt)) {
        lines = std::make_unique<StateLines>(magIdx, magCnt);
        issue = ReadHistoryIssue(magIdx, magCnt);
    } else {
        issue = MemberPages::listedIssue(magIdx, magCnt);
        if (issue)
            lines = std::make_unique<RecipientLines>(magIdx, magCnt);
        else
            lines = std::make_unique<NoLines>();
    }
    if (issue) {
        lines->AddDate = issue->AddDate;
        lines->Title = issue->Title;
    }
    return lines;
}

QString memberLine(const QString &name, const QString &address)
{
    return name + QStringLiteral(" <") + address + QLatin1Char('>');
}

} // namespace MemberLineSources

#include "mail/DeliveryPlan.h"

#include "store/Database.h"
#include "store/DeliveryRecords.h"
#include "store/MagazineMailSettings.h"
#include "store/MagazineSql.h"
#include "store/SendStates.h"
#include "store/UnsubscribeKey.h"

#include <QRandomGenerator>

#include <functional>
#include <optional>

namespace {

// Streams the recipient rows; a row that cannot be read ends the stream with its reason.
class StoreRecipients : public RecipientSource
{
public:
    StoreRecipients(int MagIdx, int MagCnt) : m_cursor(MagIdx, MagCnt) {}

    // The first row is read on loading, so an issue without recipients is known at once.
    bool readFirst() { return read(); }

    bool next(DeliveryRecipient *recipient) override
    {
        if (m_first) {
            *recipient = std::move(*m_first);
            m_first.reset();
            return true;
        }
        if (!m_failure.isEmpty() || !read())
            return false;
        *recipient = std::move(*m_first);
        m_first.reset();
        return true;
    }
    QString failure() const override { return m_failure; }

private:
    bool read()
    {
        SendStates::PendingRecipient pending;
        try {
            if (!m_cursor.next(&pending)) {
                m_cursor.close();
                return false;
            }
        } catch (const StoreError &e) {
            m_failure = e.text();
            m_cursor.close();
            return false;
        }
        DeliveryRecipient r = ToDeliveryRecipient(std::move(pending.member));
        r.attempts = pending.attempts;
        r.nextTry = pending.nextTry;
        r.deleted = pending.deleted;
        m_first = std::move(r);
        return true;
    }

    SendStates::PendingCursor m_cursor;
    std::optional<DeliveryRecipient> m_first;
    QString m_failure;
};

// The magazine's own mail settings; the unsubscribe key from keyOf, only when needed.
void applyMailSettings(DeliveryPlan &plan, const std::function<QByteArray()> &keyOf)
{
    const MagazineMailSettings mail = MagazineMailSettings::load(plan.MagIdx);
    plan.forceUtf8 = mail.forceUtf8;
    if (!mail.unsubscribeAddress.isEmpty()) {
        plan.unsubscribeAddress = mail.unsubscribeAddress;
        plan.unsubscribeUrl = mail.unsubscribeUrl;
    }
    plan.returnPath = mail.returnPath;
    // Every mail carries its token, for the reports that return it.
    plan.unsubscribeKey = keyOf();
}

} // namespace

DeliveryRecipient ToDeliveryRecipient(DeliveryRecipientRecord row)
{
    DeliveryRecipient r;
    r.MagUser = row.MagUser;
    r.UserAdrs = std::move(row.UserAdrs);
    r.values.UserName = std::move(row.UserName);
    r.values.url = std::move(row.url);
    r.values.count1 = row.count1;
    r.values.count2 = row.count2;
    r.values.UserDate1 = std::move(row.UserDate1);
    r.values.UserDate2 = std::move(row.UserDate2);
    return r;
}

DeliveryMode ChooseDeliveryMode(const QString &Body, bool UseUserName)
{
    if (HasPlaceholders(Body))
        return DeliveryMode::Personalised;
    return UseUserName ? DeliveryMode::Individual : DeliveryMode::Batch;
}

DeliveryPlan LoadDeliveryPlan(int MagIdx, int MagCnt)
{
    DeliveryPlan plan;
    plan.MagIdx = MagIdx;
    plan.MagCnt = MagCnt;
    if (MagIdx == 0 || MagCnt == 0)
        return plan;
    if (SendStates::counts(MagIdx, MagCnt).total() == 0) {
        // An issue an older build recorded and never delivered: its rows are made now, the
        // members its SendComplete flags mark done counting as sent.
        Transaction t;
        SendStates::seed(MagIdx, MagCnt);
        t.commit();
    }
    auto recipients = std::make_unique<StoreRecipients>(MagIdx, MagCnt);
    // The first row is read before anything else, so a store that fails on it fails the
    // whole delivery before a mail goes out.
    if (!recipients->readFirst()) {
        if (!recipients->failure().isEmpty())
            throw StoreError(recipients->failure());
        return plan;
    }
    const DeliveryIssueRecord issue = ReadDeliveryIssue(MagIdx, MagCnt);
    if (!issue.found)
        return plan;
    plan.Owner = issue.Owner;
    plan.Adrs = issue.Adrs;
    plan.Atena = issue.Atena;
    plan.Title = issue.Title;
    plan.Body = issue.Body;
    plan.UpdateSQL = issue.UpdateSQL;
    plan.mode = ChooseDeliveryMode(issue.Body, issue.UseUserName);
    applyMailSettings(plan, [] { return UnsubscribeKey::load(); });
    plan.recipients = std::move(recipients);
    return plan;
}

DeliveryPlan DraftDeliveryPlan(int MagIdx, const QString &Title, const QString &Body)
{
    DeliveryPlan plan;
    const std::optional<MagazineRecord> magazine = MagazineSql::load(MagIdx);
    if (!magazine)
        return plan;
    plan.MagIdx = MagIdx;
    plan.Owner = magazine->owner;
    plan.Adrs = magazine->adrs;
    plan.Atena = magazine->atena;
    plan.Title = Title;
    plan.Body = Body;
    plan.mode = ChooseDeliveryMode(Body, magazine->useUserName);
    applyMailSettings(plan, [] {
        QByteArray key = UnsubscribeKey::peek();
        if (key.isEmpty()) {
            key.resize(32);
            QRandomGenerator::system()->generate(reinterpret_cast<quint32 *>(key.data()),
                                                 reinterpret_cast<quint32 *>(key.data() + key.size()));
        }
        return key;
    });
    return plan;
}

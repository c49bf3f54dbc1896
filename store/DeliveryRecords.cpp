#include "store/DeliveryRecords.h"

#include "store/AfterSendUpdate.h"
#include "store/Database.h"
#include "store/Sql.h"

DeliveryIssueRecord ReadDeliveryIssue(int MagIdx, int MagCnt)
{
    DeliveryIssueRecord r;
    PreparedStatement magazine(QStringLiteral("select Owner,Adrs,Atena,UseUserName from Magzine where MagIdx = ?"));
    magazine.bind(0, MagIdx);
    magazine.exec();
    if (!magazine.next())
        return r;
    r.found = true;
    r.Owner = magazine.value(0).toString();
    r.Adrs = magazine.value(1).toString();
    r.Atena = magazine.value(2).toString();
    r.UseUserName = magazine.value(3).toLongLong() == 1;
    magazine.finish();

    PreparedStatement issue(QStringLiteral("select Title,Body,UpdateSQL from MagInfo where MagIdx = ? and MagCnt = ?"));
    issue.bind(0, MagIdx);
    issue.bind(1, MagCnt);
    issue.exec();
    if (issue.next()) {
        r.Title = issue.value(0).toString();
        r.Body = issue.value(1).toString();
        r.UpdateSQL = issue.value(2).toString();
    }
    issue.finish();
    r.Body = Sql::unescapeBody(r.Body);
    return r;
}

DeliveryRecipientCursor::DeliveryRecipientCursor(int MagIdx, int MagCnt)
    : m_query(Sql::lines({QStringLiteral("select U.UserAdrs,U.UserName,U.url,U.count1,U.count2,U.UserDate1,"
                                         "U.UserDate2,H.MagUser"),
                          QStringLiteral("From MagUser U,MagHist H"),
                          QStringLiteral("where H.MagUser = U.userIdx and H.Magidx = U.MagIdx"),
                          QStringLiteral("and H.MagCnt = ?"), QStringLiteral("and H.MagIdx = ?")}))
{
    m_query.bind(0, MagCnt);
    m_query.bind(1, MagIdx);
    m_query.exec();
}

bool DeliveryRecipientCursor::next(DeliveryRecipientRecord *row)
{
    if (!m_query.next())
        return false;
    row->UserAdrs = m_query.value(0).toString();
    row->UserName = m_query.value(1).toString();
    row->url = m_query.value(2).toString();
    row->count1 = m_query.value(3).toLongLong();
    row->count2 = m_query.value(4).toLongLong();
    row->UserDate1 = m_query.value(5).toString();
    row->UserDate2 = m_query.value(6).toString();
    row->MagUser = m_query.value(7).toLongLong();
    return true;
}

void RecordDeliveryCompletion(int MagIdx, int MagCnt, const QString &UpdateSQL, bool interrupted,
                              const QList<qint64> &reached)
{
    Transaction t;
    if (!interrupted) {
        PreparedStatement all(QStringLiteral("update MagHist set SendComplete = 1 where MagIdx = ? and MagCnt = ?"));
        all.bind(0, MagIdx);
        all.bind(1, MagCnt);
        all.exec();
    } else {
        // Only the members the delivery reached are done; the others keep SendComplete 0
        // so the history shows who was not sent to.
        PreparedStatement one(
            QStringLiteral("update MagHist set SendComplete = 1 where MagIdx = ? and MagCnt = ? and MagUser = ?"));
        one.bind(0, MagIdx);
        one.bind(1, MagCnt);
        for (const qint64 member : reached) {
            one.bind(2, member);
            one.exec();
        }
    }
    if (!UpdateSQL.isEmpty()) {
        // The stored text only chooses among the updates this program writes; the
        // statement is made here again, with the day bound.
        const std::optional<AfterSendUpdate> chosen = AfterSendUpdate::read(UpdateSQL);
        if (!chosen)
            throw StoreError(AfterSendUpdateRefusedText());
        PreparedStatement update(Sql::lines(
            {QStringLiteral("update MagUser ") + chosen->setClause(), QStringLiteral("where MagIdx = ?"),
             QStringLiteral("and UserIdx in (select MagUser from MagHist where MagIdx = ?"),
             QStringLiteral("and MagCnt = ?") + (interrupted ? QStringLiteral(" and SendComplete = 1)") : QStringLiteral(")"))}));
        int i = 0;
        for (int k = 0; k < chosen->dayMarks(); ++k)
            update.bind(i++, TextValue(chosen->day));
        update.bind(i++, MagIdx);
        update.bind(i++, MagIdx);
        update.bind(i++, MagCnt);
        update.exec();
    }
    t.commit();
}

QString AfterSendUpdateRefusedText()
{
    return QStringLiteral("記録された送信後の更新内容が正しくないため、適用しませんでした。");
}

#include "store/DeliveryRecords.h"

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

QString AfterSendUpdateRefusedText()
{
    return QStringLiteral("記録された送信後の更新内容が正しくないため、適用しませんでした。");
}

std::optional<DeliveryRecipientRecord> FirstRecipient(const RecipientQuery &query)
{
    return RunSelection(query, ClauseBounds::checking(), [&]() -> std::optional<DeliveryRecipientRecord> {
        PreparedStatement s(Sql::lines({QStringLiteral("select U.UserAdrs,U.UserName,U.url,U.count1,U.count2,"
                                                       "U.UserDate1,U.UserDate2,U.UserIdx from maguser U"),
                                        query.clause, QStringLiteral("order by U.UserIdx limit 1")}));
        s.bindFrom(0, query.values);
        s.exec();
        if (!s.next())
            return std::nullopt;
        DeliveryRecipientRecord r = DeliveryRecipientOf(s);
        s.finish();
        return r;
    });
}

DeliveryRecipientRecord DeliveryRecipientOf(const PreparedStatement &row)
{
    DeliveryRecipientRecord r;
    r.UserAdrs = row.value(0).toString();
    r.UserName = row.value(1).toString();
    r.url = row.value(2).toString();
    r.count1 = row.value(3).toLongLong();
    r.count2 = row.value(4).toLongLong();
    r.UserDate1 = row.value(5).toString();
    r.UserDate2 = row.value(6).toString();
    r.MagUser = row.value(7).toLongLong();
    return r;
}

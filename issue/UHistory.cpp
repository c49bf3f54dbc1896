#include "issue/UHistory.h"

#include "store/Database.h"
#include "store/Sql.h"

namespace History {

QString listStatement(int magIdx)
{
    return Sql::lines({
        QStringLiteral("select * from MagInfo"),
        QStringLiteral("where MagIdx = ") + QString::number(magIdx),
        QStringLiteral("order by AddDate desc"),
    });
}

QString conditionOnOneLine(const QString &condition)
{
    QString out = condition;
    out.replace(QLatin1String("\r\n"), QLatin1String(" "));
    // text typed on this system breaks lines with LF alone
    out.replace(QLatin1Char('\n'), QLatin1Char(' '));
    out.replace(QLatin1Char('\r'), QLatin1Char(' '));
    return out;
}

QList<Row> load(int magIdx)
{
    QList<Row> rows;
    Statement s;
    s.open(listStatement(magIdx));
    while (s.next()) {
        Row r;
        r.title = s.text(QStringLiteral("Title"));
        r.magCnt = int(s.integer(QStringLiteral("MagCnt")));
        r.addDate = s.text(QStringLiteral("AddDate"));
        r.sendCnt = int(s.integer(QStringLiteral("SendCnt")));
        r.condition = conditionOnOneLine(s.text(QStringLiteral("Condition")));
        rows << r;
    }
    return rows;
}

QString issueStatement(int magIdx, int magCnt)
{
    return Sql::lines({
        QStringLiteral("select * from MagInfo where MagIdx = ") + QString::number(magIdx),
        QStringLiteral("and MagCnt = ") + QString::number(magCnt),
    });
}

std::optional<PastIssue> readIssue(int magIdx, int magCnt)
{
    Statement s;
    s.open(issueStatement(magIdx, magCnt));
    if (!s.next())
        return std::nullopt;
    return PastIssue{s.text(QStringLiteral("Title")), Sql::unescapeBody(s.text(QStringLiteral("Body")))};
}

QString lastMomentOf(const QDate &day)
{
    return day.toString(QStringLiteral("yyyy/MM/dd")) + QStringLiteral(" 23:59:59");
}

QString deleteQuestion(const QDate &day)
{
    return day.toString(QStringLiteral("yyyy/MM/dd")) + QStringLiteral("以前の履歴データを削除します。よろしいですか？");
}

QStringList deleteStatements(int magIdx, const QDate &day)
{
    const QString mag = QString::number(magIdx);
    const QString t = Sql::dq(lastMomentOf(day));
    return {
        Sql::lines({
            QStringLiteral("delete from maghist H"),
            QStringLiteral("where exists ("),
            QStringLiteral("select magidx,magcnt from maginfo I where "),
            QStringLiteral("I.magidx = ") + mag + QStringLiteral(" and I.adddate <= ") + t,
            QStringLiteral("and H.MagIdx = I.MagIdx and H.MagCnt = I.MagCnt)"),
        }),
        Sql::lines({
            QStringLiteral("delete from maginfo "),
            QStringLiteral("where magidx = ") + mag + QStringLiteral(" and adddate <= ") + t,
        }),
    };
}

void deleteUpTo(int magIdx, const QDate &day)
{
    Transaction t;
    Statement s;
    for (const QString &sql : deleteStatements(magIdx, day))
        s.exec(sql);
    t.commit();
}

} // namespace History

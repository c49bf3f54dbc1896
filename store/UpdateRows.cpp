#include "store/UpdateRows.h"

#include "store/PreparedStatement.h"

namespace UpdateRows {

QList<Known> known()
{
    PreparedStatement s(QStringLiteral("select key2,str1 from CommonTBL where key1 = 1000 order by key2 desc"));
    s.exec();
    QList<Known> rows;
    while (s.next())
        rows.append({s.value(0).toLongLong(), s.value(1).toString()});
    return rows;
}

void add(qint64 key2, const QString &version, const QString &note, const QString &fileName)
{
    PreparedStatement s(QStringLiteral("insert into CommonTBL values(1000, ?, 0, 0, 0, ?, ?, ?)"));
    s.bind(0, key2);
    s.bind(1, TextValue(version));
    s.bind(2, TextValue(note));
    s.bind(3, TextValue(fileName));
    s.exec();
}

void markInstalled(const QString &programVersion)
{
    PreparedStatement s(QStringLiteral("update CommonTBL set int1 = 1 where key1 = 1000 and str1 <= ?"));
    s.bind(0, TextValue(programVersion));
    s.exec();
}

qint64 countWaiting()
{
    PreparedStatement s(QStringLiteral("select count(*) from CommonTBL where key1 = 1000 and int1 = 0"));
    s.exec();
    return s.next() ? s.value(0).toLongLong() : 0;
}

QList<Waiting> waitingNewerThan(const QString &programVersion)
{
    PreparedStatement s(
        QStringLiteral("select str3,str1 from CommonTBL where key1 = 1000 and int1 = 0 and str1 > ?"));
    s.bind(0, TextValue(programVersion));
    s.exec();
    QList<Waiting> rows;
    while (s.next())
        rows.append({s.value(0).toString(), s.value(1).toString()});
    return rows;
}

} // namespace UpdateRows

#include "maintenance/UBulkUpdate.h"

#include "members/UMemberOrder.h"
#include "store/Database.h"
#include "store/Sql.h"

#include <QSet>


namespace BulkUpdate {

namespace {

QList<QList<int>> chunks(const QList<int> &userIdx)
{
    QList<QList<int>> out;
    for (qsizetype i = 0; i < userIdx.size(); i += kSelectionChunk)
        out << userIdx.mid(i, kSelectionChunk);
    return out;
}

} // namespace

bool isFlagTag(int tag)
{
    return (tag >= 1 && tag <= 3) || (tag >= 11 && tag <= 13);
}

bool flagTagSetsOn(int tag)
{
    return tag <= 10;
}

int flagField(int tag)
{
    return MemberOrder::Flag1 + (tag % 10) - 1;
}

QString flagSetLine(int tag)
{
    return QStringLiteral("set Flg%1 = %2").arg(tag % 10).arg(flagTagSetsOn(tag) ? 1 : 0);
}

QString counterSetLine(int counter, int mode, qint64 value)
{
    const QString column = QStringLiteral("Count%1").arg(counter);
    const QString number = QString::number(value);
    switch (mode) {
    case AddValue:
        return QStringLiteral("set ") + column + QStringLiteral(" = ") + column + QStringLiteral(" + ") + number;
    case SubtractValue:
        return QStringLiteral("set ") + column + QStringLiteral(" = ") + column + QStringLiteral(" - ") + number;
    default:
        return QStringLiteral("set ") + column + QStringLiteral(" = ") + number;
    }
}

int counterField(int counter)
{
    return MemberOrder::Count1 + counter - 1;
}

QString dateSetLine(int date, const QDate &day)
{
    return QStringLiteral("set UserDate%1 = ").arg(date) + Sql::dq(day.toString(QStringLiteral("yyyyMMdd")));
}

int dateField(int date)
{
    return MemberOrder::Date1 + date - 1;
}

QString selectionList(const QList<int> &userIdx)
{
    QString out = QStringLiteral("(");
    out.reserve(userIdx.size() * 7 + 2);
    for (qsizetype i = 0; i < userIdx.size(); ++i) {
        if (i)
            out += QLatin1Char(',');
        out += QString::number(userIdx[i]);
    }
    out += QLatin1Char(')');
    return out;
}

QString selectedUpdate(const QString &setLine, int magIdx, const QString &selection)
{
    return Sql::lines({
        QStringLiteral("update MagUser"),
        setLine,
        QStringLiteral("where MagIdx = ") + QString::number(magIdx),
        QStringLiteral("and (UserIdx in ") + selection + QStringLiteral(")"),
    });
}

QStringList selectedUpdates(const QString &setLine, int magIdx, const QList<int> &userIdx)
{
    QStringList out;
    for (const QList<int> &part : chunks(userIdx))
        out << selectedUpdate(setLine, magIdx, selectionList(part));
    return out;
}

int updateSelected(const QString &setLine, int magIdx, const QList<int> &userIdx)
{
    const QStringList statements = selectedUpdates(setLine, magIdx, userIdx);
    if (statements.isEmpty())
        return 0;
    Statement s;
    if (statements.size() == 1)
        return s.exec(statements.first());
    // Several statements must still act as one change of the whole selection.
    Transaction t;
    int changed = 0;
    for (const QString &sql : statements)
        changed += s.exec(sql);
    t.commit();
    return changed;
}

QHash<int, qint64> storedCounters(int counter, int magIdx, const QList<int> &userIdx)
{
    QHash<int, qint64> out;
    out.reserve(userIdx.size());
    Statement s;
    const QString select = QStringLiteral("select UserIdx,Count%1 from MagUser").arg(counter);
    const QString where = QStringLiteral("where MagIdx = ") + QString::number(magIdx);
    if (userIdx.size() <= kSelectionChunk) {
        s.open(Sql::lines({select, where, QStringLiteral("and (UserIdx in ") + selectionList(userIdx) + QStringLiteral(")")}));
        while (s.next())
            out.insert(int(s.integer(0)), s.integer(1));
        return out;
    }
    // A long selection: one pass over the magazine costs less than many lists.
    QSet<int> wanted(userIdx.cbegin(), userIdx.cend());
    s.open(Sql::lines({select, where}));
    while (s.next()) {
        const int idx = int(s.integer(0));
        if (wanted.contains(idx))
            out.insert(idx, s.integer(1));
    }
    return out;
}

std::optional<ResetTarget> resetTarget(int tag)
{
    switch (tag) {
    case 1:
    case 2:
    case 3:
        return ResetTarget{QStringLiteral("Flg%1").arg(tag), MemberOrder::Flag1 + tag - 1, tag - 1, false};
    case 4:
    case 5:
        return ResetTarget{QStringLiteral("Count%1").arg(tag - 3), MemberOrder::Count1 + tag - 4, tag - 1, false};
    case 6:
    case 7:
        return ResetTarget{QStringLiteral("UserDate%1").arg(tag - 5), MemberOrder::Date1 + tag - 6, tag - 1, true};
    default:
        return std::nullopt;
    }
}

QString resetValue(const ResetTarget &target, const QDate &day)
{
    return target.needsDate ? Sql::dq(day.toString(QStringLiteral("yyyyMMdd"))) : QStringLiteral("0");
}

QString resetStatement(const ResetTarget &target, const QString &value, int magIdx)
{
    return Sql::lines({
        QStringLiteral("update MagUser Set ") + target.column + QStringLiteral(" = ") + value,
        QStringLiteral("where MagIdx = ") + QString::number(magIdx),
    });
}

QString resetQuestion(const QString &fieldName)
{
    return QStringLiteral("メンバーすべてのフィールド「%1」を変更します。よろしいですか？").arg(fieldName);
}

int resetAll(const ResetTarget &target, const QString &value, int magIdx)
{
    Statement s;
    return s.exec(resetStatement(target, value, magIdx));
}

} // namespace BulkUpdate

#include "issue/UCondition.h"

#include "store/FreeClause.h"
#include "store/IssueRecords.h"

#include <QRegularExpression>

namespace Condition {

QString wrongText()
{
    return QStringLiteral("条件式が間違っています。");
}

QString StructureProblem(const QString &clause)
{
    return FreeClause::read(clause).problem();
}

} // namespace Condition

namespace {

const char *const kColumns[5] = {"U.Flg1", "U.Flg2", "U.Flg3", "U.Count1", "U.Count2"};

struct DatePart {
    const char16_t *mark;    // written after the field name
    const char16_t *display; // what TranslateToDisplay gives back for the form
    const char *form;        // %1 is the column
};
const DatePart kDateParts[5] = {
    {u"(年月日)", u"年月日", "%1"},
    {u"(月日)", u"(月日)", "mid(%1,5,4)"},
    {u"(年)", u"(年)", "mid(%1,1,4)"},
    {u"(月)", u"(月)", "mid(%1,5,2)"},
    {u"(日)", u"(日)", "mid(%1,7,2)"},
};

void replaceAll(QString &s, const QString &from, const QString &to, Qt::CaseSensitivity cs = Qt::CaseSensitive)
{
    if (!from.isEmpty() && s.contains(from, cs))
        s.replace(from, to, cs);
}

QString dateColumn(int date)
{
    return date == 0 ? QStringLiteral("U.UserDate1") : QStringLiteral("U.UserDate2");
}

} // namespace

QString TranslateToSql(const QString &text, const std::array<QString, 7> &names)
{
    QString s = text;
    for (int i = 0; i < 5; ++i)
        replaceAll(s, names[size_t(i)], QString::fromLatin1(kColumns[i]));
    for (int d = 0; d < 2; ++d) {
        const QString &name = names[size_t(5 + d)];
        if (name.isEmpty())
            continue;
        for (const DatePart &p : kDateParts)
            replaceAll(s, name + QString::fromUtf16(p.mark), QString::fromLatin1(p.form).arg(dateColumn(d)));
    }
    // ON and OFF only as words of their own: "U.Count1" and a name like "Monday" keep
    // their letters.
    static const QRegularExpression on(QStringLiteral("(?<![A-Za-z0-9_.])ON(?![A-Za-z0-9_])"),
                                       QRegularExpression::CaseInsensitiveOption);
    static const QRegularExpression off(QStringLiteral("(?<![A-Za-z0-9_.])OFF(?![A-Za-z0-9_])"),
                                        QRegularExpression::CaseInsensitiveOption);
    s.replace(on, QStringLiteral("1"));
    s.replace(off, QStringLiteral("0"));
    return s;
}

QString TranslateToDisplay(const QString &error, const std::array<QString, 7> &names)
{
    QString s = error;
    for (int i = 0; i < 5; ++i)
        replaceAll(s, QString::fromLatin1(kColumns[i]), names[size_t(i)]);
    for (int d = 0; d < 2; ++d) {
        const QString column = dateColumn(d);
        const QString &name = names[size_t(5 + d)];
        if (s.contains(column, Qt::CaseInsensitive))
            s.replace(column, name + QString::fromUtf16(kDateParts[0].display));
        for (int k = 1; k < 5; ++k)
            replaceAll(s, QString::fromLatin1(kDateParts[k].form).arg(column),
                       name + QString::fromUtf16(kDateParts[k].display), Qt::CaseInsensitive);
    }
    return s;
}

bool CheckCondition(const QString &clause, const std::array<QString, 7> &names, QString *message)
{
    if (clause.isEmpty())
        return true;
    const FreeClause free = FreeClause::read(clause);
    if (!free.ok()) {
        if (message)
            *message = Condition::wrongText() + QStringLiteral("\r\n") + free.problem();
        return false;
    }
    // Tried the way a send uses it, inside parentheses, so that what passes here (a trailing
    // "order by", a "union") cannot fail only when the issue is sent.
    const QString complaint = TryMemberClause(free);
    if (complaint.isEmpty())
        return true;
    if (message)
        *message = Condition::wrongText() + QStringLiteral("\r\n") + TranslateToDisplay(complaint, names);
    return false;
}

QStringList ConditionOperators(int field)
{
    if (field < 0 || field > 6)
        return {};
    if (field < 3)
        return {QStringLiteral("="), QStringLiteral("<>")};
    return {QStringLiteral("="), QStringLiteral(">"), QStringLiteral(">="),
            QStringLiteral("<"), QStringLiteral("<="), QStringLiteral("<>")};
}

QStringList ConditionValues(int field)
{
    if (field < 0 || field > 6)
        return {};
    if (field < 3)
        return {QStringLiteral("OFF"), QStringLiteral("ON")};
    if (field < 5)
        return {QStringLiteral("数字")};
    return {QStringLiteral("年月日"), QStringLiteral("月日"), QStringLiteral("年"), QStringLiteral("月"),
            QStringLiteral("日")};
}

QString ConditionPiece(int field, const std::array<QString, 7> &names, const QString &op, int valueItem,
                       const QString &valueText, const QDate &today)
{
    if (field < 0 || field > 6)
        return {};
    const QString &name = names[size_t(field)];
    const QString sp = QStringLiteral(" ");
    if (field < 3)
        return name + sp + op + sp + valueText;
    if (field < 5)
        return name + sp + op + sp + QString::number(qMax(0, valueItem));
    static const char *const formats[5] = {"yyyyMMdd", "MMdd", "yyyy", "MM", "dd"};
    const int k = qBound(0, valueItem, 4);
    return name + QString::fromUtf16(kDateParts[k].mark) + sp + op + QStringLiteral(" '")
         + today.toString(QString::fromLatin1(formats[k])) + QStringLiteral("'");
}

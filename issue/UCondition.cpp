#include "issue/UCondition.h"

#include "store/Database.h"
#include "store/IssueRecords.h"
#include "store/Sql.h"
#include "store/SqlTokens.h"

#include <QRegularExpression>

namespace Condition {

QString wrongText()
{
    return QStringLiteral("条件式が間違っています。");
}

namespace {

QString problemOf(const SqlTokens::Token &t, int &depth)
{
    using SqlTokens::Kind;
    for (const QChar c : t.text) {
        // the engine stops reading at a NUL, so the rest of the statement would be lost
        if (c.unicode() < 0x20 && c != u'\t' && c != u'\r' && c != u'\n')
            return QStringLiteral("条件式に制御文字は使えません。");
    }
    switch (t.kind) {
    case Kind::Space: return {};
    case Kind::Comment: return QStringLiteral("条件式に注釈は書けません。");
    case Kind::Name: return QStringLiteral("条件式に [ ] や ` は使えません。");
    case Kind::Text: return t.closed ? QString() : QStringLiteral("引用符が閉じられていません。");
    case Kind::Word:
        // "$name(...)" is one parameter to the engine, parentheses included
        return t.text.contains(u'$') ? QStringLiteral("条件式に「$」は使えません。") : QString();
    case Kind::Punct: break;
    }
    const QChar c = t.text.at(0);
    if (c == u']')
        return QStringLiteral("条件式に [ ] や ` は使えません。");
    if (c == u';')
        return QStringLiteral("条件式は一つの式で書いてください。");
    if (c == u'?' || c == u':' || c == u'@' || c == u'#')
        return QStringLiteral("条件式に「%1」は使えません。").arg(c);
    if (c == u'(')
        ++depth;
    else if (c == u')' && --depth < 0)
        return QStringLiteral("括弧の対応が正しくありません。");
    return {};
}

} // namespace

FreeClause ReadFreeClause(const QString &clause)
{
    const std::vector<SqlTokens::Token> tokens = SqlTokens::read(clause);
    int depth = 0;
    for (const SqlTokens::Token &t : tokens) {
        const QString problem = problemOf(t, depth);
        if (!problem.isEmpty())
            return {QString(), problem};
    }
    if (depth != 0)
        return {QString(), QStringLiteral("括弧の対応が正しくありません。")};
    return {SqlTokens::render(tokens), QString()};
}

QString StructureProblem(const QString &clause)
{
    return ReadFreeClause(clause).problem;
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
    const Condition::FreeClause free = Condition::ReadFreeClause(clause);
    if (!free.problem.isEmpty()) {
        if (message)
            *message = Condition::wrongText() + QStringLiteral("\r\n") + free.problem;
        return false;
    }
    // Tried the way a send uses it, inside parentheses, so that what passes here (a trailing
    // "order by", a "union") cannot fail only when the issue is sent.
    const QString complaint = TryMemberClause(free.sql);
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

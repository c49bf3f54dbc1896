#include "issue/USendCondition.h"

#include "issue/UCondition.h"
#include "members/UMagazineChoice.h"
#include "store/Database.h"

namespace SendCondition {

QStringList Items()
{
    return {QStringLiteral("すべて（無条件）"),
            QStringLiteral("指定日以降に追加されたメンバー"),
            QStringLiteral("指定日以前からのメンバー"),
            QStringLiteral("フラグがON"),
            QStringLiteral("フラグがOFF"),
            QStringLiteral("発行番号のメールを送信済み"),
            QStringLiteral("発行番号のメールを未送信"),
            QStringLiteral("カウンタが値以上"),
            QStringLiteral("カウンタが値以下"),
            QStringLiteral("カウンタが値と等しい"),
            QStringLiteral("日付が指定日以降"),
            QStringLiteral("日付が指定日以前"),
            QStringLiteral("日付が指定日"),
            QStringLiteral("詳細設定")};
}

FieldKind fieldKind(int condition)
{
    switch (condition) {
    case FlagOn:
    case FlagOff: return FieldKind::Flag;
    case CountAtLeast:
    case CountAtMost:
    case CountEquals: return FieldKind::Counter;
    case DateSince:
    case DateBefore:
    case DateOn: return FieldKind::Date;
    default: return FieldKind::None;
    }
}

bool needsField(int condition)
{
    return fieldKind(condition) != FieldKind::None;
}

} // namespace SendCondition

namespace {

using namespace SendCondition;

// Position of the chosen field in MagFieldNames and its column.
struct Field {
    QString column;
    QString name;
};

Field chosenField(const SendInputs &in)
{
    static const char *const flags[] = {"Flg1", "Flg2", "Flg3"};
    static const char *const counters[] = {"Count1", "Count2"};
    static const char *const dates[] = {"UserDate1", "UserDate2"};
    const int i = in.fieldItem;
    switch (fieldKind(in.condition)) {
    case FieldKind::Flag:
        if (i >= 0 && i < 3)
            return {QString::fromLatin1(flags[i]), in.fieldNames[size_t(i)]};
        break;
    case FieldKind::Counter:
        if (i >= 0 && i < 2)
            return {QString::fromLatin1(counters[i]), in.fieldNames[size_t(3 + i)]};
        break;
    case FieldKind::Date:
        if (i >= 0 && i < 2)
            return {QString::fromLatin1(dates[i]), in.fieldNames[size_t(5 + i)]};
        break;
    case FieldKind::None: break;
    }
    return {};
}

QString quoted(const QString &value)
{
    return QLatin1Char('"') + value + QLatin1Char('"');
}

} // namespace

SendConditionText BuildSendCondition(const SendInputs &in)
{
    const QString N = QString::number(in.magIdx);
    const QString v = QString::number(in.value);
    // Dates are written with fixed separators whatever the locale.
    const bool whole = in.wholeDate;
    const QString d = whole ? in.date.toString(QStringLiteral("yyyy/MM/dd")) : in.date.toString(QStringLiteral("MM/dd"));
    const QString c = whole ? in.date.toString(QStringLiteral("yyyyMMdd")) : in.date.toString(QStringLiteral("MMdd"));
    const Field f = chosenField(in);
    const QString base = QStringLiteral(" where U.Sleep = 0 and U.MagIdx = ") + N;

    switch (in.condition) {
    case AddedSince:
        return {d + QStringLiteral("以降に追加されたメンバー"), base + QStringLiteral(" and U.AddDate >= ") + quoted(c)};
    case AddedBefore:
        return {d + QStringLiteral("以前からのメンバー"), base + QStringLiteral(" and U.AddDate <= ") + quoted(c)};
    case FlagOn:
        return {f.name + QStringLiteral("がONのメンバー"), base + QStringLiteral(" and U.") + f.column + QStringLiteral(" = 1")};
    case FlagOff:
        return {f.name + QStringLiteral("がOFFのメンバー"), base + QStringLiteral(" and U.") + f.column + QStringLiteral(" = 0")};
    case SentIssue:
        return {QStringLiteral("発行番号=") + v + QStringLiteral("でメールを送信したメンバー"),
                QStringLiteral(",MagHist H where U.Sleep = 0 and U.MagIdx = ") + N + QStringLiteral(" and H.MagCnt = ") + v
                    + QStringLiteral(" and U.UserIdx = H.MagUser and H.MagIdx = U.MagIdx")};
    case NotSentIssue:
        // A sub-select keeps the clause directly after "from maguser U" and selects each
        // member once, however many rows the issue has. UserIdx repeats across magazines,
        // so a recipient row only counts for a member of its own magazine.
        return {QStringLiteral("発行番号=") + v + QStringLiteral("でメールを送信していないメンバー"),
                base + QStringLiteral(" and not exists (select 1 from MagHist H where H.MagCnt = ") + v
                    + QStringLiteral(" and H.MagUser = U.UserIdx and H.MagIdx = U.MagIdx)")};
    case CountAtLeast:
        return {f.name + QStringLiteral("が") + v + QStringLiteral("以上のメンバー"),
                base + QStringLiteral(" and U.") + f.column + QStringLiteral(" >= ") + v};
    case CountAtMost:
        return {f.name + QStringLiteral("が") + v + QStringLiteral("以下のメンバー"),
                base + QStringLiteral(" and U.") + f.column + QStringLiteral(" <= ") + v};
    case CountEquals:
        return {f.name + QStringLiteral("が") + v + QStringLiteral("のメンバー"),
                base + QStringLiteral(" and U.") + f.column + QStringLiteral(" = ") + v};
    case DateSince:
        return {f.name + QStringLiteral("が") + d + QStringLiteral("以降のメンバー"),
                base + QStringLiteral(" and U.") + f.column + QStringLiteral(" >= ") + quoted(c)};
    case DateBefore:
        return {f.name + QStringLiteral("が") + d + QStringLiteral("以前のメンバー"),
                base + QStringLiteral(" and U.") + f.column + QStringLiteral(" <= ") + quoted(c)};
    case DateOn:
        if (whole)
            return {f.name + QStringLiteral("が") + d + QStringLiteral("のメンバー"),
                    base + QStringLiteral(" and U.") + f.column + QStringLiteral(" = ") + quoted(c)};
        return {f.name + QStringLiteral("が") + d + QStringLiteral("のメンバー"),
                base + QStringLiteral(" and Mid(U.") + f.column + QStringLiteral(" ,5,4) = ") + quoted(c)};
    case Custom:
        if (!in.customSql.isEmpty()) {
            // The clause that runs is the one the check read, token for token.
            const Condition::FreeClause free = Condition::ReadFreeClause(in.customSql);
            if (!free.problem.isEmpty())
                return {in.customText, QStringLiteral(" where 0 = 1 and U.MagIdx = ") + N, free.problem};
            return {in.customText, QStringLiteral(" where (") + free.sql + QStringLiteral(")")
                                       + QStringLiteral(" and U.Sleep = 0") + QStringLiteral(" and U.MagIdx = ") + N};
        }
        break;
    default: break;
    }
    return {QStringLiteral("無条件"), base};
}

QString TargetCountStatement(const QString &where)
{
    return QStringLiteral("select count(*) from maguser U ") + where;
}

int CountTargets(const QString &where)
{
    Statement s;
    return int(s.scalar(TargetCountStatement(where)));
}

SendCheck CheckSendSettings(const SendCheckInputs &in)
{
    using Focus = SendCheck::Focus;
    if (in.smtpHost.isEmpty())
        return {false, QStringLiteral("SMTPサーバが設定されていません。"), Focus::None};
    if (!MagazineChoice::isChosen(in.magIdx))
        return {false, MagazineChoice::missingText(), Focus::None};
    if (in.withText) {
        if (in.subject.isEmpty())
            return {false, QStringLiteral("件名が未入力です。"), Focus::Subject};
        if (in.body.isEmpty())
            return {false, QStringLiteral("本文が未入力です。"), Focus::Body};
    }
    if (SendCondition::needsField(in.condition) && in.fieldItem < 0)
        return {false, QStringLiteral("フラグが選択されていません。"), Focus::FieldGroup};
    // A free condition must never reach a count or an insert unless it stays inside its
    // parentheses, whoever set it.
    if (in.condition == SendCondition::Custom && !in.customSql.isEmpty()) {
        const QString problem = Condition::StructureProblem(in.customSql);
        if (!problem.isEmpty())
            return {false, Condition::wrongText() + QStringLiteral("\r\n") + problem, Focus::ConditionEditor};
    }
    return {};
}

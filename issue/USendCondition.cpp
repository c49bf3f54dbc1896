#include "issue/USendCondition.h"

#include "issue/UCondition.h"
#include "members/UMagazineChoice.h"
#include "store/FreeClause.h"

#include <optional>

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

// The chosen field: its column and its name in MagFieldNames.
struct Field {
    std::optional<MemberColumn> column; // none when RadioGroup1 has no item chosen
    QString name;
};

Field chosenField(const SendInputs &in)
{
    static constexpr MemberColumn flags[] = {MemberColumn::Flg1, MemberColumn::Flg2, MemberColumn::Flg3};
    static constexpr MemberColumn counters[] = {MemberColumn::Count1, MemberColumn::Count2};
    static constexpr MemberColumn dates[] = {MemberColumn::UserDate1, MemberColumn::UserDate2};
    const int i = in.fieldItem;
    switch (fieldKind(in.condition)) {
    case FieldKind::Flag:
        if (i >= 0 && i < 3)
            return {flags[i], in.fieldNames[size_t(i)]};
        break;
    case FieldKind::Counter:
        if (i >= 0 && i < 2)
            return {counters[i], in.fieldNames[size_t(3 + i)]};
        break;
    case FieldKind::Date:
        if (i >= 0 && i < 2)
            return {dates[i], in.fieldNames[size_t(5 + i)]};
        break;
    case FieldKind::None: break;
    }
    return {};
}

} // namespace

SendConditionText BuildSendCondition(const SendInputs &in)
{
    using namespace Recipients;
    const int N = in.magIdx;
    const QString v = QString::number(in.value);
    // Dates are written with fixed separators whatever the locale.
    const bool whole = in.wholeDate;
    const QString d = whole ? in.date.toString(QStringLiteral("yyyy/MM/dd")) : in.date.toString(QStringLiteral("MM/dd"));
    const QString c = whole ? in.date.toString(QStringLiteral("yyyyMMdd")) : in.date.toString(QStringLiteral("MMdd"));
    const Field f = chosenField(in);
    if (needsField(in.condition) && !f.column)
        return {QString(), nobody(N), QStringLiteral("フラグが選択されていません。")};
    const MemberColumn column = f.column.value_or(MemberColumn::Flg1);

    switch (in.condition) {
    case AddedSince:
        return {d + QStringLiteral("以降に追加されたメンバー"), compare(N, MemberColumn::AddDate, Comparison::AtLeast, c)};
    case AddedBefore:
        return {d + QStringLiteral("以前からのメンバー"), compare(N, MemberColumn::AddDate, Comparison::AtMost, c)};
    case FlagOn: return {f.name + QStringLiteral("がONのメンバー"), flag(N, column, true)};
    case FlagOff: return {f.name + QStringLiteral("がOFFのメンバー"), flag(N, column, false)};
    case SentIssue:
        return {QStringLiteral("発行番号=") + v + QStringLiteral("でメールを送信したメンバー"), sentIssue(N, in.value)};
    case NotSentIssue:
        return {QStringLiteral("発行番号=") + v + QStringLiteral("でメールを送信していないメンバー"),
                notSentIssue(N, in.value)};
    case CountAtLeast:
        return {f.name + QStringLiteral("が") + v + QStringLiteral("以上のメンバー"),
                compare(N, column, Comparison::AtLeast, in.value)};
    case CountAtMost:
        return {f.name + QStringLiteral("が") + v + QStringLiteral("以下のメンバー"),
                compare(N, column, Comparison::AtMost, in.value)};
    case CountEquals:
        return {f.name + QStringLiteral("が") + v + QStringLiteral("のメンバー"),
                compare(N, column, Comparison::Equals, in.value)};
    case DateSince:
        return {f.name + QStringLiteral("が") + d + QStringLiteral("以降のメンバー"),
                compare(N, column, Comparison::AtLeast, c)};
    case DateBefore:
        return {f.name + QStringLiteral("が") + d + QStringLiteral("以前のメンバー"),
                compare(N, column, Comparison::AtMost, c)};
    case DateOn:
        return {f.name + QStringLiteral("が") + d + QStringLiteral("のメンバー"),
                whole ? compare(N, column, Comparison::Equals, c) : monthAndDay(N, column, c)};
    case Custom:
        if (!in.customSql.isEmpty()) {
            // The clause that runs is the one the gate read, token for token.
            const FreeClause free = FreeClause::read(in.customSql);
            if (!free.ok())
                return {in.customText, nobody(N), Condition::wrongText() + QStringLiteral("\r\n") + free.problem()};
            return {in.customText, matching(N, free)};
        }
        break;
    default: break;
    }
    return {QStringLiteral("無条件"), all(N)};
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

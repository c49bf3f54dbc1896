#include "cli/CliSend.h"

#include "cli/CliCommon.h"
#include "issue/UComposeText.h"
#include "issue/UCondition.h"
#include "issue/UIssue.h"
#include "issue/USendCondition.h"
#include "issue/UTextFile.h"
#include "issue/UUnmappable.h"
#include "mail/ConnInfo.h"
#include "mail/DeliveryMail.h"
#include "mail/DeliveryPlan.h"
#include "store/Database.h"
#include "store/DeliveryRecords.h"
#include "store/MagazineSql.h"
#include "store/SendStates.h"

#include <QCommandLineParser>

#include <cstdio>
#include <optional>

namespace Cli {

namespace {

using namespace SendCondition;

// Bounds on what is read from the files: far above any real issue, far below what would
// hurt the store or the mail server.
constexpr qint64 kMaxBodyBytes = 4 * 1024 * 1024;
constexpr qint64 kMaxSubjectBytes = 64 * 1024;
constexpr qint64 kMaxConditionBytes = 1024 * 1024;

// The short names of the conditions, in the order of SendCondition::Items() ("詳細設定"
// comes from a condition file instead).
const QStringList kConditionKeys = {
    QStringLiteral("all"),           QStringLiteral("added-since"),    QStringLiteral("added-before"),
    QStringLiteral("flag-on"),       QStringLiteral("flag-off"),       QStringLiteral("sent"),
    QStringLiteral("not-sent"),      QStringLiteral("count-at-least"), QStringLiteral("count-at-most"),
    QStringLiteral("count-equals"),  QStringLiteral("date-since"),     QStringLiteral("date-before"),
    QStringLiteral("date-on"),
};

// The after-send check boxes, in the order of BuildUpdateSql's array.
const QStringList kAfterSendKeys = {QStringLiteral("flag1"),  QStringLiteral("flag2"), QStringLiteral("flag3"),
                                    QStringLiteral("count1"), QStringLiteral("count2"), QStringLiteral("date1"),
                                    QStringLiteral("date2")};

bool takesDate(int condition)
{
    return condition == AddedSince || condition == AddedBefore || fieldKind(condition) == FieldKind::Date;
}

bool takesNumber(int condition)
{
    return condition == SentIssue || condition == NotSentIssue || fieldKind(condition) == FieldKind::Counter;
}

std::optional<int> conditionNamed(const QString &name)
{
    const QStringList items = Items();
    for (int i = 0; i < kConditionKeys.size(); ++i)
        if (name == kConditionKeys.at(i) || name == items.at(i))
            return i;
    return std::nullopt;
}

// The item of RadioGroup1 the field name stands for: the magazine's own name first, then
// the fixed one (flag1, count2, date1...).
std::optional<int> fieldItemNamed(int condition, const QString &name, const std::array<QString, 7> &names)
{
    int first = 0, count = 0;
    QString key;
    switch (fieldKind(condition)) {
    case FieldKind::Flag: first = 0, count = 3, key = QStringLiteral("flag"); break;
    case FieldKind::Counter: first = 3, count = 2, key = QStringLiteral("count"); break;
    case FieldKind::Date: first = 5, count = 2, key = QStringLiteral("date"); break;
    case FieldKind::None: return std::nullopt;
    }
    for (int i = 0; i < count; ++i)
        if (!name.isEmpty() && name == names[size_t(first + i)])
            return i;
    for (int i = 0; i < count; ++i)
        if (name == key + QString::number(i + 1))
            return i;
    return std::nullopt;
}

QStringList fieldChoices(int condition, const std::array<QString, 7> &names)
{
    switch (fieldKind(condition)) {
    case FieldKind::Flag: return {names[0], names[1], names[2]};
    case FieldKind::Counter: return {names[3], names[4]};
    case FieldKind::Date: return {names[5], names[6]};
    case FieldKind::None: break;
    }
    return {};
}

// yyyy-mm-dd or yyyy/mm/dd; with monthDay also mm-dd or mm/dd (in a leap year, so that
// 02/29 can be asked for).
std::optional<QDate> dateValue(const QString &text, bool monthDay)
{
    for (const QString &sep : {QStringLiteral("-"), QStringLiteral("/")}) {
        const QString format = QStringLiteral("yyyy") + sep + QStringLiteral("MM") + sep + QStringLiteral("dd");
        const QDate whole = QDate::fromString(text, format);
        if (whole.isValid())
            return whole;
        const QDate inLeapYear = QDate::fromString(QStringLiteral("2000") + sep + text, format);
        if (monthDay && inLeapYear.isValid())
            return inLeapYear;
    }
    return std::nullopt;
}

std::optional<std::array<bool, 7>> afterSendBoxes(const QStringList &values)
{
    std::array<bool, 7> checked{};
    for (const QString &value : values)
        for (const QString &piece : value.split(u',', Qt::SkipEmptyParts)) {
            const qsizetype i = kAfterSendKeys.indexOf(piece.trimmed());
            if (i < 0) {
                say(QStringLiteral("--after-send に「%1」は指定できません(%2 から選んでください)。")
                        .arg(piece, kAfterSendKeys.join(u',')));
                return std::nullopt;
            }
            checked[size_t(i)] = true;
        }
    return checked;
}

std::optional<QString> readFile(const QString &path, qint64 maxBytes)
{
    QString text, error;
    if (!TextFile::readText(path, &text, &error, maxBytes)) {
        say(QStringLiteral("ファイルを読めません: ") + error);
        return std::nullopt;
    }
    return text;
}

// The subject is one line, as the window's subject field holds it: a file may end with a
// line break, but may not hold a second line (it would end up in the mail's header).
std::optional<QString> subjectOf(const QCommandLineParser &p)
{
    QString subject;
    if (p.isSet(QStringLiteral("subject-file"))) {
        const std::optional<QString> text = readFile(p.value(QStringLiteral("subject-file")), kMaxSubjectBytes);
        if (!text)
            return std::nullopt;
        subject = *text;
        if (subject.endsWith(u'\n'))
            subject.chop(1);
        if (subject.endsWith(u'\r'))
            subject.chop(1);
    } else {
        subject = p.value(QStringLiteral("subject"));
    }
    if (subject.contains(u'\n') || subject.contains(u'\r')) {
        say(QStringLiteral("件名は1行で指定してください。"));
        return std::nullopt;
    }
    return subject;
}

void write(const QByteArray &out)
{
    std::fwrite(out.constData(), 1, size_t(out.size()), stdout);
    std::fflush(stdout);
}

// What the send would do, written to stdout: the number of recipients and the first one's
// mail, byte for byte as the delivery would put it on the wire. Nothing is written to the
// store.
int showDryRun(const IssueDraft &draft)
{
    const SendConditionText cond = BuildSendCondition(draft.inputs);
    const int count = CountTargets(cond.where);
    QByteArray out = QStringLiteral("対象者数: %1\n").arg(count).toUtf8();
    const std::optional<DeliveryRecipientRecord> first = count > 0 ? FirstRecipient(cond.where) : std::nullopt;
    if (first) {
        const DeliveryPlan plan = DraftDeliveryPlan(draft.inputs.magIdx, draft.title, draft.body);
        DeliveryMail mail(plan);
        const DeliveryRecipient r = ToDeliveryRecipient(*first);
        const bool batch = plan.mode == DeliveryMode::Batch;
        out += QStringLiteral("最初の送信先: %1 <%2>\n").arg(r.values.UserName, r.UserAdrs).toUtf8();
        if (batch)
            out += QStringLiteral("(非表示の宛先に %1 人ずつまとめて送るメールです)\n").arg(kDeliveryBatchSize).toUtf8();
        out += '\n';
        out += batch ? mail.batch(draft.now) : mail.individual(r, draft.now.date(), draft.now);
    }
    write(out);
    return kDone;
}

// Records the issue as the send page does and delivers it.
int sendIssue(const IssueDraft &draft, const TMailThread::Settings &settings)
{
    int magCnt = 0;
    int targets = 0;
    try {
        magCnt = DispatchIssue(draft, [&](int, int, int recipients) { targets = recipients; });
    } catch (const StoreError &e) {
        // Locked by another writer, read-only or full: the transaction left nothing behind.
        say(e.text());
        return kNotStarted;
    }
    say(QStringLiteral("第%1号を記録しました(対象者 %2 人)。").arg(magCnt).arg(targets));
    // An issue that reaches nobody is recorded all the same, and has nothing to send.
    if (targets == 0)
        return kDone;
    // Taken at once: a resume of another process (cron's) would otherwise take the new issue
    // as an interrupted one.
    TMailThread::Settings locked = settings;
    try {
        QString holder;
        if (!SendLock::acquire(draft.inputs.magIdx, magCnt, &holder)) {
            say(QStringLiteral("第%1号はほかの配信が送信中です: %2").arg(magCnt).arg(holder));
            return kNotStarted;
        }
        locked.lockTaken = true;
        for (const IssueStateRow &row : SendStates::issues(draft.inputs.magIdx))
            if (row.MagCnt == magCnt)
                return DeliveryExitCode(deliverIssue(row, locked));
        SendLock::release(draft.inputs.magIdx, magCnt);
    } catch (const StoreError &e) {
        say(e.text());
        return kNotStarted;
    }
    say(QStringLiteral("記録した第%1号が見つかりません。").arg(magCnt));
    return kNotStarted;
}

// Everything that can be refused before the store is opened is refused here.
struct Request {
    int condition = All;
    std::optional<QDate> date;
    std::optional<int> number;
    std::array<bool, 7> updates{};
    QString subject;
    QString body;
    std::optional<QString> conditionText;  // of a condition file, lines joined with CR LF
};

std::optional<Request> readRequest(const QCommandLineParser &p)
{
    Request r;
    auto refuse = [](const QString &why) {
        say(why);
        return std::optional<Request>();
    };
    if (p.isSet(QStringLiteral("subject")) && p.isSet(QStringLiteral("subject-file")))
        return refuse(QStringLiteral("--subject と --subject-file はどちらか一つを指定してください。"));
    if (p.isSet(QStringLiteral("condition")) && p.isSet(QStringLiteral("condition-file")))
        return refuse(QStringLiteral("--condition と --condition-file はどちらか一つを指定してください。"));
    if (p.isSet(QStringLiteral("condition"))) {
        const QString name = p.value(QStringLiteral("condition"));
        const std::optional<int> c = conditionNamed(name);
        if (name == Items().at(Custom))
            return refuse(QStringLiteral("詳細設定の条件は --condition-file で条件式のファイルを指定してください。"));
        if (!c) {
            return refuse(QStringLiteral("送信条件「%1」はありません。次のどれかを指定してください:\n  %2")
                              .arg(name, kConditionKeys.join(QStringLiteral(", "))));
        }
        r.condition = *c;
    }
    if (p.isSet(QStringLiteral("condition-file")))
        r.condition = Custom;
    const bool hasValue = p.isSet(QStringLiteral("value"));
    const bool wantsValue = takesDate(r.condition) || takesNumber(r.condition);
    if (hasValue && !wantsValue)
        return refuse(QStringLiteral("この送信条件に --value は指定できません。"));
    if (!hasValue && wantsValue)
        return refuse(takesDate(r.condition) ? QStringLiteral("この送信条件には --value で日付(例: 2024-01-15)を指定してください。")
                                             : QStringLiteral("この送信条件には --value で数値を指定してください。"));
    if (p.isSet(QStringLiteral("field")) && !needsField(r.condition))
        return refuse(QStringLiteral("この送信条件に --field は指定できません。"));
    const bool monthDay = p.isSet(QStringLiteral("month-day"));
    if (monthDay && r.condition != DateOn)
        return refuse(QStringLiteral("--month-day は送信条件「日付が指定日」(date-on) にだけ指定できます。"));
    const QString value = p.value(QStringLiteral("value"));
    if (hasValue && takesDate(r.condition)) {
        r.date = dateValue(value, monthDay);
        if (!r.date)
            return refuse(QStringLiteral("--value の日付「%1」が正しくありません(例: 2024-01-15、2024/01/15)。").arg(value));
    } else if (hasValue) {
        bool ok = false;
        r.number = value.toInt(&ok);
        if (!ok)
            return refuse(QStringLiteral("--value の数値「%1」が正しくありません。").arg(value));
    }
    const std::optional<std::array<bool, 7>> updates = afterSendBoxes(p.values(QStringLiteral("after-send")));
    if (!updates)
        return std::nullopt;
    r.updates = *updates;

    const std::optional<QString> subject = subjectOf(p);
    if (!subject)
        return std::nullopt;
    r.subject = *subject;
    if (p.isSet(QStringLiteral("body-file"))) {
        const std::optional<QString> body = readFile(p.value(QStringLiteral("body-file")), kMaxBodyBytes);
        if (!body)
            return std::nullopt;
        r.body = ComposeText::WithCrLf(*body);
    }
    if (p.isSet(QStringLiteral("condition-file"))) {
        // As the condition editor opens a file: its lines, shown one to a line.
        QStringList lines;
        QString error;
        if (!TextFile::readLines(p.value(QStringLiteral("condition-file")), &lines, &error, kMaxConditionBytes))
            return refuse(QStringLiteral("ファイルを読めません: ") + error);
        r.conditionText = lines.join(QStringLiteral("\r\n"));
    }
    return r;
}

// Records the request as the send page does and delivers it, or shows what it would do.
int send(const QCommandLineParser &p, const Request &request, const TMailThread::Settings &settings)
{
    SendInputs in;
    in.condition = request.condition;
    in.date = request.date.value_or(QDate::currentDate());
    in.wholeDate = !p.isSet(QStringLiteral("month-day"));
    in.value = request.number.value_or(0);
    const QString magazine = p.value(QStringLiteral("magazine"));
    if (!magazine.isEmpty()) {
        const std::optional<MagazineRecord> m = magazineRecordNamed(magazine);
        if (!m)
            return kRefused;
        in.magIdx = m->magIdx;
        in.fieldNames = m->fieldNames;
    }
    if (p.isSet(QStringLiteral("field")) && in.magIdx >= 0) {
        const QString name = p.value(QStringLiteral("field"));
        const std::optional<int> item = fieldItemNamed(in.condition, name, in.fieldNames);
        if (!item) {
            say(QStringLiteral("項目「%1」はこのマガジンにありません。次のどれかを指定してください: %2")
                    .arg(name, fieldChoices(in.condition, in.fieldNames).join(QStringLiteral(", "))));
            return kRefused;
        }
        in.fieldItem = *item;
    }
    if (request.conditionText) {
        in.customText = *request.conditionText;
        in.customSql = TranslateToSql(in.customText, in.fieldNames);
    }

    SendCheckInputs check;
    check.smtpHost = LoadConnInfo().SmtpHost;
    check.magIdx = in.magIdx;
    check.withText = true;
    check.subject = request.subject;
    check.body = request.body;
    check.condition = in.condition;
    check.fieldItem = in.fieldItem;
    check.customSql = in.customSql;
    const SendCheck checked = CheckSendSettings(check);
    if (!checked.ok) {
        say(checked.message);
        return kRefused;
    }
    // The free condition passes the same test run as in the condition editor.
    QString message;
    if (in.condition == Custom && !CheckCondition(in.customSql, in.fieldNames, &message)) {
        say(message);
        return kRefused;
    }
    const SendConditionText cond = BuildSendCondition(in);
    if (!cond.problem.isEmpty()) {
        say(cond.problem);
        return kRefused;
    }

    MailTexts texts;
    texts.subject = request.subject;
    texts.body = request.body;
    ReadMagazineTexts(in.magIdx, &texts);
    int total = 0;
    const QList<UnmappableChar> unmappable = FindUnmappable(texts, 1, &total);
    if (!unmappable.isEmpty()) {
        // Nobody is there to answer the window's question: the send is refused.
        const UnmappableChar &u = unmappable.first();
        say(QStringLiteral("%1にメールで送れない文字があるため送信しません(%2行目 %3文字目、全部で %4 文字)。")
                .arg(u.field)
                .arg(qMax(1, u.line))
                .arg(u.column)
                .arg(total));
        return kRefused;
    }

    IssueDraft draft;
    draft.inputs = in;
    draft.title = request.subject;
    draft.body = request.body;
    draft.updates = request.updates;
    draft.now = QDateTime::currentDateTime();
    say(cond.text);
    if (p.isSet(QStringLiteral("dry-run")))
        return showDryRun(draft);
    return sendIssue(draft, settings);
}

} // namespace

void addSendOptions(QCommandLineParser &p)
{
    addMagazineOption(p);
    p.addOption({QStringLiteral("subject"), QStringLiteral("件名"), QStringLiteral("件名")});
    p.addOption({QStringLiteral("subject-file"), QStringLiteral("件名のファイル"), QStringLiteral("ファイル")});
    p.addOption({QStringLiteral("body-file"), QStringLiteral("本文のファイル"), QStringLiteral("ファイル")});
    p.addOption({QStringLiteral("condition"), QStringLiteral("送信条件"), QStringLiteral("条件")});
    p.addOption({QStringLiteral("field"), QStringLiteral("条件の項目名"), QStringLiteral("項目名")});
    p.addOption({QStringLiteral("value"), QStringLiteral("条件の日付か数値"), QStringLiteral("値")});
    p.addOption({QStringLiteral("month-day"), QStringLiteral("日付を月日だけで比べます。")});
    p.addOption({QStringLiteral("condition-file"), QStringLiteral("保存した条件式(.whr)"), QStringLiteral("ファイル")});
    p.addOption({QStringLiteral("after-send"), QStringLiteral("送信後の更新"), QStringLiteral("flag1,count1,date1,...")});
    p.addOption({QStringLiteral("dry-run"), QStringLiteral("何も記録せず、対象者数と最初のメールを表示します。")});
    addRetryOption(p);
}

CommandStart startSend(const QCommandLineParser &p)
{
    const std::optional<TMailThread::Settings> settings = deliverySettings(p);
    if (!settings)
        return std::nullopt;
    const std::optional<Request> request = readRequest(p);
    if (!request)
        return std::nullopt;
    return [&p, request, settings] { return send(p, *request, *settings); };
}

} // namespace Cli

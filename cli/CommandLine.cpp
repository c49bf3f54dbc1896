#include "cli/CommandLine.h"

#include "cli/CliCommon.h"
#include "cli/CliExchange.h"
#include "cli/CliListings.h"
#include "cli/CliSend.h"
#include "cli/CliStatus.h"
#include "issue/UCondition.h"
#include "mail/DeliveryManager.h"
#include "mail/InboxProcess.h"
#include "members/UAddress.h"
#include "store/Database.h"
#include "store/Folders.h"
#include "store/FreeClause.h"
#include "store/HistoryRecords.h"
#include "store/MagazineSql.h"
#include "store/SendStates.h"

#include <QCommandLineParser>
#include <QCoreApplication>
#include <QFileInfo>

#include <cstdio>
#include <limits>

namespace {

using namespace Cli;

const QString kUsage = QStringLiteral(
    "使い方:\n"
    "  tsubame send --magazine 名前 (--subject 件名 | --subject-file ファイル) --body-file ファイル\n"
    "        [--condition 条件 [--field 項目名] [--value 値] [--month-day] | --condition-file ファイル.whr]\n"
    "        [--after-send flag1,count1,date1,...] [--dry-run] [--retry-schedule 5s,30s,...]\n"
    "      号を記録して配信します(送信タブの「メール送信」と同じ確認、同じ記録)。\n"
    "      --condition: all(既定), added-since, added-before, flag-on, flag-off, sent, not-sent,\n"
    "        count-at-least, count-at-most, count-equals, date-since, date-before, date-on\n"
    "        (「フラグがON」など送信条件の表示名でも指定できます)。\n"
    "      --field: マガジンの項目名(フラグ・カウンタ・日付)。--value: 日付(2024-01-15 か 2024/01/15)、\n"
    "        発行番号またはカウンタ値。--month-day: date-on で月日だけを比べます。\n"
    "      --condition-file: 条件エディタで保存した条件式。--after-send: 送信後に flag1-3 をON、\n"
    "        count1-2 を加算、date1-2 を今日の日付にします。\n"
    "      ファイルは Shift-JIS(CP932) か UTF-8(BOM の有無は問いません)で読みます。\n"
    "      --dry-run: 何も記録せず、対象者数と最初のメンバーへのメールを送る形のまま表示します。\n"
    "      例: tsubame send --magazine 週刊ツバメ --subject-file 件名.txt --body-file 本文.txt \\\n"
    "            --condition flag-on --field 購読中 --after-send count1,date1\n"
    "  tsubame deliver --magazine 名前 --issue 番号 [--retry-schedule 5s,30s,...]\n"
    "      記録済みの号を配信します。\n"
    "  tsubame resume [--all] [--resend-unknown] [--retry-schedule 5s,30s,...]\n"
    "      途中で止まった号の配信を再開します。--all がなければ、再開できる号が一つのときだけ再開します。\n"
    "      ほかのプロセスが配信中の号は再開せず、そのプロセスを表示します(終了コード 2)。\n"
    "      --resend-unknown: 結果不明のメンバーにも送り直します。\n"
    "  tsubame status [--json] [--limit 人数]\n"
    "      号ごとの配信状況、配信中のプロセス(ホスト、プロセス番号、開始時刻)と、保留・失敗・不明のメンバーを\n"
    "      表示します。--limit: 号ごとに表示するメンバーの上限(件数はすべて数えます)。\n"
    "  tsubame magazines [--format text|csv|json]\n"
    "      マガジンの一覧(番号、名前、メンバー数)を表示します。\n"
    "  tsubame members --magazine 名前 [--format text|csv|json]\n"
    "      マガジンのメンバーを表示します(UTF-8)。\n"
    "  tsubame check-condition --magazine 名前 条件式\n"
    "      自由条件を送信と同じように確かめ、実行される形を表示します。誤りがあれば理由を表示します。\n"
    "  tsubame inbox [--keep]\n"
    "      返信メールを処理します(配信停止の依頼と不達通知)。--keep: メールボックスから何も削除しません。\n"
    "  tsubame import --magazine 名前 ファイル [--columns 0,1,2,...] [--no-heading] [--no-replace] [--log ファイル]\n"
    "      CSV ファイル(シフトJIS か UTF-8)のメンバーをマガジンに追加し、同じアドレスのメンバーは置き換えます。\n"
    "      --columns: ファイルの列ごとの項目番号(0 メンバー名、1 メールアドレス、2 url、3-5 フラグ、6-7 カウンタ、\n"
    "      8-9 日付、10 登録日)。既定はエクスポートの並び。無効なアドレスの行は --log のファイル(既定は画面と同じ\n"
    "      ImportError.log、その場所がなければ標準エラー)に書きます。\n"
    "      例: tsubame import --magazine 週刊ツバメ 新会員.csv --columns 0,1 --no-heading\n"
    "  tsubame export --magazine 名前 ファイル\n"
    "      メンバーを CSV ファイルに書き出します(- で標準出力)。ファイルは書き終えてから置き換えます。\n"
    "      例: tsubame export --magazine 週刊ツバメ - > 会員.csv\n"
    "  tsubame remove-list --magazine 名前 ファイル\n"
    "      ファイルに一行ずつ書かれたアドレスのメンバーを削除し、削除した人数を表示します。\n"
    "      例: tsubame remove-list --magazine 週刊ツバメ 退会.txt\n"
    "  tsubame backup ファイル\n"
    "      データベース全体をファイルにバックアップします。例: tsubame backup ~/ツバメ便-$(date +%Y%m%d).bak\n"
    "  tsubame restore ファイル --yes\n"
    "      データベース全体をバックアップの内容で置き換えます(--yes が必要)。失敗すれば元のままです。\n"
    "      例: tsubame restore ~/ツバメ便-20261211.bak --yes\n"
    "終了コード: 0 全員に送信済(またはスキップ)、3 一部が未送信・失敗・不明、2 開始できない、1 引数の誤り\n"
    "  (send は 2 のときデータベースが使用中か、サーバに届かない。記録済みの号は resume で再開できます;\n"
    "   deliver と resume は 2 のとき、その号(resume --all ではどれか一つの号)をほかのプロセスが配信中。\n"
    "   resume --all はそれ以外の号を再開したうえで 2 を返します;\n"
    "   send --dry-run は 0 表示済)\n"
    "  (inbox は 0 処理済、2 データベースかサーバに届かない、1 引数の誤り;\n"
    "   magazines と members は 0 表示済、2 データベースを読めない、1 引数の誤り;\n"
    "   check-condition は 0 正しい条件式、1 誤りのある条件式か引数の誤り、2 データベースを読めない;\n"
    "   import、export、remove-list、backup、restore は 0 完了、1 引数かファイルの誤り(バックアップでないファイル)、\n"
    "   2 データベースに届かないかロック中、3 一部の行が取り込めなかったか途中で止まった)\n");

// The worst of two exit statuses: could not start, then some left, then done.
int worse(int a, int b)
{
    auto rank = [](int code) { return code == kNotStarted ? 2 : code == kSomeLeft ? 1 : 0; };
    return rank(a) >= rank(b) ? a : b;
}

std::optional<IssueStateRow> findIssue(int magIdx, int magCnt)
{
    for (const IssueStateRow &row : SendStates::issues(magIdx))
        if (row.MagCnt == magCnt)
            return row;
    return std::nullopt;
}

// The issue as a delivery takes it. An issue an older build recorded has no per-recipient
// records yet: they are made now, as the window makes them before its first delivery, the
// members its SendComplete flags mark done counting as sent.
std::optional<IssueStateRow> issueToDeliver(int magIdx, int magCnt)
{
    if (std::optional<IssueStateRow> issue = findIssue(magIdx, magCnt))
        return issue;
    if (!ReadHistoryIssue(magIdx, magCnt))
        return std::nullopt;
    Transaction t;
    SendStates::seed(magIdx, magCnt);
    t.commit();
    return findIssue(magIdx, magCnt);
}

int runDeliver(const QCommandLineParser &p, const TMailThread::Settings &settings)
{
    bool ok = false;
    const int magCnt = p.value(QStringLiteral("issue")).toInt(&ok);
    const QString magazine = p.value(QStringLiteral("magazine"));
    if (magazine.isEmpty() || !ok || magCnt <= 0) {
        say(QStringLiteral("--magazine と --issue (1 以上の番号) を指定してください。"));
        return kRefused;
    }
    if (!openStore())
        return kNotStarted;
    try {
        const std::optional<int> magIdx = magazineNamed(magazine);
        if (!magIdx)
            return kRefused;
        if (!ReadHistoryIssue(*magIdx, magCnt)) {
            say(QStringLiteral("そのマガジンの号が見つかりません: %1 第%2号").arg(magazine).arg(magCnt));
            return kRefused;
        }
        const std::optional<IssueStateRow> issue = issueToDeliver(*magIdx, magCnt);
        if (!issue) {
            say(QStringLiteral("%1 第%2号には送信先がありません。").arg(magazine).arg(magCnt));
            return kDone;
        }
        return DeliveryExitCode(deliverIssue(*issue, settings));
    } catch (const StoreError &e) {
        return storeUnreadable(e);
    }
}

// Says that the issue is being delivered elsewhere, and by whom.
void sayBusy(const IssueStateRow &row)
{
    const std::optional<SendLockHolder> holder = SendLock::holder(row.MagIdx, row.MagCnt);
    say(QStringLiteral("%1 第%2号はほかの配信が送信中のため、再開しません。").arg(row.MagName).arg(row.MagCnt)
        + (holder ? QStringLiteral("(%1)").arg(SendLockHolderText(*holder)) : QString()));
}

// The open issues are resumed unless a live delivery holds them. Those are named, with who
// delivers them, and make the exit status 2 (the worst there is) after the free ones were
// resumed: a cron job that finds a delivery still running says so instead of saying done.
int runResume(const QCommandLineParser &p, TMailThread::Settings settings)
{
    if (!openStore())
        return kNotStarted;
    settings.resendUnknown = p.isSet(QStringLiteral("resend-unknown"));
    try {
        QList<IssueStateRow> issues, busy;
        for (const IssueStateRow &row : SendStates::issues(0)) {
            const bool open = row.counts.open() > 0 || (settings.resendUnknown && row.counts.unknown > 0);
            if (open)
                (row.state == IssueState::Running ? busy : issues) += row;
        }
        if (issues.isEmpty() && busy.isEmpty()) {
            say(QStringLiteral("再開する配信はありません。"));
            return kDone;
        }
        if (issues.size() > 1 && !p.isSet(QStringLiteral("all"))) {
            say(QStringLiteral("再開できる号が複数あります。すべて再開するには --all を付けてください:"));
            for (const IssueStateRow &row : issues)
                say(QStringLiteral("  %1 第%2号 (残り %3)").arg(row.MagName).arg(row.MagCnt).arg(row.counts.open()));
            return kRefused;
        }
        for (const IssueStateRow &row : busy)
            sayBusy(row);
        int code = busy.isEmpty() ? kDone : kNotStarted;
        for (const IssueStateRow &row : issues)
            code = worse(code, DeliveryExitCode(deliverIssue(row, settings)));
        return code;
    } catch (const StoreError &e) {
        return storeUnreadable(e);
    }
}

int runStatus(const QCommandLineParser &p)
{
    StatusOptions options;
    options.json = p.isSet(QStringLiteral("json"));
    if (p.isSet(QStringLiteral("limit"))) {
        bool ok = false;
        const qint64 limit = p.value(QStringLiteral("limit")).toLongLong(&ok);
        if (!ok || limit < 0) {
            say(QStringLiteral("--limit には 0 以上の人数を指定してください。"));
            return kRefused;
        }
        options.limit = limit;
    }
    if (!openStore())
        return kNotStarted;
    try {
        WriteStatus(options, [](const QByteArray &piece) { std::fwrite(piece.constData(), 1, size_t(piece.size()), stdout); });
        std::fflush(stdout);
        return kDone;
    } catch (const StoreError &e) {
        std::fflush(stdout);
        return storeUnreadable(e);
    }
}

std::optional<ListingFormat> listingFormat(const QCommandLineParser &p)
{
    const QString f = p.value(QStringLiteral("format"));
    if (f.isEmpty() || f == QLatin1String("text"))
        return ListingFormat::Text;
    if (f == QLatin1String("csv"))
        return ListingFormat::Csv;
    if (f == QLatin1String("json"))
        return ListingFormat::Json;
    return std::nullopt;
}

// "magazines" and "members": read-only listings on stdout.
int runListing(const QString &command, const QCommandLineParser &p)
{
    const std::optional<ListingFormat> format = listingFormat(p);
    if (!format) {
        say(QStringLiteral("--format は text、csv、json のどれかです。"));
        return kRefused;
    }
    const QString magazine = command == QLatin1String("members") ? p.value(QStringLiteral("magazine")) : QString();
    if (command == QLatin1String("members") && magazine.isEmpty()) {
        say(QStringLiteral("--magazine でマガジン名を指定してください。"));
        return kRefused;
    }
    if (!openStore())
        return kNotStarted;
    try {
        QByteArray out;
        if (command == QLatin1String("magazines")) {
            out = MagazineListing(*format);
        } else {
            const std::optional<int> magIdx = magazineNamed(magazine);
            if (!magIdx)
                return kRefused;
            out = MemberListing(*magIdx, *format);
        }
        std::fwrite(out.constData(), 1, size_t(out.size()), stdout);
        return kDone;
    } catch (const StoreError &e) {
        return storeUnreadable(e);
    }
}

// "check-condition": the free condition as a send would run it, or why it is refused.
int runCheckCondition(const QCommandLineParser &p)
{
    const QString magazine = p.value(QStringLiteral("magazine"));
    const QStringList text = p.positionalArguments();
    if (magazine.isEmpty() || text.size() != 1) {
        say(QStringLiteral("--magazine でマガジン名を、続けて条件式を一つ指定してください。"));
        return kRefused;
    }
    if (!openStore())
        return kNotStarted;
    try {
        const std::optional<MagazineRecord> m = magazineRecordNamed(magazine);
        if (!m)
            return kRefused;
        const QString clause = TranslateToSql(text.first(), m->fieldNames);
        QString message;
        if (!CheckCondition(clause, m->fieldNames, &message)) {
            say(message);
            return kRefused;
        }
        const QByteArray out = (FreeClause::read(clause).sql() + u'\n').toUtf8();
        std::fwrite(out.constData(), 1, size_t(out.size()), stdout);
        return kDone;
    } catch (const StoreError &e) {
        return storeUnreadable(e);
    }
}

int runInbox(const QCommandLineParser &p)
{
    if (!openStore())
        return kNotStarted;
    InboxSummary summary;
    try {
        QString why;
        std::optional<InboxOptions> options = InboxOptionsFromStore(&why);
        if (!options) {
            say(why);
            return kNotStarted;
        }
        options->keep = p.isSet(QStringLiteral("keep"));
        Progress progress(QStringLiteral("返信メール"));
        summary = ProcessInbox(*options, {}, [&progress](int done, int total) { progress.show(done, total); }, nullptr);
    } catch (const StoreError &e) {
        return storeUnreadable(e);
    }
    say(summary.text());
    const bool done = summary.end == InboxSummary::End::Done || summary.end == InboxSummary::End::Cancelled;
    return done ? kDone : kNotStarted;
}

} // namespace

std::optional<int> RunCommandLine(int argc, char **argv)
{
    const QString command = argc > 1 ? QString::fromLocal8Bit(argv[1]) : QString();
    if (argc == 2 && (command == QLatin1String("--help") || command == QLatin1String("-h"))) {
        std::fputs(qPrintable(kUsage + QStringLiteral("引数なしで起動すると画面が開きます。--version: バージョンを表示します。\n")),
                   stdout);
        return kDone;
    }
    const bool listing = command == QLatin1String("magazines") || command == QLatin1String("members");
    const bool checkCondition = command == QLatin1String("check-condition");
    const bool send = command == QLatin1String("send");
    if (!send && command != QLatin1String("deliver") && command != QLatin1String("resume") && command != QLatin1String("status")
        && command != QLatin1String("inbox") && !listing && !checkCondition && !isExchangeCommand(command))
        return std::nullopt;
    QCoreApplication app(argc, argv);
    QCommandLineParser p;
    p.setSingleDashWordOptionMode(QCommandLineParser::ParseAsLongOptions);
    const QCommandLineOption help({QStringLiteral("h"), QStringLiteral("help")}, QStringLiteral("この説明を表示します。"));
    p.addOption(help);
    if (command == QLatin1String("deliver")) {
        p.addOption({QStringLiteral("magazine"), QStringLiteral("マガジン名"), QStringLiteral("名前")});
        p.addOption({QStringLiteral("issue"), QStringLiteral("号の番号"), QStringLiteral("番号")});
    } else if (command == QLatin1String("resume")) {
        p.addOption({QStringLiteral("all"), QStringLiteral("再開できる号をすべて再開します。")});
        p.addOption({QStringLiteral("resend-unknown"), QStringLiteral("結果不明のメンバーにも送り直します。")});
    } else if (command == QLatin1String("inbox")) {
        p.addOption({QStringLiteral("keep"), QStringLiteral("メールボックスから何も削除しません。")});
    } else if (send) {
        addSendOptions(p);
    } else if (checkCondition) {
        p.addOption({QStringLiteral("magazine"), QStringLiteral("マガジン名"), QStringLiteral("名前")});
        p.addPositionalArgument(QStringLiteral("条件式"), QStringLiteral("マガジンの項目名で書いた自由条件"));
    } else if (isExchangeCommand(command)) {
        addExchangeOptions(command, p);
    } else if (listing) {
        p.addOption({QStringLiteral("format"), QStringLiteral("出力の形式"), QStringLiteral("text|csv|json")});
        if (command == QLatin1String("members"))
            p.addOption({QStringLiteral("magazine"), QStringLiteral("マガジン名"), QStringLiteral("名前")});
    } else {
        p.addOption({QStringLiteral("json"), QStringLiteral("JSON で出力します。")});
        p.addOption({QStringLiteral("limit"), QStringLiteral("号ごとに表示するメンバーの上限(件数はすべて数えます)"), QStringLiteral("人数")});
    }
    if (send || command == QLatin1String("deliver") || command == QLatin1String("resume"))
        p.addOption({QStringLiteral("retry-schedule"), QStringLiteral("再送の間隔"), QStringLiteral("5s,30s,...")});
    QStringList args = QCoreApplication::arguments();
    args.removeAt(1);
    if (!p.parse(args)) {
        say(p.errorText());
        say(kUsage);
        return kRefused;
    }
    if (p.isSet(help)) {
        std::fputs(qPrintable(kUsage), stdout);
        return kDone;
    }
    if (checkCondition)
        return runCheckCondition(p);
    if (isExchangeCommand(command))
        return runExchange(command, p);
    if (!p.positionalArguments().isEmpty()) {
        say(QStringLiteral("余分な引数があります: ") + p.positionalArguments().join(u' '));
        return kRefused;
    }
    if (command == QLatin1String("status"))
        return runStatus(p);
    if (command == QLatin1String("inbox"))
        return runInbox(p);
    if (listing)
        return runListing(command, p);

    TMailThread::Settings settings;
    settings.isValidAddress = IsValidAddress;
    settings.DocDir = Folders::docDir();
    if (p.isSet(QStringLiteral("retry-schedule"))) {
        settings.retry = RetrySchedule::parse(p.value(QStringLiteral("retry-schedule")));
        if (!settings.retry) {
            say(QStringLiteral("--retry-schedule が正しくありません(例: 5s,30s,1m)。"));
            return kRefused;
        }
    }
    if (send)
        return runSend(p, settings);
    return command == QLatin1String("deliver") ? runDeliver(p, settings) : runResume(p, settings);
}

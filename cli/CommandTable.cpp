#include "cli/CommandTable.h"

#include "cli/CliCondition.h"
#include "cli/CliDelivery.h"
#include "cli/CliExchange.h"
#include "cli/CliInbox.h"
#include "cli/CliListings.h"
#include "cli/CliSend.h"
#include "cli/CliStatus.h"

#include <QCommandLineParser>

#include <cstdio>

namespace Cli {

namespace {

const QString kExitStatuses = QStringLiteral(
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

const QString kUsageHeading = QStringLiteral("使い方:\n");

void print(const QString &text)
{
    std::fputs(qPrintable(text), stdout);
}

// "help [COMMAND]": the usage of every command, or of the one named.
CommandStart startHelp(const QCommandLineParser &p)
{
    const QStringList names = p.positionalArguments();
    if (names.size() > 1) {
        say(QStringLiteral("コマンド名を一つ指定してください。"));
        return std::nullopt;
    }
    if (names.isEmpty())
        return [] {
            print(CommandTable::usage());
            return kDone;
        };
    const CommandRow *row = CommandTable::find(names.first());
    if (!row) {
        sayUnknownCommand(names.first());
        return std::nullopt;
    }
    return [row] {
        print(CommandTable::usage(*row));
        return kDone;
    };
}

QList<CommandRow> makeRows()
{
    return {
        {QStringLiteral("send"),
         QStringLiteral(
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
             "            --condition flag-on --field 購読中 --after-send count1,date1\n"),
         addSendOptions, startSend, true, false},
        {QStringLiteral("deliver"),
         QStringLiteral("  tsubame deliver --magazine 名前 --issue 番号 [--retry-schedule 5s,30s,...]\n"
                        "      記録済みの号を配信します。\n"),
         addDeliverOptions, startDeliver, true, false},
        {QStringLiteral("resume"),
         QStringLiteral(
             "  tsubame resume [--all] [--resend-unknown] [--retry-schedule 5s,30s,...]\n"
             "      途中で止まった号の配信を再開します。--all がなければ、再開できる号が一つのときだけ再開します。\n"
             "      ほかのプロセスが配信中の号は再開せず、そのプロセスを表示します(終了コード 2)。\n"
             "      --resend-unknown: 結果不明のメンバーにも送り直します。\n"),
         addResumeOptions, startResume, true, false},
        {QStringLiteral("status"),
         QStringLiteral(
             "  tsubame status [--json] [--limit 人数]\n"
             "      号ごとの配信状況、配信中のプロセス(ホスト、プロセス番号、開始時刻)と、保留・失敗・不明のメンバーを\n"
             "      表示します。--limit: 号ごとに表示するメンバーの上限(件数はすべて数えます)。\n"),
         addStatusOptions, startStatus, true, false},
        {QStringLiteral("magazines"),
         QStringLiteral("  tsubame magazines [--format text|csv|json]\n"
                        "      マガジンの一覧(番号、名前、メンバー数)を表示します。\n"),
         addMagazinesOptions, startMagazines, true, false},
        {QStringLiteral("members"),
         QStringLiteral("  tsubame members --magazine 名前 [--format text|csv|json]\n"
                        "      マガジンのメンバーを表示します(UTF-8)。\n"),
         addMembersOptions, startMembers, true, false},
        {QStringLiteral("check-condition"),
         QStringLiteral(
             "  tsubame check-condition --magazine 名前 条件式\n"
             "      自由条件を送信と同じように確かめ、実行される形を表示します。誤りがあれば理由を表示します。\n"),
         addMagazineOption, startCheckCondition, true, true},
        {QStringLiteral("inbox"),
         QStringLiteral(
             "  tsubame inbox [--keep]\n"
             "      返信メールを処理します(配信停止の依頼と不達通知)。--keep: メールボックスから何も削除しません。\n"),
         addInboxOptions, startInbox, true, false},
        {QStringLiteral("import"),
         QStringLiteral(
             "  tsubame import --magazine 名前 ファイル [--columns 0,1,2,...] [--no-heading] [--no-replace] [--log ファイル]\n"
             "      CSV ファイル(シフトJIS か UTF-8)のメンバーをマガジンに追加し、同じアドレスのメンバーは置き換えます。\n"
             "      --columns: ファイルの列ごとの項目番号(0 メンバー名、1 メールアドレス、2 url、3-5 フラグ、6-7 カウンタ、\n"
             "      8-9 日付、10 登録日)。既定はエクスポートの並び。無効なアドレスの行は --log のファイル(既定は画面と同じ\n"
             "      ImportError.log、その場所がなければ標準エラー)に書きます。\n"
             "      例: tsubame import --magazine 週刊ツバメ 新会員.csv --columns 0,1 --no-heading\n"),
         addImportOptions, startImport, true, true},
        {QStringLiteral("export"),
         QStringLiteral(
             "  tsubame export --magazine 名前 ファイル\n"
             "      メンバーを CSV ファイルに書き出します(- で標準出力)。ファイルは書き終えてから置き換えます。\n"
             "      例: tsubame export --magazine 週刊ツバメ - > 会員.csv\n"),
         addMagazineOption, startExport, true, true},
        {QStringLiteral("remove-list"),
         QStringLiteral("  tsubame remove-list --magazine 名前 ファイル\n"
                        "      ファイルに一行ずつ書かれたアドレスのメンバーを削除し、削除した人数を表示します。\n"
                        "      例: tsubame remove-list --magazine 週刊ツバメ 退会.txt\n"),
         addMagazineOption, startRemoveList, true, true},
        {QStringLiteral("backup"),
         QStringLiteral(
             "  tsubame backup ファイル\n"
             "      データベース全体をファイルにバックアップします。例: tsubame backup ~/ツバメ便-$(date +%Y%m%d).bak\n"),
         nullptr, startBackup, true, true},
        {QStringLiteral("restore"),
         QStringLiteral(
             "  tsubame restore ファイル --yes\n"
             "      データベース全体をバックアップの内容で置き換えます(--yes が必要)。失敗すれば元のままです。\n"
             "      例: tsubame restore ~/ツバメ便-20261211.bak --yes\n"),
         addRestoreOptions, startRestore, true, true},
        {QStringLiteral("help"),
         QStringLiteral("  tsubame help [コマンド]\n"
                        "      コマンドの使い方を表示します(tsubame コマンド --help と同じ)。\n"),
         nullptr, startHelp, false, true},
    };
}

} // namespace

const QList<CommandRow> &CommandTable::rows()
{
    static const QList<CommandRow> rows = makeRows();
    return rows;
}

const CommandRow *CommandTable::find(const QString &name)
{
    for (const CommandRow &row : rows())
        if (row.name == name)
            return &row;
    return nullptr;
}

QString CommandTable::usage()
{
    QString text = kUsageHeading;
    for (const CommandRow &row : rows())
        text += row.usage;
    return text + kExitStatuses
           + QStringLiteral("引数なしで起動すると画面が開きます。--version: バージョンを表示します。\n");
}

QString CommandTable::usage(const CommandRow &row)
{
    return kUsageHeading + row.usage + kExitStatuses;
}

void sayUnknownCommand(const QString &name)
{
    say(QStringLiteral("「%1」というコマンドはありません。").arg(name));
    std::fputs(qPrintable(CommandTable::usage()), stderr);
}

} // namespace Cli

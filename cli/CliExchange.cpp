#include "cli/CliExchange.h"

#include "cli/CliCommon.h"
#include "cli/CliDevices.h"
#include "maintenance/CountedLineFile.h"
#include "maintenance/UBackup.h"
#include "maintenance/UExport.h"
#include "maintenance/UImport.h"
#include "maintenance/URemoveList.h"
#include "maintenance/UTextLines.h"
#include "store/AppSettings.h"
#include "store/BackupScript.h"
#include "store/Database.h"
#include "store/Folders.h"
#include "store/MagazineSql.h"

#include <QCommandLineParser>
#include <QDate>
#include <QFile>
#include <QFileInfo>
#include <QTemporaryDir>

#include <cstdio>
#include <memory>

namespace Cli {

namespace {

QString cannotOpen(const QString &file, const QString &why)
{
    return QStringLiteral("ファイル ") + file + QStringLiteral("　が開けません: ") + why;
}

// The one FILE argument; empty, having said so, when there is not exactly one.
QString fileArgument(const QCommandLineParser &p)
{
    const QStringList files = p.positionalArguments();
    if (files.size() != 1 || files.first().isEmpty()) {
        say(QStringLiteral("ファイルを一つ指定してください。"));
        return QString();
    }
    return files.first();
}

// Opens a file of lines and counts them for the progress line; null, having said why, when it
// cannot be read.
std::shared_ptr<CountedLineFile> openCounted(const QString &fileName)
{
    auto file = std::make_shared<CountedLineFile>(fileName);
    if (file->open())
        return file;
    say(cannotOpen(fileName, file->errorString()));
    return nullptr;
}

// --magazine and FILE, both required.
bool magazineAndFile(const QCommandLineParser &p, QString &magazine, QString &file)
{
    magazine = p.value(QStringLiteral("magazine"));
    if (magazine.isEmpty()) {
        say(QStringLiteral("--magazine でマガジン名を指定してください。"));
        return false;
    }
    file = fileArgument(p);
    return !file.isEmpty();
}

// Progress by lines, redrawn about a thousand times over the whole file at most: a line
// each time would cost more than the import itself on a fast terminal.
class LineProgress
{
public:
    LineProgress(const QString &label, qint64 total)
        : m_progress(label), m_total(total), m_step(qMax<qint64>(1, total / 1000))
    {}
    void show(qint64 line)
    {
        if (line - m_shown >= m_step || line == m_total) {
            m_shown = line;
            m_progress.show(line, m_total);
        }
    }
    void breakLine() { m_progress.breakLine(); }

private:
    Progress m_progress;
    qint64 m_total;
    qint64 m_step;
    qint64 m_shown = 0;
};

// The item codes of the file's columns: "0,1,2" names the member name, the address and
// the url, in that order. The address must be one of them, as the import dialog asks.
std::optional<QList<int>> parseColumns(const QString &text)
{
    QList<int> order;
    for (const QString &part : text.split(u',')) {
        bool ok = false;
        const int code = part.trimmed().toInt(&ok);
        if (!ok || code < 0 || code > 10 || order.contains(code)) {
            say(QStringLiteral(
                    "--columns の「%1」は使えません。0 から 10 の項目番号を重複なく、コンマで区切って指定してください。")
                    .arg(part));
            return std::nullopt;
        }
        order << code;
    }
    if (!order.contains(1)) {
        say(QStringLiteral("メールアドレスは必ずチェックする必要があります。(--columns に 1 を含めてください)"));
        return std::nullopt;
    }
    return order;
}

// Says where a job over a file's lines stopped, and what stays done before it; the exit
// status: 2 when the store failed, 3 when a line or the file did.
int stoppedLineJob(const LineJobOutcome &outcome, const QString &keptText)
{
    say(outcome.error);
    say(QStringLiteral("%1 行目で中断しました。").arg(outcome.errorLine) + keptText);
    return outcome.storeFailed ? kNotStarted : kSomeLeft;
}

// Where the import writes the lines it rejected: the file asked for, or the window's log
// when the window has its folder; empty (stderr) on a server that never ran the window.
QString importLogName(const QString &asked)
{
    if (asked.isEmpty() && QFileInfo(Folders::docDir()).isDir())
        return Folders::docDir() + QStringLiteral("/ImportError.log");
    return asked;
}

int import(const QString &magazine, CountedLineFile &file, const ImportSettings &settings, const QString &logAsked)
{
    const std::optional<int> magIdx = magazineNamed(magazine);
    if (!magIdx)
        return kRefused;

    LineProgress progress(QStringLiteral("インポート中"), file.lines());
    const QString logName = importLogName(logAsked);
    QFile logFile(logName);
    StderrLogDevice stderrLog([&progress] { progress.breakLine(); });
    QIODevice *log = &stderrLog;
    if (!logName.isEmpty()) {
        if (!logFile.open(QIODevice::WriteOnly | QIODevice::Truncate)) {
            say(cannotOpen(logName, logFile.errorString()));
            return kRefused;
        }
        log = &logFile;
    } else {
        stderrLog.open(QIODevice::WriteOnly | QIODevice::Unbuffered);
    }

    const ImportOutcome outcome = file.read(
        [&](TextLineReader &lines, const std::function<void(int)> &lineDone) {
            return MemberImport(*magIdx, settings, QDate::currentDate()).run(lines, log, lineDone);
        },
        [&progress](qint64 line, qint64) { progress.show(line); });
    progress.breakLine();
    logFile.close();
    say(QStringLiteral("%1 行を読み、%2 人を追加、%3 人を更新しました。")
            .arg(outcome.lines)
            .arg(outcome.inserted)
            .arg(outcome.updated));
    const QString where =
        logName.isEmpty() ? QStringLiteral("上の一覧") : QStringLiteral("インポートログ（%1）").arg(logName);
    if (outcome.rejected > 0)
        say(QStringLiteral(
                "無効なメールアドレスが %1 件見つかりました。これらの行はインポートされていません。%2を確認してください。")
                .arg(outcome.rejected)
                .arg(where));
    if (outcome.tooLong > 0)
        say(TooLongLinesText(outcome.tooLong, where));
    if (outcome.stopped)
        return stoppedLineJob(outcome, QStringLiteral("それより前の行はインポートされています。"));
    return outcome.rejected + outcome.tooLong > 0 ? kSomeLeft : kDone;
}

// A failed export or backup: the file could not be written (1), or the store not read (2).
int writeFailure(const WatchedSaveFile &file, const QString &fileName, const QString &error)
{
    if (file.writeFailed() || error == file.errorString()) {
        say(QStringLiteral("ファイル %1 に書き込めません: %2 (元のファイルはそのままです)").arg(fileName, error));
        return kRefused;
    }
    say(QStringLiteral("データベースを読めません: ") + error);
    return kNotStarted;
}

// Copies a finished file to stdout.
bool copyToStdout(const QString &fileName)
{
    QFile in(fileName);
    if (!in.open(QIODevice::ReadOnly))
        return false;
    for (;;) {
        const QByteArray chunk = in.read(1 << 20);
        if (chunk.isEmpty())
            break;
        if (std::fwrite(chunk.constData(), 1, size_t(chunk.size()), stdout) != size_t(chunk.size()))
            return false;
    }
    return std::fflush(stdout) == 0 && !in.error();
}

int exportMembers(const QString &magazine, const QString &fileName)
{
    const std::optional<MagazineRecord> m = magazineRecordNamed(magazine);
    if (!m)
        return kRefused;
    // "-" is stdout: the file is finished aside first, so a failure never leaves half a
    // list in a pipe.
    const bool toStdout = fileName == QLatin1String("-");
    QTemporaryDir aside;
    const QString target = toStdout ? aside.filePath(QStringLiteral("members.csv")) : fileName;
    ExportOutcome outcome;
    {
        WatchedSaveFile file(target);
        if (!file.openForWriting()) {
            say(cannotOpen(fileName, file.errorString()));
            return kRefused;
        }
        outcome = ExportMembers(m->magIdx, m->fieldNames, file);
        if (!outcome.ok)
            return writeFailure(file, fileName, outcome.error);
    }
    if (toStdout && !copyToStdout(target)) {
        say(QStringLiteral("標準出力に書き込めません。"));
        return kRefused;
    }
    say(QStringLiteral("%1 人のメンバーを書き出しました%2。")
            .arg(outcome.members)
            .arg(toStdout ? QString() : QStringLiteral(": ") + fileName));
    if (outcome.utf8)
        say(QStringLiteral("シフトJISにない文字があるため、UTF-8 (BOM 付き) で書きました。"));
    return kDone;
}

int removeListed(const QString &magazine, CountedLineFile &file)
{
    const std::optional<int> magIdx = magazineNamed(magazine);
    if (!magIdx)
        return kRefused;
    RemoveOutcome outcome;
    {
        LineProgress progress(QStringLiteral("削除中"), file.lines());
        outcome = file.read(
            [&](TextLineReader &lines, const std::function<void(int)> &lineDone) {
                return RemoveListedMembers(*magIdx, lines, lineDone);
            },
            [&progress](qint64 line, qint64) { progress.show(line); });
    }
    const QByteArray out = QStringLiteral("%1 人のメンバーを削除しました。\n").arg(outcome.removed).toUtf8();
    std::fwrite(out.constData(), 1, size_t(out.size()), stdout);
    if (outcome.stopped)
        return stoppedLineJob(outcome, QStringLiteral("それより前の行のメンバーは削除されています。"));
    return kDone;
}

int backup(const QString &fileName)
{
    BackupOutcome outcome;
    {
        // written beside the old backup, which it replaces only once complete
        WatchedSaveFile file(fileName);
        if (!file.openForWriting()) {
            say(cannotOpen(fileName, file.errorString()));
            return kRefused;
        }
        Progress progress(QStringLiteral("バックアップ中"));
        outcome = WriteBackup(file, [&progress](qint64 rows, qint64 total) {
            if (rows % 10000 == 0 || rows == total)
                progress.show(rows, total);
            return true;
        });
        progress.breakLine();
        if (!outcome.ok)
            return writeFailure(file, fileName, outcome.error);
    }
    AppSettings::writeString(QStringLiteral("UserBackupDate"),
                             QDate::currentDate().toString(QStringLiteral("yyyyMMdd")));
    say(QStringLiteral("バックアップしました: ") + fileName);
    if (outcome.utf8)
        say(QStringLiteral("シフトJISにない文字があるため、UTF-8 (BOM 付き) で書きました。"));
    return kDone;
}

int restore(QFile &file)
{
    RestoreOutcome outcome;
    bool unreadable = false;
    {
        Progress progress(QStringLiteral("復元中"));
        int shown = -1;
        TextLineReader reader(file);
        outcome = RestoreBackup(reader, [&](qint64 read, qint64 size) {
            const int percent = size > 0 ? int(read * 100 / size) : 100;
            if (percent != shown) {
                shown = percent;
                progress.showText(QStringLiteral("%1%").arg(percent));
            }
            return true;
        });
        unreadable = reader.failed();
    }
    if (outcome.ok && outcome.statements == 0) {
        say(QStringLiteral(
            "バックアップファイルではありません(文が一つもありません)。データベースは変わっていません。"));
        return kRefused;
    }
    if (!outcome.ok) {
        // the beginning of the statement it stopped at: a file that is no backup can be long
        QString buffer = outcome.buffer;
        if (buffer.size() > 2000)
            buffer = buffer.left(2000) + QStringLiteral("…");
        say(QStringLiteral("エラー ") + buffer);
        say(outcome.error);
        say(QStringLiteral("復元できませんでした。データベースは元のままです。"));
        // A statement of a backup's own form that failed, or none at all (the store
        // could not be locked for writing), is the store's failure; anything else the
        // file's.
        const bool storeFailed =
            !unreadable && (outcome.buffer.trimmed().isEmpty() || BackupScript::isStatement(outcome.buffer));
        return storeFailed ? kNotStarted : kRefused;
    }
    say(QStringLiteral("復元しました(%1 文)。ツバメ便の画面を開いている場合は再起動してください。")
            .arg(outcome.statements));
    if (const QString settled = RestoreSettlementText(outcome.settlement); !settled.isEmpty())
        say(settled);
    return kDone;
}

} // namespace

void addImportOptions(QCommandLineParser &p)
{
    addMagazineOption(p);
    p.addOption({QStringLiteral("columns"),
                 QStringLiteral("ファイルの列ごとの項目番号(0 メンバー名、1 メールアドレス、2 url、"
                                "3-5 フラグ、6-7 カウンタ、8-9 日付、10 登録日)。既定はエクスポートの並び"),
                 QStringLiteral("0,1,2,...")});
    p.addOption({QStringLiteral("no-heading"), QStringLiteral("１行目も見出しではなくデータとして読みます。")});
    p.addOption({QStringLiteral("no-replace"), QStringLiteral("同じアドレスのメンバーがいても置き換えず、追加します。")});
    p.addOption(
        {QStringLiteral("log"), QStringLiteral("無効なアドレスの行を書くログファイル"), QStringLiteral("ファイル")});
}

CommandStart startImport(const QCommandLineParser &p)
{
    QString magazine;
    QString fileName;
    if (!magazineAndFile(p, magazine, fileName))
        return std::nullopt;
    ImportSettings settings;
    settings.order = {0, 1, 2, 3, 4, 5, 6, 7, 8, 9, 10}; // the export's columns
    if (p.isSet(QStringLiteral("columns"))) {
        const std::optional<QList<int>> order = parseColumns(p.value(QStringLiteral("columns")));
        if (!order)
            return std::nullopt;
        settings.order = *order;
    }
    settings.heading = !p.isSet(QStringLiteral("no-heading"));
    settings.replace = !p.isSet(QStringLiteral("no-replace"));
    const QString log = p.value(QStringLiteral("log"));
    if (p.isSet(QStringLiteral("log")) && refusedAsStore(log))
        return std::nullopt;
    const std::shared_ptr<CountedLineFile> file = openCounted(fileName);
    if (!file)
        return std::nullopt;
    return [=] { return import(magazine, *file, settings, log); };
}

CommandStart startExport(const QCommandLineParser &p)
{
    QString magazine;
    QString fileName;
    if (!magazineAndFile(p, magazine, fileName))
        return std::nullopt;
    if (fileName != QLatin1String("-") && refusedAsStore(fileName))
        return std::nullopt;
    return [=] { return exportMembers(magazine, fileName); };
}

CommandStart startRemoveList(const QCommandLineParser &p)
{
    QString magazine;
    QString fileName;
    if (!magazineAndFile(p, magazine, fileName))
        return std::nullopt;
    const std::shared_ptr<CountedLineFile> file = openCounted(fileName);
    if (!file)
        return std::nullopt;
    return [=] { return removeListed(magazine, *file); };
}

CommandStart startBackup(const QCommandLineParser &p)
{
    const QString fileName = fileArgument(p);
    if (fileName.isEmpty() || refusedAsStore(fileName))
        return std::nullopt;
    return [fileName] { return backup(fileName); };
}

void addRestoreOptions(QCommandLineParser &p)
{
    p.addOption(
        {QStringLiteral("yes"), QStringLiteral("データベース全体をバックアップの内容で置き換えることを承諾します。")});
}

CommandStart startRestore(const QCommandLineParser &p)
{
    const QString fileName = fileArgument(p);
    if (fileName.isEmpty())
        return std::nullopt;
    if (!p.isSet(QStringLiteral("yes"))) {
        say(QStringLiteral(
            "現在のデータをバックアップデータで書き換えます。データベース全体(すべてのマガジン、メンバー、号、設定)が"
            "置き換わります。よろしければ --yes を付けて実行してください。"));
        return std::nullopt;
    }
    if (refusedAsStore(fileName))
        return std::nullopt;
    auto file = std::make_shared<QFile>(fileName);
    if (!file->open(QIODevice::ReadOnly)) {
        say(cannotOpen(fileName, file->errorString()));
        return std::nullopt;
    }
    return [file] { return restore(*file); };
}

} // namespace Cli

// Member exchange: CSV import and export, removal by list, backup and restore, and the logs.
#include "MainForm.h"

#include "MemberList.h"

#include "maintenance/ui/FImportDlg.h"
#include "maintenance/ui/FProgressDlg.h"
#include "maintenance/CountedLineFile.h"
#include "maintenance/UBackup.h"
#include "maintenance/UExport.h"
#include "maintenance/UImport.h"
#include "maintenance/URemoveList.h"
#include "maintenance/UTextLines.h"
#include "members/CurrentMagazine.h"
#include "store/AppSettings.h"
#include "store/Database.h"
#include "store/StoreFile.h"
#include "widgets/Command.h"
#include "widgets/FileDialog.h"
#include "widgets/MessageBox.h"
#include "widgets/ProgressWindow.h"
#include "widgets/Shell.h"
#include "widgets/WaitCursor.h"

#include <QDate>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QSaveFile>


namespace {

const QString kFileBusy =
    QStringLiteral("選択されたファイルは他のアプリケーションで開かれている可能性があります。処理を中断します。");

QString cannotOpen(const QString &file)
{
    return QStringLiteral("ファイル ") + file + QStringLiteral("　が開けません");
}

// True, having said so, when the chosen file is the store or one of the engine's files.
bool refusedAsStore(QWidget *parent, const QString &file)
{
    if (!StoreFile::isStore(file, Store::path()))
        return false;
    MessageBox::error(parent, StoreFile::refusalText(file));
    return true;
}

} // namespace

// The member list after many members changed: its rows and the magazine's count.
static void reloadMembers(TMainForm &form, int magIdx)
{
    form.LoadMemberRows(magIdx);
    form.ShowMemberCount();
}

// Runs a job over the lines of an opened file with a progress window, then shows what the
// store now holds (also after a job that stopped part-way) and why it stopped, if it did.
template <typename Job>
static auto readWithProgress(TMainForm &form, int magIdx, CountedLineFile &file, const QString &caption, Job &&job)
{
    TProgressDlg progress(&form);
    progress.start(caption, file.lines());
    const auto outcome = [&] {
        WaitCursor wait;
        auto done = file.read(std::forward<Job>(job), [&](qint64 line, qint64) { progress.setPosition(int(line)); });
        Command::run(&form, [&] { reloadMembers(form, magIdx); });
        return done;
    }();
    progress.close();
    if (outcome.stopped)
        MessageBox::error(&form, outcome.error);
    return outcome;
}

// ---- logs -----------------------------------------------------------------------------

void TMainForm::M3Click()
{
    const QString log = DocDir + QStringLiteral("/ImportError.log");
    if (QFileInfo::exists(log))
        Shell::open(QUrl::fromLocalFile(log));
}

void TMainForm::N42Click()
{
    // Each delivery writes its own log named by date and time; show the newest, or the
    // folder when there is none yet.
    const QString folder = DocDir + QStringLiteral("/エラーログ");
    QDir dir(folder);
    const QStringList logs = dir.entryList({QStringLiteral("*エラー.txt")}, QDir::Files, QDir::Name);
    if (!logs.isEmpty()) {
        Shell::open(QUrl::fromLocalFile(dir.filePath(logs.last())));
        return;
    }
    QDir().mkpath(folder);
    Shell::open(QUrl::fromLocalFile(folder));
}

// ---- CSV import and export ------------------------------------------------------------

void TMainForm::I1Click()
{
    if (!RequireMagazine())
        return;
    const int magIdx = Magazine->CurMagIdx();
    const QString fileName =
        FileDialog::open(this, QStringLiteral("インポート"), DocDir, QStringLiteral("CSVファイル(*.csv)"));
    if (fileName.isEmpty())
        return;
    TImportDlg dlg(Magazine->MagFieldNames(), this);
    if (dlg.exec() != QDialog::Accepted)
        return;
    const ImportSettings settings = dlg.settings();
    if (MessageBox::confirm(this, QStringLiteral("インポートを開始します。よろしいですか？"), MessageBox::Buttons::OkCancel)
        != MessageBox::Answer::Ok)
        return;
    CountedLineFile file(fileName);
    if (!file.open()) {
        MessageBox::warning(this, kFileBusy);
        return;
    }
    QDir().mkpath(DocDir);
    QFile log(DocDir + QStringLiteral("/ImportError.log"));
    if (!log.open(QIODevice::WriteOnly | QIODevice::Truncate)) {
        MessageBox::error(this, cannotOpen(log.fileName()));
        return;
    }
    const ImportOutcome outcome = readWithProgress(
        *this, magIdx, file, QStringLiteral("インポート中"),
        [&](TextLineReader &lines, const std::function<void(int)> &lineDone) {
            const ImportOutcome done = MemberImport(magIdx, settings, QDate::currentDate()).run(lines, &log, lineDone);
            log.close();
            return done;
        });
    if (outcome.rejected > 0)
        MessageBox::warning(this, QStringLiteral("無効なメールアドレスが %1 件見つかりました。これらの行はインポートされていません。\r\n"
                                                 "インポートログ（ImportError.log）を確認してください。")
                                      .arg(outcome.rejected));
    if (outcome.tooLong > 0)
        MessageBox::warning(this, TooLongLinesText(outcome.tooLong, QStringLiteral("インポートログ（ImportError.log）")));
}

void TMainForm::X1Click()
{
    if (!RequireMagazine())
        return;
    const QString fileName = FileDialog::save(this, QStringLiteral("エクスポート"), DocDir,
                                              QStringLiteral("CSVファイル(*.csv)"), QStringLiteral("csv"));
    if (fileName.isEmpty() || refusedAsStore(this, fileName))
        return;
    ExportOutcome outcome;
    {
        WaitCursor wait;
        // written beside the old file, which it replaces only once complete
        QSaveFile file(fileName);
        if (!file.open(QIODevice::WriteOnly)) {
            MessageBox::error(this, cannotOpen(fileName));
            return;
        }
        outcome = ExportMembers(Magazine->CurMagIdx(), Magazine->MagFieldNames(), file);
    }
    if (!outcome.ok)
        MessageBox::error(this, outcome.error);
}

// ---- removal by list ------------------------------------------------------------------

void TMainForm::N39Click()
{
    if (!RequireMagazine())
        return;
    const int magIdx = Magazine->CurMagIdx();
    const QString fileName = FileDialog::open(this, QStringLiteral("ユーザの削除・一括処理"), DocDir,
                                              QStringLiteral("テキストファイル(*.txt)"));
    if (fileName.isEmpty())
        return;
    if (MessageBox::confirm(this, QStringLiteral("ファイルに書き込まれたユーザを削除します。よろしいですか？"))
        != MessageBox::Answer::Yes)
        return;
    CountedLineFile file(fileName);
    if (!file.open()) {
        MessageBox::warning(this, kFileBusy);
        return;
    }
    readWithProgress(*this, magIdx, file, QStringLiteral("削除中"),
                     [&](TextLineReader &lines, const std::function<void(int)> &lineDone) {
                         return RemoveListedMembers(magIdx, lines, lineDone);
                     });
}

// ---- backup and restore ---------------------------------------------------------------

void TMainForm::B1Click()
{
    const QString fileName = FileDialog::save(this, QStringLiteral("バックアップ"), DocDir,
                                              QStringLiteral("bakファイル(*.bak)"), QStringLiteral("bak"));
    if (fileName.isEmpty() || refusedAsStore(this, fileName))
        return;
    BackupOutcome outcome;
    {
        WaitCursor wait;
        // A backup that stopped part-way must never replace a whole one: it is written
        // beside the old file, which it replaces only once complete.
        QSaveFile file(fileName);
        if (!file.open(QIODevice::WriteOnly)) {
            outcome.error = cannotOpen(fileName) + QStringLiteral("\r\n") + file.errorString();
        } else {
            ProgressWindow progress(this, QStringLiteral("バックアップ中"));
            outcome = WriteBackup(file, [&](qint64 done, qint64 total) { return progress.update(done, total); });
        }
    }
    if (outcome.cancelled)
        return;
    if (!outcome.ok) {
        MessageBox::error(this, outcome.error);
        return;
    }
    AppSettings::writeString(QStringLiteral("UserBackupDate"), QDate::currentDate().toString(QStringLiteral("yyyyMMdd")));
}

void TMainForm::N46Click()
{
    const QString fileName = FileDialog::open(this, QStringLiteral("バックアップからの復元"), DocDir,
                                              QStringLiteral("BAKファイル(*.bak)"));
    if (fileName.isEmpty() || refusedAsStore(this, fileName))
        return;
    if (MessageBox::confirm(this, QStringLiteral("現在のデータをバックアップデータで書き換えます。よろしいですか？"),
                            MessageBox::Buttons::YesNo)
        != MessageBox::Answer::Yes)
        return;
    QFile file(fileName);
    if (!file.open(QIODevice::ReadOnly)) {
        MessageBox::error(this, cannotOpen(fileName) + QStringLiteral("\r\n") + file.errorString());
        return;
    }
    RestoreOutcome outcome;
    {
        WaitCursor wait;
        TextLineReader reader(file);
        ProgressWindow progress(this, QStringLiteral("バックアップから復元中"));
        outcome = RestoreBackup(reader, [&](qint64 done, qint64 total) { return progress.update(done, total); });
        file.close();
    }
    if (outcome.cancelled)
        return;
    if (!outcome.ok) {
        // a file that is no backup at all can be long: show its beginning; then why it
        // stopped there (the engine's reason, a read-only store for instance)
        QString buffer = outcome.buffer;
        if (buffer.size() > 2000)
            buffer = buffer.left(2000) + QStringLiteral("…");
        MessageBox::error(this, QStringLiteral("エラー ") + buffer + QStringLiteral("\r\n") + outcome.error);
        return;
    }
    const QString settled = RestoreSettlementText(outcome.settlement);
    MessageBox::info(this, settled.isEmpty() ? QStringLiteral("ツバメ便を再起動してください")
                                             : settled + QStringLiteral("\r\nツバメ便を再起動してください"));
}

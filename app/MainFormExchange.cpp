// Member exchange and address operations: CSV import and export, removal by list, backup
// and restore, the address check and search, home pages and the logs.
#include "MainForm.h"

#include "MemberList.h"

#include "maintenance/ui/FFindDlg.h"
#include "maintenance/ui/FImportDlg.h"
#include "maintenance/ui/FProgressDlg.h"
#include "maintenance/CountedLineFile.h"
#include "maintenance/UBackup.h"
#include "maintenance/UExport.h"
#include "maintenance/UImport.h"
#include "maintenance/URemoveList.h"
#include "maintenance/UTextLines.h"
#include "members/CurrentMagazine.h"
#include "members/MemberListModel.h"
#include "members/UAddress.h"
#include "members/UMemberOrder.h"
#include "store/AppSettings.h"
#include "store/Database.h"
#include "store/MemberSql.h"
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
#include <QItemSelection>
#include <QLabel>
#include <QProgressBar>
#include <QSaveFile>
#include <QTabWidget>
#include <QTreeView>
#include <QTreeWidget>

#include <algorithm>

namespace {

const QString kFileBusy =
    QStringLiteral("選択されたファイルは他のアプリケーションで開かれている可能性があります。処理を中断します。");

// The first column of the member list that shows the address, or -1.
int addressColumn(const TMemberList &list)
{
    return list.columnOf(MemberOrder::Address);
}

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

// ---- address check and search -----------------------------------------------------------

void TMainForm::C4Click()
{
    if (!RequireMagazine())
        return;
    const int column = addressColumn(*ListView2);
    if (column < 0) {
        MessageBox::warning(this, QStringLiteral("チェックを行なう前に表示設定でアドレスを表示してください。"));
        return;
    }
    PageControl1->setCurrentWidget(TabSheet1);
    ListView2->clearSelection();
    QAbstractItemModel *model = ListView2->model();
    const int rows = model ? model->rowCount() : 0;
    for (int r = 0; r < rows; ++r) {
        const QModelIndex cell = model->index(r, column);
        if (!IsValidAddress(cell.data(Qt::DisplayRole).toString())) {
            ListView2->selectionModel()->setCurrentIndex(cell, QItemSelectionModel::ClearAndSelect
                                                                   | QItemSelectionModel::Rows);
            ListView2->scrollTo(cell, QAbstractItemView::EnsureVisible);
            MessageBox::warning(this, QStringLiteral("エラーが見つかりました。"));
            return;
        }
    }
    MessageBox::warning(this, QStringLiteral("チェックは正常に終了しました。"));
}

void TMainForm::Find1Click()
{
    if (!RequireMagazine())
        return;
    if (addressColumn(*ListView2) < 0)
        return;
    if (!FindDialog1) {
        FindDialog1 = new TFindDlg(this);
        connect(FindDialog1, &TFindDlg::find, this, &TMainForm::FindDialog1Find);
    }
    FindDialog1->setFindText(QString());
    FindDialog1->show();
    FindDialog1->raise();
    FindDialog1->activateWindow();
}

void TMainForm::FindDialog1Find()
{
    PageControl1->setCurrentWidget(TabSheet1);
    ListView2->clearSelection();
    const QString text = FindDialog1 ? FindDialog1->findText() : QString();
    const int column = addressColumn(*ListView2);
    QAbstractItemModel *model = ListView2->model();
    QItemSelection found;
    int first = -1;
    if (!text.isEmpty() && column >= 0 && model) {
        const int rows = model->rowCount();
        const int last = model->columnCount() - 1;
        int runStart = -1;
        for (int r = 0; r <= rows; ++r) {
            const bool match = r < rows && model->index(r, column).data(Qt::DisplayRole).toString().contains(text);
            if (match && runStart < 0)
                runStart = r;
            if (!match && runStart >= 0) {
                found.select(model->index(runStart, 0), model->index(r - 1, last));
                runStart = -1;
            }
            if (match && first < 0)
                first = r;
        }
    }
    if (first < 0) {
        MessageBox::info(this, QStringLiteral("指定されたアドレスは見つかりませんでした。"));
        return;
    }
    ListView2->selectionModel()->select(found, QItemSelectionModel::ClearAndSelect | QItemSelectionModel::Rows);
    ListView2->selectionModel()->setCurrentIndex(model->index(first, column), QItemSelectionModel::NoUpdate);
    ListView2->scrollTo(model->index(first, column), QAbstractItemView::EnsureVisible);
    ListView2->setFocus();
    FindDialog1->close();
}

// ---- home pages ---------------------------------------------------------------------

void TMainForm::U2Click()
{
    const QList<int> rows = ListView2->selectedRowNumbers();
    if (rows.isEmpty())
        return;
    QList<int> ids;
    for (int row : rows)
        ids << ListView2->memberModel()->userIdx(row);
    Command::run(this, [&] {
        WaitCursor wait;
        for (const QString &stored : MemberSql::urls(Magazine->CurMagIdx(), ids)) {
            const QString url = stored.trimmed();
            if (!url.isEmpty())
                Shell::open(QUrl::fromUserInput(url));
        }
    });
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

    TProgressDlg progress(this);
    progress.start(QStringLiteral("インポート中"), file.lines());

    QDir().mkpath(DocDir);
    QFile log(DocDir + QStringLiteral("/ImportError.log"));
    if (!log.open(QIODevice::WriteOnly | QIODevice::Truncate)) {
        progress.close();
        MessageBox::error(this, cannotOpen(log.fileName()));
        return;
    }
    ImportOutcome outcome;
    {
        WaitCursor wait;
        outcome = file.read(
            [&](TextLineReader &lines, const std::function<void(int)> &lineDone) {
                return MemberImport(magIdx, settings, QDate::currentDate()).run(lines, &log, lineDone);
            },
            [&](qint64 line, qint64) { progress.setPosition(int(line)); });
        log.close();
        // what the store now holds, also after an import that stopped part-way
        Command::run(this, [&] { reloadMembers(*this, magIdx); });
    }
    progress.close();
    if (outcome.stopped)
        MessageBox::error(this, outcome.error);
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
    TProgressDlg progress(this);
    progress.start(QStringLiteral("削除中"), file.lines());
    RemoveOutcome outcome;
    {
        WaitCursor wait;
        outcome = file.read(
            [&](TextLineReader &lines, const std::function<void(int)> &lineDone) {
                return RemoveListedMembers(magIdx, lines, lineDone);
            },
            [&](qint64 line, qint64) { progress.setPosition(int(line)); });
        Command::run(this, [&] { reloadMembers(*this, magIdx); });
    }
    progress.close();
    if (outcome.stopped)
        MessageBox::error(this, outcome.error);
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

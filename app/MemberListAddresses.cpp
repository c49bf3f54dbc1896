// The commands on the members' addresses and home pages: the address check, the address
// search and opening the selected members' home pages.
#include "MemberList.h"

#include "maintenance/ui/FFindDlg.h"
#include "members/CurrentMagazine.h"
#include "members/MemberListModel.h"
#include "members/ui/MagazineGuard.h"
#include "members/UAddress.h"
#include "members/UMemberOrder.h"
#include "store/MemberSql.h"
#include "widgets/Command.h"
#include "widgets/MessageBox.h"
#include "widgets/Shell.h"
#include "widgets/WaitCursor.h"

#include <QItemSelection>
#include <QUrl>

void TMemberList::C4Click()
{
    if (!RequireMagazine(window(), m_magazine.CurMagIdx()))
        return;
    const int column = columnOf(MemberOrder::Address);
    if (column < 0) {
        MessageBox::warning(window(), QStringLiteral("チェックを行なう前に表示設定でアドレスを表示してください。"));
        return;
    }
    Q_EMIT showRequested();
    clearSelection();
    const int rows = m_model->rowCount();
    for (int r = 0; r < rows; ++r) {
        const QModelIndex cell = m_model->index(r, column);
        if (!IsValidAddress(m_model->cell(r, column))) {
            selectionModel()->setCurrentIndex(cell, QItemSelectionModel::ClearAndSelect | QItemSelectionModel::Rows);
            scrollTo(cell, QAbstractItemView::EnsureVisible);
            MessageBox::warning(window(), QStringLiteral("エラーが見つかりました。"));
            return;
        }
    }
    MessageBox::warning(window(), QStringLiteral("チェックは正常に終了しました。"));
}

void TMemberList::Find1Click()
{
    if (!RequireMagazine(window(), m_magazine.CurMagIdx()))
        return;
    if (columnOf(MemberOrder::Address) < 0)
        return;
    if (!m_findDialog) {
        m_findDialog = new TFindDlg(window());
        m_findDialog->setObjectName(QStringLiteral("FindDialog1"));
        connect(m_findDialog, &TFindDlg::find, this, &TMemberList::FindDialog1Find);
    }
    m_findDialog->setFindText(QString());
    m_findDialog->show();
    m_findDialog->raise();
    m_findDialog->activateWindow();
}

void TMemberList::FindDialog1Find()
{
    Q_EMIT showRequested();
    clearSelection();
    const QString text = m_findDialog ? m_findDialog->findText() : QString();
    const int column = columnOf(MemberOrder::Address);
    QItemSelection found;
    int first = -1;
    if (!text.isEmpty() && column >= 0) {
        const int rows = m_model->rowCount();
        const int last = m_model->columnCount() - 1;
        int runStart = -1;
        for (int r = 0; r <= rows; ++r) {
            const bool match = r < rows && m_model->cell(r, column).contains(text);
            if (match && runStart < 0)
                runStart = r;
            if (!match && runStart >= 0) {
                found.select(m_model->index(runStart, 0), m_model->index(r - 1, last));
                runStart = -1;
            }
            if (match && first < 0)
                first = r;
        }
    }
    if (first < 0) {
        MessageBox::info(window(), QStringLiteral("指定されたアドレスは見つかりませんでした。"));
        return;
    }
    selectionModel()->select(found, QItemSelectionModel::ClearAndSelect | QItemSelectionModel::Rows);
    selectionModel()->setCurrentIndex(m_model->index(first, column), QItemSelectionModel::NoUpdate);
    scrollTo(m_model->index(first, column), QAbstractItemView::EnsureVisible);
    setFocus();
    m_findDialog->close();
}

void TMemberList::U2Click()
{
    const QList<int> rows = selectedRowNumbers();
    if (rows.isEmpty())
        return;
    QList<int> ids;
    for (int row : rows)
        ids << m_model->userIdx(row);
    const int magIdx = m_magazine.CurMagIdx();
    Command::run(window(), [&] {
        WaitCursor wait;
        for (const QString &stored : MemberSql::urls(magIdx, ids)) {
            const QString url = stored.trimmed();
            if (!url.isEmpty())
                Shell::open(QUrl::fromUserInput(url));
        }
    });
}

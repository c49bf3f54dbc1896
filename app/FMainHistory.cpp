// The history tab: the magazine's issues, the preview, loading a past issue into the
// composer, its recipients and the deletion up to a day.
#include "FMain.h"

#include "issue/ui/FComposer.h"
#include "issue/ui/FHistDlg.h"
#include "issue/UHistory.h"
#include "maintenance/ui/FDateDlg.h"
#include "members/ui/MagazineGuard.h"
#include "widgets/Command.h"
#include "widgets/MessageBox.h"
#include "widgets/WaitCursor.h"

#include <QLineEdit>
#include <QPlainTextEdit>
#include <QScopedValueRollback>
#include <QTabWidget>
#include <QTextEdit>
#include <QTreeWidget>

namespace {

QString asPlainLines(const QString &body)
{
    QString plain = body;
    plain.replace(QLatin1String("\r\n"), QLatin1String("\n"));
    return plain;
}

// The issue number of the selected history row, or 0 when none is selected.
int selectedIssue(QTreeWidget *list)
{
    const auto items = list->selectedItems();
    return items.isEmpty() ? 0 : items.first()->data(0, Qt::UserRole).toInt();
}

// The two warnings that guard the commands on one issue.
bool issueChosen(QWidget *parent, int curMagIdx, int magCnt)
{
    if (!RequireMagazine(parent, curMagIdx))
        return false;
    if (magCnt == 0) {
        MessageBox::warning(parent, QStringLiteral("表示する履歴を選択してください。"));
        return false;
    }
    return true;
}

} // namespace

void TMainForm::H1Click()
{
    if (!RequireMagazine())
        return;
    LoadHistoryList();
}

void TMainForm::LoadHistoryList()
{
    if (m_loadingHistory)
        return;
    const QScopedValueRollback<bool> loading(m_loadingHistory, true);
    const int magIdx = CurMagIdx;
    {
        WaitCursor wait;
        ListView4->clear();
        Memo2->clear();
        Command::run(this, [this, magIdx] {
            const QList<History::Row> rows = History::load(magIdx);
            QList<QTreeWidgetItem *> items;
            items.reserve(rows.size());
            for (const History::Row &r : rows) {
                auto *item = new QTreeWidgetItem;
                item->setText(0, r.title);
                item->setText(1, QString::number(r.magCnt));
                item->setText(2, r.addDate);
                item->setText(3, QString::number(r.sendCnt));
                item->setText(4, r.condition);
                item->setData(0, Qt::UserRole, r.magCnt);
                items << item;
            }
            ListView4->addTopLevelItems(items);
        });
        PageControl1->setCurrentWidget(TabSheet5);
        ListView4->viewport()->update();
    }
}

void TMainForm::ListView4SelectItem()
{
    const int magCnt = selectedIssue(ListView4);
    if (!HasMagazine() || magCnt == 0)
        return;
    const int magIdx = CurMagIdx;
    Command::run(this, [this, magIdx, magCnt] {
        if (const auto issue = History::readIssue(magIdx, magCnt))
            Memo2->setPlainText(asPlainLines(issue->body));
    });
}

void TMainForm::E4Click()
{
    const int magCnt = selectedIssue(ListView4);
    if (!issueChosen(this, CurMagIdx, magCnt))
        return;
    const int magIdx = CurMagIdx;
    Command::run(this, [this, magIdx, magCnt] {
        const auto issue = History::readIssue(magIdx, magCnt);
        if (!issue)
            return;
        if (Composer) {
            Composer->setMail(issue->title, issue->body);
        } else {
            Edit1->setText(issue->title);
            RichEdit1->setPlainText(asPlainLines(issue->body));
        }
        PageControl1->setCurrentWidget(TabSheet2);
    });
}

void TMainForm::M1Click(int)
{
    const int magCnt = selectedIssue(ListView4);
    if (!issueChosen(this, CurMagIdx, magCnt))
        return;
    THistDlg dlg(this);
    dlg.ListMode = THistDlg::Mode::Recipients;
    dlg.ListMagIdx = CurMagIdx;
    dlg.ListMagCnt = magCnt;
    {
        WaitCursor wait;
        if (!Command::run(this, [&dlg] { dlg.FormShow(); }))
            return;
    }
    dlg.exec();
}

void TMainForm::D4Click()
{
    if (!HasMagazine())
        return;
    TDateDlg dlg(this);
    dlg.setFieldName(QStringLiteral("削除日付"));
    dlg.setDate(QDate::currentDate());
    if (dlg.exec() != QDialog::Accepted)
        return;
    const QDate day = dlg.date();
    if (MessageBox::confirm(this, History::deleteQuestion(day), MessageBox::Buttons::OkCancel)
        != MessageBox::Answer::Ok)
        return;
    const int magIdx = CurMagIdx;
    const bool done = Command::run(this, [magIdx, day] {
        WaitCursor wait;
        History::deleteUpTo(magIdx, day);
    });
    // Show what is left rather than issues that no longer exist.
    if (done && PageControl1->currentWidget() == TabSheet5)
        LoadHistoryList();
}

#include "HistoryPage.h"

#include "ListWidths.h"
#include "issue/DeliveryOffers.h"
#include "issue/ui/FHistDlg.h"
#include "issue/UHistory.h"
#include "widgets/ProgressWindow.h"
#include "maintenance/ui/FDateDlg.h"
#include "members/CurrentMagazine.h"
#include "members/ui/MagazineGuard.h"
#include "store/AppSettings.h"
#include "widgets/Command.h"
#include "widgets/MessageBox.h"
#include "widgets/WaitCursor.h"

#include <QCoreApplication>
#include <QHash>
#include <QPlainTextEdit>
#include <QScopedValueRollback>
#include <QSplitter>
#include <QSysInfo>
#include <QTreeWidget>
#include <QVBoxLayout>

namespace {

// The state column, and what each row's state allows, kept with the row.
constexpr int kStateColumn = 5;
constexpr int kCanResumeRole = Qt::UserRole + 1;
constexpr int kCanResendRole = Qt::UserRole + 2;

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

// A lock this very window holds: its own delivery needs no name.
bool heldHere(const SendLockHolder &holder)
{
    return holder.host == QSysInfo::machineHostName() && holder.pid == QCoreApplication::applicationPid();
}

} // namespace

THistoryPage::THistoryPage(const CurrentMagazine &magazine, QWidget *parent)
    : QWidget(parent), m_magazine(magazine)
{
    auto *layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    previewSplitter = new QSplitter(Qt::Vertical, this);
    previewSplitter->setObjectName(QStringLiteral("Splitter3"));
    historyList = new QTreeWidget(previewSplitter);
    historyList->setObjectName(QStringLiteral("ListView4"));
    historyList->setRootIsDecorated(false);
    historyList->setSelectionMode(QAbstractItemView::SingleSelection);
    historyList->setEditTriggers(QAbstractItemView::NoEditTriggers);
    historyList->setHeaderLabels({QStringLiteral("件名"), QStringLiteral("発行番号"), QStringLiteral("発行日"),
                                QStringLiteral("発行数"), QStringLiteral("条件"), QStringLiteral("状態")});
    historyList->setSelectionBehavior(QAbstractItemView::SelectRows);
    // First-start widths; loadColumnWidths puts stored ones over them.
    const QStringList samples = ListWidths::historySamples();
    for (int c = 0; c < samples.size(); ++c)
        historyList->setColumnWidth(c, ListWidths::fitColumn(historyList, c, samples[c]));
    connect(historyList, &QTreeWidget::itemSelectionChanged, this, &THistoryPage::ListView4SelectItem);
    connect(historyList, &QTreeWidget::itemSelectionChanged, this, &THistoryPage::commandsChanged);
    preview = new QPlainTextEdit(previewSplitter);
    preview->setObjectName(QStringLiteral("Memo2"));
    QPalette pal = preview->palette();
    pal.setColor(QPalette::Text, Qt::blue);
    preview->setPalette(pal);
    preview->setLineWrapMode(QPlainTextEdit::NoWrap);
    layout->addWidget(previewSplitter);
    connect(&magazine, &CurrentMagazine::changed, this, &THistoryPage::clear);
}

void THistoryPage::loadColumnWidths()
{
    const auto s = AppSettings::open();
    for (int i = 0; i < historyList->columnCount(); ++i) {
        const QString name = QStringLiteral("List4Width%1").arg(i + 1);
        if (s->contains(name))
            historyList->setColumnWidth(i, s->value(name).toInt());
    }
}

void THistoryPage::saveColumnWidths() const
{
    const auto s = AppSettings::open();
    for (int i = 0; i < historyList->columnCount(); ++i)
        s->setValue(QStringLiteral("List4Width%1").arg(i + 1), historyList->columnWidth(i));
}

void THistoryPage::clear()
{
    historyList->clear();
    preview->clear();
    Q_EMIT commandsChanged();
}

void THistoryPage::H1Click()
{
    if (!RequireMagazine(window(), m_magazine.CurMagIdx()))
        return;
    LoadHistoryList();
}

void THistoryPage::LoadHistoryList()
{
    if (m_loading)
        return;
    const QScopedValueRollback<bool> loading(m_loading, true);
    const int magIdx = m_magazine.CurMagIdx();
    {
        WaitCursor wait;
        historyList->clear();
        preview->clear();
        Command::run(window(), [this, magIdx] {
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
            historyList->addTopLevelItems(items);
            showStates(magIdx);
        });
        Q_EMIT loaded();
        historyList->viewport()->update();
    }
}

void THistoryPage::ListView4SelectItem()
{
    const int magCnt = selectedIssue(historyList);
    if (!m_magazine.isChosen() || magCnt == 0)
        return;
    const int magIdx = m_magazine.CurMagIdx();
    Command::run(window(), [this, magIdx, magCnt] {
        if (const auto issue = History::readIssue(magIdx, magCnt))
            preview->setPlainText(asPlainLines(issue->body));
    });
}

void THistoryPage::E4Click()
{
    const int magCnt = selectedIssue(historyList);
    if (!issueChosen(window(), m_magazine.CurMagIdx(), magCnt))
        return;
    const int magIdx = m_magazine.CurMagIdx();
    Command::run(window(), [this, magIdx, magCnt] {
        if (const auto issue = History::readIssue(magIdx, magCnt))
            Q_EMIT editIssue(issue->title, issue->body);
    });
}

void THistoryPage::M1Click(int)
{
    const int magCnt = selectedIssue(historyList);
    if (!issueChosen(window(), m_magazine.CurMagIdx(), magCnt))
        return;
    THistDlg dlg(window());
    dlg.ListMode = THistDlg::Mode::Recipients;
    dlg.ListMagIdx = m_magazine.CurMagIdx();
    dlg.ListMagCnt = magCnt;
    {
        WaitCursor wait;
        if (!Command::run(window(), [&dlg] { dlg.FormShow(); }))
            return;
    }
    dlg.exec();
}

bool THistoryPage::D4Click()
{
    if (!m_magazine.isChosen())
        return false;
    TDateDlg dlg(window());
    dlg.setFieldName(QStringLiteral("削除日付"));
    dlg.setDate(QDate::currentDate());
    if (dlg.exec() != QDialog::Accepted)
        return false;
    const QDate day = dlg.date();
    if (MessageBox::confirm(window(), History::deleteQuestion(day), MessageBox::Buttons::OkCancel)
        != MessageBox::Answer::Ok)
        return false;
    const int magIdx = m_magazine.CurMagIdx();
    return Command::run(window(), [this, magIdx, day] {
        WaitCursor wait;
        ProgressWindow progress(window(), QStringLiteral("削除中"), ProgressWindow::Cancel::NotOffered);
        History::deleteUpTo(magIdx, day, [&progress](qint64 done, qint64 total) { progress.update(done, total); });
    });
}

void THistoryPage::showStates(int magIdx)
{
    const QList<IssueStateRow> issues = SendStates::issues(magIdx);
    QHash<int, const IssueStateRow *> byNumber;
    byNumber.reserve(issues.size());
    for (const IssueStateRow &issue : issues)
        byNumber.insert(issue.MagCnt, &issue);
    for (int i = 0; i < historyList->topLevelItemCount(); ++i) {
        QTreeWidgetItem *item = historyList->topLevelItem(i);
        const IssueStateRow *issue = byNumber.value(item->data(0, Qt::UserRole).toInt());
        const IssueState state = issue ? issue->state : IssueState::Legacy;
        QString text = IssueStateText(state);
        QString tip;
        if (state == IssueState::Running) {
            // Who delivers it and since when; another process's delivery is named in the
            // column itself, as this window's progress says nothing of it.
            if (const auto holder = SendLock::holder(issue->MagIdx, issue->MagCnt)) {
                tip = SendLockHolderText(*holder) + QStringLiteral(" が送信中");
                if (!heldHere(*holder))
                    text += QStringLiteral("（") + SendLockHolderText(*holder) + QStringLiteral("）");
            }
        }
        item->setText(kStateColumn, text);
        item->setToolTip(kStateColumn, tip);
        item->setData(0, kCanResumeRole, state == IssueState::Stopped);
        item->setData(0, kCanResendRole,
                      issue && state != IssueState::Running && DeliveryOffers::canResend(issue->counts));
    }
    Q_EMIT commandsChanged();
}

void THistoryPage::refreshStates()
{
    if (!m_magazine.isChosen() || historyList->topLevelItemCount() == 0)
        return;
    const int magIdx = m_magazine.CurMagIdx();
    Command::run(window(), [this, magIdx] { showStates(magIdx); });
}

bool THistoryPage::canResumeSelected() const
{
    const auto items = historyList->selectedItems();
    return !items.isEmpty() && items.first()->data(0, kCanResumeRole).toBool();
}

bool THistoryPage::canResendSelected() const
{
    const auto items = historyList->selectedItems();
    return !items.isEmpty() && items.first()->data(0, kCanResendRole).toBool();
}

bool THistoryPage::readOpenIssue(int *magIdxOut, int *magCntOut, SendStateCounts *counts)
{
    const int magCnt = selectedIssue(historyList);
    if (!issueChosen(window(), m_magazine.CurMagIdx(), magCnt))
        return false;
    const int magIdx = m_magazine.CurMagIdx();
    *magIdxOut = magIdx;
    *magCntOut = magCnt;
    std::optional<SendLockHolder> holder;
    if (!Command::run(window(), [&] {
            *counts = SendStates::counts(magIdx, magCnt);
            holder = SendLock::holder(magIdx, magCnt);
        }))
        return false;
    if (counts->total() == 0) {
        MessageBox::warning(window(), QStringLiteral("この号には宛先ごとの配信の記録がありません。"));
        return false;
    }
    if (holder) {
        MessageBox::warning(window(), QStringLiteral("この号はいま配信中です。\r\n") + SendLockHolderText(*holder));
        return false;
    }
    return true;
}

void THistoryPage::Resume1Click()
{
    int magIdx = 0;
    int magCnt = 0;
    SendStateCounts counts;
    if (!readOpenIssue(&magIdx, &magCnt, &counts))
        return;
    if (!DeliveryOffers::canResume(counts)) {
        MessageBox::warning(window(), QStringLiteral("この号には送信の残りがありません。"));
        return;
    }
    Q_EMIT startDelivery(magIdx, magCnt, int(DeliveryOffers::resumeCount(counts)));
    refreshStates();
}

void THistoryPage::Resend1Click()
{
    int magIdx = 0;
    int magCnt = 0;
    SendStateCounts counts;
    if (!readOpenIssue(&magIdx, &magCnt, &counts))
        return;
    if (!DeliveryOffers::canResend(counts)) {
        MessageBox::warning(window(), QStringLiteral("この号には失敗した宛先も結果不明の宛先もありません。"));
        return;
    }
    if (MessageBox::confirm(window(), DeliveryOffers::resendQuestion(counts), MessageBox::Buttons::YesNo)
        != MessageBox::Answer::Yes)
        return;
    bool unknown = false;
    if (counts.unknown > 0) {
        const auto answer = MessageBox::confirm(window(), DeliveryOffers::resendUnknownQuestion(counts.unknown),
                                                MessageBox::Buttons::YesNoCancel);
        if (answer == MessageBox::Answer::Cancel)
            return;
        unknown = answer == MessageBox::Answer::Yes;
    }
    if (counts.failed == 0 && !unknown)
        return;
    if (!Command::run(window(), [&] {
            SendStates::requeue(magIdx, magCnt, true, unknown);
            counts = SendStates::counts(magIdx, magCnt);
        }))
        return;
    Q_EMIT startDelivery(magIdx, magCnt, int(DeliveryOffers::resumeCount(counts)));
    refreshStates();
}

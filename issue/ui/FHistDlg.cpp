#include "issue/ui/FHistDlg.h"

#include "issue/ui/MemberLinesModel.h"
#include "widgets/MessageBox.h"

#include <QAction>
#include <algorithm>
#include <QApplication>
#include <QClipboard>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QPushButton>
#include <QListView>
#include <QVBoxLayout>

THistDlg::THistDlg(QWidget *parent) : QDialog(parent)
{
    setObjectName(QStringLiteral("HistDlg"));
    setWindowTitle(QStringLiteral("履歴"));
    resize(520, 420);
    auto *layout = new QVBoxLayout(this);
    auto *header = new QWidget(this);
    header->setObjectName(QStringLiteral("Panel1"));
    auto *grid = new QGridLayout(header);
    grid->setContentsMargins(0, 0, 0, 0);
    headingLabel = new QLabel(QStringLiteral("送信日時"), header);
    headingLabel->setObjectName(QStringLiteral("Label1"));
    sentAtLabel = new QLabel(header);
    sentAtLabel->setObjectName(QStringLiteral("Label3"));
    subjectCaptionLabel = new QLabel(QStringLiteral("件名"), header);
    subjectCaptionLabel->setObjectName(QStringLiteral("Label2"));
    subjectLabel = new QLabel(header);
    subjectLabel->setObjectName(QStringLiteral("Label4"));
    grid->addWidget(headingLabel, 0, 0);
    grid->addWidget(sentAtLabel, 0, 1);
    grid->addWidget(subjectCaptionLabel, 1, 0);
    grid->addWidget(subjectLabel, 1, 1);
    grid->setColumnStretch(1, 1);
    layout->addWidget(header);
    memberList = new QListView(this);
    memberList->setObjectName(QStringLiteral("RichEdit1"));
    memberList->setEditTriggers(QAbstractItemView::NoEditTriggers);
    memberList->setSelectionMode(QAbstractItemView::ExtendedSelection);
    memberList->setContextMenuPolicy(Qt::NoContextMenu);
    // Every line is one text line: the view lays out none of the rows it does not show.
    memberList->setUniformItemSizes(true);
    m_model = new MemberLinesModel(this);
    memberList->setModel(m_model);
    connect(m_model, &MemberLinesModel::failed, this, [this](const QString &text) { MessageBox::error(this, text); });
    auto *copy = new QAction(memberList);
    copy->setShortcut(QKeySequence::Copy);
    copy->setShortcutContext(Qt::WidgetShortcut);
    memberList->addAction(copy);
    connect(copy, &QAction::triggered, this, &THistDlg::copySelection);
    layout->addWidget(memberList, 1);
    auto *buttons = new QHBoxLayout;
    closeButton = new QPushButton(QStringLiteral("閉じる"), this);
    closeButton->setObjectName(QStringLiteral("Button1"));
    buttons->addStretch();
    buttons->addWidget(closeButton);
    layout->addLayout(buttons);
    connect(closeButton, &QPushButton::clicked, this, &QDialog::close);
}

void THistDlg::FormShow()
{
    if (ListMode == Mode::Targets) {
        setWindowTitle(QStringLiteral("対象者一覧"));
        headingLabel->setText(QStringLiteral("対象者一覧"));
        subjectCaptionLabel->clear();
        sentAtLabel->clear();
        subjectLabel->clear();
        m_model->reset(MemberLineSources::targets(ListWhere, ListMagIdx));
        return;
    }
    std::unique_ptr<MemberLines> lines = MemberLineSources::recipients(ListMagIdx, ListMagCnt);
    sentAtLabel->setText(lines->AddDate);
    subjectLabel->setText(lines->Title);
    m_model->reset(std::move(lines));
}

QStringList THistDlg::lines() const
{
    m_model->fetchAll();
    QStringList out;
    out.reserve(m_model->rowCount());
    for (int row = 0; row < m_model->rowCount(); ++row)
        out << m_model->line(row);
    return out;
}

void THistDlg::copySelection()
{
    QModelIndexList rows = memberList->selectionModel()->selectedRows();
    std::sort(rows.begin(), rows.end(), [](const QModelIndex &a, const QModelIndex &b) { return a.row() < b.row(); });
    QStringList text;
    for (const QModelIndex &i : rows)
        text << m_model->line(i.row());
    if (!text.isEmpty())
        QApplication::clipboard()->setText(text.join(QLatin1Char('\n')));
}

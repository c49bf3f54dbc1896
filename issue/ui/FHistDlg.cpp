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
    Label1 = new QLabel(QStringLiteral("送信日時"), header);
    Label1->setObjectName(QStringLiteral("Label1"));
    Label3 = new QLabel(header);
    Label3->setObjectName(QStringLiteral("Label3"));
    Label2 = new QLabel(QStringLiteral("件名"), header);
    Label2->setObjectName(QStringLiteral("Label2"));
    Label4 = new QLabel(header);
    Label4->setObjectName(QStringLiteral("Label4"));
    grid->addWidget(Label1, 0, 0);
    grid->addWidget(Label3, 0, 1);
    grid->addWidget(Label2, 1, 0);
    grid->addWidget(Label4, 1, 1);
    grid->setColumnStretch(1, 1);
    layout->addWidget(header);
    RichEdit1 = new QListView(this);
    RichEdit1->setObjectName(QStringLiteral("RichEdit1"));
    RichEdit1->setEditTriggers(QAbstractItemView::NoEditTriggers);
    RichEdit1->setSelectionMode(QAbstractItemView::ExtendedSelection);
    RichEdit1->setContextMenuPolicy(Qt::NoContextMenu);
    // Every line is one text line: the view lays out none of the rows it does not show.
    RichEdit1->setUniformItemSizes(true);
    m_model = new MemberLinesModel(this);
    RichEdit1->setModel(m_model);
    connect(m_model, &MemberLinesModel::failed, this, [this](const QString &text) { MessageBox::error(this, text); });
    auto *copy = new QAction(RichEdit1);
    copy->setShortcut(QKeySequence::Copy);
    copy->setShortcutContext(Qt::WidgetShortcut);
    RichEdit1->addAction(copy);
    connect(copy, &QAction::triggered, this, &THistDlg::copySelection);
    layout->addWidget(RichEdit1, 1);
    auto *buttons = new QHBoxLayout;
    Button1 = new QPushButton(QStringLiteral("閉じる"), this);
    Button1->setObjectName(QStringLiteral("Button1"));
    buttons->addStretch();
    buttons->addWidget(Button1);
    layout->addLayout(buttons);
    connect(Button1, &QPushButton::clicked, this, &QDialog::close);
}

void THistDlg::FormShow()
{
    if (ListMode == Mode::Targets) {
        setWindowTitle(QStringLiteral("対象者一覧"));
        Label1->setText(QStringLiteral("対象者一覧"));
        Label2->clear();
        Label3->clear();
        Label4->clear();
        m_model->reset(MemberLineSources::targets(ListWhere, ListMagIdx));
        return;
    }
    std::unique_ptr<MemberLines> lines = MemberLineSources::recipients(ListMagIdx, ListMagCnt);
    Label3->setText(lines->AddDate);
    Label4->setText(lines->Title);
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
    QModelIndexList rows = RichEdit1->selectionModel()->selectedRows();
    std::sort(rows.begin(), rows.end(), [](const QModelIndex &a, const QModelIndex &b) { return a.row() < b.row(); });
    QStringList text;
    for (const QModelIndex &i : rows)
        text << m_model->line(i.row());
    if (!text.isEmpty())
        QApplication::clipboard()->setText(text.join(QLatin1Char('\n')));
}

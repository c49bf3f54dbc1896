#include "members/ui/FDispOptDlg.h"

#include <QHBoxLayout>
#include <QListWidget>
#include <QPushButton>
#include <QVBoxLayout>

TDispOptDlg::TDispOptDlg(int magIdx, const std::array<QString, 7> &fieldNames, QWidget *parent)
    : FormDialog(parent), m_magIdx(magIdx), m_captions(MemberOrder::captions(fieldNames))
{
    setObjectName(QStringLiteral("DispOptDlg"));
    setWindowTitle(QStringLiteral("表示設定"));
    setModal(true);

    CheckListBox1 = new QListWidget(this);
    CheckListBox1->setObjectName(QStringLiteral("CheckListBox1"));
    CheckListBox1->setSelectionMode(QAbstractItemView::SingleSelection);
    Button3 = new QPushButton(QStringLiteral("上へ"), this);
    Button3->setObjectName(QStringLiteral("Button3"));
    Button4 = new QPushButton(QStringLiteral("下へ"), this);
    Button4->setObjectName(QStringLiteral("Button4"));
    Button1 = new QPushButton(QStringLiteral("OK"), this);
    Button1->setObjectName(QStringLiteral("Button1"));
    Button1->setDefault(true);
    Button2 = new QPushButton(QStringLiteral("キャンセル"), this);
    Button2->setObjectName(QStringLiteral("Button2"));
    connect(Button3, &QPushButton::clicked, this, &TDispOptDlg::Button3Click);
    connect(Button4, &QPushButton::clicked, this, &TDispOptDlg::Button4Click);
    connect(Button1, &QPushButton::clicked, this, &TDispOptDlg::Button1Click);
    connect(Button2, &QPushButton::clicked, this, &QDialog::reject);

    auto *side = new QVBoxLayout;
    side->addWidget(Button3);
    side->addWidget(Button4);
    side->addStretch(1);
    auto *top = new QHBoxLayout;
    top->addWidget(CheckListBox1, 1);
    top->addLayout(side);
    auto *bottom = new QHBoxLayout;
    bottom->addStretch(1);
    bottom->addWidget(Button1);
    bottom->addWidget(Button2);
    auto *layout = new QVBoxLayout(this);
    layout->addLayout(top);
    layout->addLayout(bottom);
}

void TDispOptDlg::fillForm()
{
    CheckListBox1->clear();
    for (const MemberOrder::Entry &e : MemberOrder::readEntries(MemberOrder::load(m_magIdx), m_captions)) {
        auto *item = new QListWidgetItem(e.caption, CheckListBox1);
        item->setFlags(Qt::ItemIsEnabled | Qt::ItemIsSelectable | Qt::ItemIsUserCheckable);
        item->setCheckState(e.checked ? Qt::Checked : Qt::Unchecked);
    }
}

QList<MemberOrder::Entry> TDispOptDlg::entries() const
{
    QList<MemberOrder::Entry> out;
    for (int i = 0; i < CheckListBox1->count(); ++i) {
        const QListWidgetItem *item = CheckListBox1->item(i);
        out.append({item->text(), item->checkState() == Qt::Checked});
    }
    return out;
}

void TDispOptDlg::moveSelected(int delta)
{
    const int row = CheckListBox1->currentRow();
    const int to = row + delta;
    if (row < 0 || to < 0 || to >= CheckListBox1->count())
        return;
    QListWidgetItem *item = CheckListBox1->takeItem(row);
    CheckListBox1->insertItem(to, item);
    CheckListBox1->setCurrentRow(to);
}

void TDispOptDlg::Button3Click()
{
    moveSelected(-1);
}

void TDispOptDlg::Button4Click()
{
    moveSelected(1);
}

void TDispOptDlg::Button1Click()
{
    MemberOrder::save(m_magIdx, MemberOrder::formatEntries(entries(), m_captions));
    accept();
}

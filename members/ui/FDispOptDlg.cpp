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

    fieldList = new QListWidget(this);
    fieldList->setObjectName(QStringLiteral("CheckListBox1"));
    fieldList->setSelectionMode(QAbstractItemView::SingleSelection);
    upButton = new QPushButton(QStringLiteral("上へ"), this);
    upButton->setObjectName(QStringLiteral("Button3"));
    downButton = new QPushButton(QStringLiteral("下へ"), this);
    downButton->setObjectName(QStringLiteral("Button4"));
    okButton = new QPushButton(QStringLiteral("OK"), this);
    okButton->setObjectName(QStringLiteral("Button1"));
    okButton->setDefault(true);
    cancelButton = new QPushButton(QStringLiteral("キャンセル"), this);
    cancelButton->setObjectName(QStringLiteral("Button2"));
    connect(upButton, &QPushButton::clicked, this, &TDispOptDlg::Button3Click);
    connect(downButton, &QPushButton::clicked, this, &TDispOptDlg::Button4Click);
    connect(okButton, &QPushButton::clicked, this, &TDispOptDlg::Button1Click);
    connect(cancelButton, &QPushButton::clicked, this, &QDialog::reject);

    auto *side = new QVBoxLayout;
    side->addWidget(upButton);
    side->addWidget(downButton);
    side->addStretch(1);
    auto *top = new QHBoxLayout;
    top->addWidget(fieldList, 1);
    top->addLayout(side);
    auto *bottom = new QHBoxLayout;
    bottom->addStretch(1);
    bottom->addWidget(okButton);
    bottom->addWidget(cancelButton);
    auto *layout = new QVBoxLayout(this);
    layout->addLayout(top);
    layout->addLayout(bottom);
}

void TDispOptDlg::fillForm()
{
    fieldList->clear();
    for (const MemberOrder::Entry &e : MemberOrder::readEntries(MemberOrder::load(m_magIdx), m_captions)) {
        auto *item = new QListWidgetItem(e.caption, fieldList);
        item->setFlags(Qt::ItemIsEnabled | Qt::ItemIsSelectable | Qt::ItemIsUserCheckable);
        item->setCheckState(e.checked ? Qt::Checked : Qt::Unchecked);
    }
}

QList<MemberOrder::Entry> TDispOptDlg::entries() const
{
    QList<MemberOrder::Entry> out;
    for (int i = 0; i < fieldList->count(); ++i) {
        const QListWidgetItem *item = fieldList->item(i);
        out.append({item->text(), item->checkState() == Qt::Checked});
    }
    return out;
}

void TDispOptDlg::moveSelected(int delta)
{
    const int row = fieldList->currentRow();
    const int to = row + delta;
    if (row < 0 || to < 0 || to >= fieldList->count())
        return;
    QListWidgetItem *item = fieldList->takeItem(row);
    fieldList->insertItem(to, item);
    fieldList->setCurrentRow(to);
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

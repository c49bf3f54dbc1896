#include "maintenance/ui/FImportDlg.h"

#include "members/UMemberOrder.h"
#include "widgets/MessageBox.h"

#include <QCheckBox>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QListWidget>
#include <QPushButton>
#include <QVBoxLayout>

TImportDlg::TImportDlg(const std::array<QString, 7> &fieldNames, QWidget *parent)
    : QDialog(parent), m_captions(MemberOrder::captions(fieldNames))
{
    setObjectName(QStringLiteral("ImportDlg"));
    setWindowTitle(QStringLiteral("インポート"));

    Label1 = new QLabel(QStringLiteral("並び順"), this);
    Label1->setObjectName(QStringLiteral("Label1"));
    CheckListBox1 = new QListWidget(this);
    CheckListBox1->setObjectName(QStringLiteral("CheckListBox1"));
    CheckListBox1->setSelectionMode(QAbstractItemView::SingleSelection);
    for (const QString &caption : m_captions) {
        auto *item = new QListWidgetItem(caption, CheckListBox1);
        item->setFlags(Qt::ItemIsEnabled | Qt::ItemIsSelectable | Qt::ItemIsUserCheckable);
        item->setCheckState(Qt::Checked);
    }
    CheckListBox1->setCurrentRow(0);
    CheckBox1 = new QCheckBox(QStringLiteral("１行目を項目見出しとして使用"), this);
    CheckBox1->setObjectName(QStringLiteral("CheckBox1"));
    CheckBox1->setChecked(true);
    CheckBox2 = new QCheckBox(QStringLiteral("重複する場合は置き換える"), this);
    CheckBox2->setObjectName(QStringLiteral("CheckBox2"));
    CheckBox2->setChecked(true);
    Button1 = new QPushButton(QStringLiteral("OK"), this);
    Button1->setObjectName(QStringLiteral("Button1"));
    Button1->setDefault(true);
    Button2 = new QPushButton(QStringLiteral("キャンセル"), this);
    Button2->setObjectName(QStringLiteral("Button2"));
    Button3 = new QPushButton(QStringLiteral("上へ"), this);
    Button3->setObjectName(QStringLiteral("Button3"));
    Button4 = new QPushButton(QStringLiteral("下へ"), this);
    Button4->setObjectName(QStringLiteral("Button4"));

    auto *grid = new QGridLayout(this);
    grid->addWidget(Label1, 0, 0);
    grid->addWidget(CheckListBox1, 1, 0, 3, 1);
    grid->addWidget(Button3, 1, 1);
    grid->addWidget(Button4, 2, 1);
    grid->addWidget(CheckBox1, 4, 0, 1, 2);
    grid->addWidget(CheckBox2, 5, 0, 1, 2);
    auto *buttons = new QHBoxLayout;
    buttons->addStretch();
    buttons->addWidget(Button1);
    buttons->addWidget(Button2);
    grid->addLayout(buttons, 6, 0, 1, 2);

    connect(Button1, &QPushButton::clicked, this, &TImportDlg::Button1Click);
    connect(Button2, &QPushButton::clicked, this, &QDialog::reject);
    connect(Button3, &QPushButton::clicked, this, &TImportDlg::Button3Click);
    connect(Button4, &QPushButton::clicked, this, &TImportDlg::Button4Click);
}

void TImportDlg::swapRows(int a, int b)
{
    // the tick travels with its item, and the moved item stays selected
    QListWidgetItem *first = CheckListBox1->item(a);
    QListWidgetItem *second = CheckListBox1->item(b);
    const QString text = first->text();
    const Qt::CheckState check = first->checkState();
    first->setText(second->text());
    first->setCheckState(second->checkState());
    second->setText(text);
    second->setCheckState(check);
    CheckListBox1->setCurrentRow(b);
}

void TImportDlg::Button3Click()
{
    const int row = CheckListBox1->currentRow();
    if (row > 0)
        swapRows(row, row - 1);
}

void TImportDlg::Button4Click()
{
    const int row = CheckListBox1->currentRow();
    if (row >= 0 && row < CheckListBox1->count() - 1)
        swapRows(row, row + 1);
}

void TImportDlg::Button1Click()
{
    QList<int> order;
    bool address = false;
    for (int row = 0; row < CheckListBox1->count(); ++row) {
        const QListWidgetItem *item = CheckListBox1->item(row);
        if (item->checkState() != Qt::Checked)
            continue;
        // the code follows from the caption; equal captions take the higher code
        order << int(m_captions.lastIndexOf(item->text()));
        if (item->text() == QStringLiteral("メールアドレス"))
            address = true;
    }
    if (order.isEmpty()) {
        MessageBox::warning(this, QStringLiteral("インポートされる項目が１つもありません。"));
        return;
    }
    if (!address) {
        MessageBox::warning(this, QStringLiteral("メールアドレスは必ずチェックする必要があります。"));
        return;
    }
    m_settings.order = order;
    m_settings.heading = CheckBox1->isChecked();
    m_settings.replace = CheckBox2->isChecked();
    accept();
}

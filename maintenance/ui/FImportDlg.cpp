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

    orderLabel = new QLabel(QStringLiteral("並び順"), this);
    orderLabel->setObjectName(QStringLiteral("Label1"));
    columnList = new QListWidget(this);
    columnList->setObjectName(QStringLiteral("CheckListBox1"));
    columnList->setSelectionMode(QAbstractItemView::SingleSelection);
    for (const QString &caption : m_captions) {
        auto *item = new QListWidgetItem(caption, columnList);
        item->setFlags(Qt::ItemIsEnabled | Qt::ItemIsSelectable | Qt::ItemIsUserCheckable);
        item->setCheckState(Qt::Checked);
    }
    columnList->setCurrentRow(0);
    headingCheck = new QCheckBox(QStringLiteral("１行目を項目見出しとして使用"), this);
    headingCheck->setObjectName(QStringLiteral("CheckBox1"));
    headingCheck->setChecked(true);
    replaceCheck = new QCheckBox(QStringLiteral("重複する場合は置き換える"), this);
    replaceCheck->setObjectName(QStringLiteral("CheckBox2"));
    replaceCheck->setChecked(true);
    okButton = new QPushButton(QStringLiteral("OK"), this);
    okButton->setObjectName(QStringLiteral("Button1"));
    okButton->setDefault(true);
    cancelButton = new QPushButton(QStringLiteral("キャンセル"), this);
    cancelButton->setObjectName(QStringLiteral("Button2"));
    upButton = new QPushButton(QStringLiteral("上へ"), this);
    upButton->setObjectName(QStringLiteral("Button3"));
    downButton = new QPushButton(QStringLiteral("下へ"), this);
    downButton->setObjectName(QStringLiteral("Button4"));

    auto *grid = new QGridLayout(this);
    grid->addWidget(orderLabel, 0, 0);
    grid->addWidget(columnList, 1, 0, 3, 1);
    grid->addWidget(upButton, 1, 1);
    grid->addWidget(downButton, 2, 1);
    grid->addWidget(headingCheck, 4, 0, 1, 2);
    grid->addWidget(replaceCheck, 5, 0, 1, 2);
    auto *buttons = new QHBoxLayout;
    buttons->addStretch();
    buttons->addWidget(okButton);
    buttons->addWidget(cancelButton);
    grid->addLayout(buttons, 6, 0, 1, 2);

    connect(okButton, &QPushButton::clicked, this, &TImportDlg::Button1Click);
    connect(cancelButton, &QPushButton::clicked, this, &QDialog::reject);
    connect(upButton, &QPushButton::clicked, this, &TImportDlg::Button3Click);
    connect(downButton, &QPushButton::clicked, this, &TImportDlg::Button4Click);
}

void TImportDlg::swapRows(int a, int b)
{
    // the tick travels with its item, and the moved item stays selected
    QListWidgetItem *first = columnList->item(a);
    QListWidgetItem *second = columnList->item(b);
    const QString text = first->text();
    const Qt::CheckState check = first->checkState();
    first->setText(second->text());
    first->setCheckState(second->checkState());
    second->setText(text);
    second->setCheckState(check);
    columnList->setCurrentRow(b);
}

void TImportDlg::Button3Click()
{
    const int row = columnList->currentRow();
    if (row > 0)
        swapRows(row, row - 1);
}

void TImportDlg::Button4Click()
{
    const int row = columnList->currentRow();
    if (row >= 0 && row < columnList->count() - 1)
        swapRows(row, row + 1);
}

void TImportDlg::Button1Click()
{
    QList<int> order;
    bool address = false;
    for (int row = 0; row < columnList->count(); ++row) {
        const QListWidgetItem *item = columnList->item(row);
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
    m_settings.heading = headingCheck->isChecked();
    m_settings.replace = replaceCheck->isChecked();
    accept();
}

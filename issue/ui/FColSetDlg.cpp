#include "issue/ui/FColSetDlg.h"

#include "store/AppSettings.h"

#include <QHBoxLayout>
#include <QLabel>
#include <QPushButton>
#include <QSpinBox>
#include <QVBoxLayout>

TColSetDlg::TColSetDlg(QWidget *parent) : QDialog(parent)
{
    setObjectName(QStringLiteral("ColSetDlg"));
    setWindowTitle(QStringLiteral("表示桁数"));
    auto *layout = new QVBoxLayout(this);
    auto *row = new QHBoxLayout;
    auto *label = new QLabel(QStringLiteral("メール本文の表示桁数(全角文字数)"), this);
    label->setObjectName(QStringLiteral("Label1"));
    columnSpin = new QSpinBox(this);
    columnSpin->setObjectName(QStringLiteral("NumberSpin1"));
    columnSpin->setRange(0, 128);
    columnSpin->setSingleStep(1);
    columnSpin->setValue(80);
    row->addWidget(label);
    row->addWidget(columnSpin);
    layout->addLayout(row);
    auto *buttons = new QHBoxLayout;
    okButton = new QPushButton(QStringLiteral("OK"), this);
    okButton->setObjectName(QStringLiteral("Button1"));
    okButton->setDefault(true);
    cancelButton = new QPushButton(QStringLiteral("キャンセル"), this);
    cancelButton->setObjectName(QStringLiteral("Button2"));
    buttons->addStretch();
    buttons->addWidget(okButton);
    buttons->addWidget(cancelButton);
    layout->addLayout(buttons);
    setFixedSize(sizeHint());
    connect(okButton, &QPushButton::clicked, this, &TColSetDlg::Button1Click);
    connect(cancelButton, &QPushButton::clicked, this, &QDialog::reject);
    FormShow();
}

int TColSetDlg::value() const
{
    return columnSpin->value();
}

void TColSetDlg::FormShow()
{
    if (AppSettings::contains(QStringLiteral("ColumnSize")))
        columnSpin->setValue(AppSettings::readInt(QStringLiteral("ColumnSize"), 80));
}

void TColSetDlg::Button1Click()
{
    AppSettings::writeInt(QStringLiteral("ColumnSize"), columnSpin->value());
    accept();
}

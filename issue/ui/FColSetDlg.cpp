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
    NumberSpin1 = new QSpinBox(this);
    NumberSpin1->setObjectName(QStringLiteral("NumberSpin1"));
    NumberSpin1->setRange(0, 128);
    NumberSpin1->setSingleStep(1);
    NumberSpin1->setValue(80);
    row->addWidget(label);
    row->addWidget(NumberSpin1);
    layout->addLayout(row);
    auto *buttons = new QHBoxLayout;
    Button1 = new QPushButton(QStringLiteral("OK"), this);
    Button1->setObjectName(QStringLiteral("Button1"));
    Button1->setDefault(true);
    Button2 = new QPushButton(QStringLiteral("キャンセル"), this);
    Button2->setObjectName(QStringLiteral("Button2"));
    buttons->addStretch();
    buttons->addWidget(Button1);
    buttons->addWidget(Button2);
    layout->addLayout(buttons);
    setFixedSize(sizeHint());
    connect(Button1, &QPushButton::clicked, this, &TColSetDlg::Button1Click);
    connect(Button2, &QPushButton::clicked, this, &QDialog::reject);
    FormShow();
}

int TColSetDlg::value() const
{
    return NumberSpin1->value();
}

void TColSetDlg::FormShow()
{
    if (AppSettings::contains(QStringLiteral("ColumnSize")))
        NumberSpin1->setValue(AppSettings::readInt(QStringLiteral("ColumnSize"), 80));
}

void TColSetDlg::Button1Click()
{
    AppSettings::writeInt(QStringLiteral("ColumnSize"), NumberSpin1->value());
    accept();
}

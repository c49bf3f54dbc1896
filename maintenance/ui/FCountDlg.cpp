#include "maintenance/ui/FCountDlg.h"

#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QPushButton>
#include <QRadioButton>
#include <QSpinBox>
#include <QVBoxLayout>

#include <limits>

TCountDlg::TCountDlg(QWidget *parent) : QDialog(parent)
{
    setObjectName(QStringLiteral("CountDlg"));
    setWindowTitle(QStringLiteral("カウンタ値の設定"));

    Label1 = new QLabel(QStringLiteral("カウンタ値"), this);
    Label1->setObjectName(QStringLiteral("Label1"));
    NumberSpin1 = new QSpinBox(this);
    NumberSpin1->setObjectName(QStringLiteral("NumberSpin1"));
    // Counters are 32-bit; grouped digits as the list shows them. Page Up/Down step by 10.
    NumberSpin1->setRange(std::numeric_limits<int>::min(), std::numeric_limits<int>::max());
    NumberSpin1->setSingleStep(1);
    NumberSpin1->setGroupSeparatorShown(true);
    NumberSpin1->setValue(0);
    NumberSpin1->setAlignment(Qt::AlignRight);
    NumberSpin1->setMinimumWidth(140);
    Label1->setBuddy(NumberSpin1);

    RadioButton1 = new QRadioButton(QStringLiteral("固定値"), this);
    RadioButton1->setObjectName(QStringLiteral("RadioButton1"));
    RadioButton2 = new QRadioButton(QStringLiteral("加算"), this);
    RadioButton2->setObjectName(QStringLiteral("RadioButton2"));
    RadioButton3 = new QRadioButton(QStringLiteral("減算"), this);
    RadioButton3->setObjectName(QStringLiteral("RadioButton3"));
    RadioButton1->setChecked(true);

    Button1 = new QPushButton(QStringLiteral("OK"), this);
    Button1->setObjectName(QStringLiteral("Button1"));
    Button1->setDefault(true);
    Button2 = new QPushButton(QStringLiteral("キャンセル"), this);
    Button2->setObjectName(QStringLiteral("Button2"));
    connect(Button1, &QPushButton::clicked, this, &TCountDlg::Button1Click);
    connect(Button2, &QPushButton::clicked, this, &QDialog::reject);

    auto *valueRow = new QHBoxLayout;
    valueRow->addWidget(Label1);
    valueRow->addWidget(NumberSpin1, 1);
    auto *modes = new QHBoxLayout;
    modes->addWidget(RadioButton1);
    modes->addWidget(RadioButton2);
    modes->addWidget(RadioButton3);
    modes->addStretch(1);
    auto *buttons = new QHBoxLayout;
    buttons->addStretch(1);
    buttons->addWidget(Button1);
    buttons->addWidget(Button2);
    auto *layout = new QVBoxLayout(this);
    layout->addLayout(valueRow);
    layout->addLayout(modes);
    layout->addLayout(buttons);
    NumberSpin1->setFocus();
}

void TCountDlg::setFieldName(const QString &name)
{
    Label1->setText(name);
}

qint64 TCountDlg::value() const
{
    return NumberSpin1->value();
}

void TCountDlg::Button1Click()
{
    // A value typed but not yet confirmed still counts.
    NumberSpin1->interpretText();
    if (RadioButton2->isChecked())
        m_mode = 1;
    else if (RadioButton3->isChecked())
        m_mode = 2;
    else
        m_mode = 0;
    accept();
}

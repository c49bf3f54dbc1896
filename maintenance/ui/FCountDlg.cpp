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

    valueLabel = new QLabel(QStringLiteral("カウンタ値"), this);
    valueLabel->setObjectName(QStringLiteral("Label1"));
    valueSpin = new QSpinBox(this);
    valueSpin->setObjectName(QStringLiteral("NumberSpin1"));
    // Counters are 32-bit; grouped digits as the list shows them. Page Up/Down step by 10.
    valueSpin->setRange(std::numeric_limits<int>::min(), std::numeric_limits<int>::max());
    valueSpin->setSingleStep(1);
    valueSpin->setGroupSeparatorShown(true);
    valueSpin->setValue(0);
    valueSpin->setAlignment(Qt::AlignRight);
    valueSpin->setMinimumWidth(140);
    valueLabel->setBuddy(valueSpin);

    setRadio = new QRadioButton(QStringLiteral("固定値"), this);
    setRadio->setObjectName(QStringLiteral("RadioButton1"));
    addRadio = new QRadioButton(QStringLiteral("加算"), this);
    addRadio->setObjectName(QStringLiteral("RadioButton2"));
    subtractRadio = new QRadioButton(QStringLiteral("減算"), this);
    subtractRadio->setObjectName(QStringLiteral("RadioButton3"));
    setRadio->setChecked(true);

    okButton = new QPushButton(QStringLiteral("OK"), this);
    okButton->setObjectName(QStringLiteral("Button1"));
    okButton->setDefault(true);
    cancelButton = new QPushButton(QStringLiteral("キャンセル"), this);
    cancelButton->setObjectName(QStringLiteral("Button2"));
    connect(okButton, &QPushButton::clicked, this, &TCountDlg::Button1Click);
    connect(cancelButton, &QPushButton::clicked, this, &QDialog::reject);

    auto *valueRow = new QHBoxLayout;
    valueRow->addWidget(valueLabel);
    valueRow->addWidget(valueSpin, 1);
    auto *modes = new QHBoxLayout;
    modes->addWidget(setRadio);
    modes->addWidget(addRadio);
    modes->addWidget(subtractRadio);
    modes->addStretch(1);
    auto *buttons = new QHBoxLayout;
    buttons->addStretch(1);
    buttons->addWidget(okButton);
    buttons->addWidget(cancelButton);
    auto *layout = new QVBoxLayout(this);
    layout->addLayout(valueRow);
    layout->addLayout(modes);
    layout->addLayout(buttons);
    valueSpin->setFocus();
}

void TCountDlg::setFieldName(const QString &name)
{
    valueLabel->setText(name);
}

qint64 TCountDlg::value() const
{
    return valueSpin->value();
}

void TCountDlg::Button1Click()
{
    // A value typed but not yet confirmed still counts.
    valueSpin->interpretText();
    if (addRadio->isChecked())
        m_mode = 1;
    else if (subtractRadio->isChecked())
        m_mode = 2;
    else
        m_mode = 0;
    accept();
}

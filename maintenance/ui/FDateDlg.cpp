#include "maintenance/ui/FDateDlg.h"

#include <QDateEdit>
#include <QHBoxLayout>
#include <QLabel>
#include <QPushButton>
#include <QVBoxLayout>

TDateDlg::TDateDlg(QWidget *parent) : QDialog(parent)
{
    setObjectName(QStringLiteral("DateDlg"));
    setWindowTitle(QStringLiteral("日付の設定"));

    fieldLabel = new QLabel(QStringLiteral("日付"), this);
    fieldLabel->setObjectName(QStringLiteral("Label1"));
    datePicker = new QDateEdit(QDate::currentDate(), this);
    datePicker->setObjectName(QStringLiteral("DateTimePicker1"));
    // The long date form a Japanese desktop shows.
    datePicker->setDisplayFormat(QStringLiteral("yyyy'年'M'月'd'日'"));
    datePicker->setCalendarPopup(true);
    datePicker->setMinimumWidth(160);
    fieldLabel->setBuddy(datePicker);

    okButton = new QPushButton(QStringLiteral("OK"), this);
    okButton->setObjectName(QStringLiteral("Button1"));
    okButton->setDefault(true);
    cancelButton = new QPushButton(QStringLiteral("キャンセル"), this);
    cancelButton->setObjectName(QStringLiteral("Button2"));
    connect(okButton, &QPushButton::clicked, this, &QDialog::accept);
    connect(cancelButton, &QPushButton::clicked, this, &QDialog::reject);

    auto *row = new QHBoxLayout;
    row->addWidget(fieldLabel);
    row->addWidget(datePicker, 1);
    auto *buttons = new QHBoxLayout;
    buttons->addStretch(1);
    buttons->addWidget(okButton);
    buttons->addWidget(cancelButton);
    auto *layout = new QVBoxLayout(this);
    layout->addLayout(row);
    layout->addLayout(buttons);
}

void TDateDlg::setFieldName(const QString &name)
{
    fieldLabel->setText(name);
}

void TDateDlg::setDate(const QDate &day)
{
    datePicker->setDate(day);
}

QDate TDateDlg::date() const
{
    return datePicker->date();
}

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

    Label1 = new QLabel(QStringLiteral("日付"), this);
    Label1->setObjectName(QStringLiteral("Label1"));
    DateTimePicker1 = new QDateEdit(QDate::currentDate(), this);
    DateTimePicker1->setObjectName(QStringLiteral("DateTimePicker1"));
    // The long date form a Japanese desktop shows.
    DateTimePicker1->setDisplayFormat(QStringLiteral("yyyy'年'M'月'd'日'"));
    DateTimePicker1->setCalendarPopup(true);
    DateTimePicker1->setMinimumWidth(160);
    Label1->setBuddy(DateTimePicker1);

    Button1 = new QPushButton(QStringLiteral("OK"), this);
    Button1->setObjectName(QStringLiteral("Button1"));
    Button1->setDefault(true);
    Button2 = new QPushButton(QStringLiteral("キャンセル"), this);
    Button2->setObjectName(QStringLiteral("Button2"));
    connect(Button1, &QPushButton::clicked, this, &QDialog::accept);
    connect(Button2, &QPushButton::clicked, this, &QDialog::reject);

    auto *row = new QHBoxLayout;
    row->addWidget(Label1);
    row->addWidget(DateTimePicker1, 1);
    auto *buttons = new QHBoxLayout;
    buttons->addStretch(1);
    buttons->addWidget(Button1);
    buttons->addWidget(Button2);
    auto *layout = new QVBoxLayout(this);
    layout->addLayout(row);
    layout->addLayout(buttons);
}

void TDateDlg::setFieldName(const QString &name)
{
    Label1->setText(name);
}

void TDateDlg::setDate(const QDate &day)
{
    DateTimePicker1->setDate(day);
}

QDate TDateDlg::date() const
{
    return DateTimePicker1->date();
}

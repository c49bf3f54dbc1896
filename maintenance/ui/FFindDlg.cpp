#include "maintenance/ui/FFindDlg.h"

#include <QGridLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>

TFindDlg::TFindDlg(QWidget *parent) : QDialog(parent)
{
    setObjectName(QStringLiteral("FindDialog1"));
    setWindowTitle(QStringLiteral("検索"));
    setModal(false);
    Label1 = new QLabel(QStringLiteral("検索する文字列(&N):"), this);
    Label1->setObjectName(QStringLiteral("Label1"));
    Edit1 = new QLineEdit(this);
    Edit1->setObjectName(QStringLiteral("Edit1"));
    Label1->setBuddy(Edit1);
    Button1 = new QPushButton(QStringLiteral("次を検索(&F)"), this);
    Button1->setObjectName(QStringLiteral("Button1"));
    Button1->setDefault(true);
    Button2 = new QPushButton(QStringLiteral("キャンセル"), this);
    Button2->setObjectName(QStringLiteral("Button2"));
    auto *grid = new QGridLayout(this);
    grid->addWidget(Label1, 0, 0);
    grid->addWidget(Edit1, 0, 1);
    grid->addWidget(Button1, 0, 2);
    grid->addWidget(Button2, 1, 2);
    connect(Button1, &QPushButton::clicked, this, &TFindDlg::find);
    connect(Button2, &QPushButton::clicked, this, &QDialog::close);
}

QString TFindDlg::findText() const
{
    return Edit1->text();
}

void TFindDlg::setFindText(const QString &text)
{
    Edit1->setText(text);
}

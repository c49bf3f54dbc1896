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
    findLabel = new QLabel(QStringLiteral("検索する文字列(&N):"), this);
    findLabel->setObjectName(QStringLiteral("Label1"));
    findEdit = new QLineEdit(this);
    findEdit->setObjectName(QStringLiteral("Edit1"));
    findLabel->setBuddy(findEdit);
    findNextButton = new QPushButton(QStringLiteral("次を検索(&F)"), this);
    findNextButton->setObjectName(QStringLiteral("Button1"));
    findNextButton->setDefault(true);
    cancelButton = new QPushButton(QStringLiteral("キャンセル"), this);
    cancelButton->setObjectName(QStringLiteral("Button2"));
    auto *grid = new QGridLayout(this);
    grid->addWidget(findLabel, 0, 0);
    grid->addWidget(findEdit, 0, 1);
    grid->addWidget(findNextButton, 0, 2);
    grid->addWidget(cancelButton, 1, 2);
    connect(findNextButton, &QPushButton::clicked, this, &TFindDlg::find);
    connect(cancelButton, &QPushButton::clicked, this, &QDialog::close);
}

QString TFindDlg::findText() const
{
    return findEdit->text();
}

void TFindDlg::setFindText(const QString &text)
{
    findEdit->setText(text);
}

#include "FVerDlg.h"

#include "MainForm.h"

#include <QDialogButtonBox>
#include <QLabel>
#include <QPushButton>
#include <QVBoxLayout>

TVerDlg::TVerDlg(QWidget *parent) : QDialog(parent)
{
    setObjectName(QStringLiteral("VerDlg"));
    setWindowTitle(QStringLiteral("バージョン"));
    auto *layout = new QVBoxLayout(this);
    auto *label1 = new QLabel(QStringLiteral("ツバメ便 バージョン情報"), this);
    label1->setObjectName(QStringLiteral("Label1"));
    const auto v = TMainForm::programVersion();
    versionLabel = new QLabel(versionLine(v.major, v.minor, v.release, v.build), this);
    versionLabel->setObjectName(QStringLiteral("Label2"));
    auto *ok = new QPushButton(QStringLiteral("OK"), this);
    ok->setObjectName(QStringLiteral("Button1"));
    ok->setDefault(true);
    connect(ok, &QPushButton::clicked, this, &QDialog::accept);
    layout->addWidget(label1);
    layout->addWidget(versionLabel);
    layout->addWidget(ok, 0, Qt::AlignHCenter);
}

QString TVerDlg::versionLine(int major, int minor, int release, int build)
{
    return QString::asprintf("Ver %d.%d.%d (%d)", major, minor, release, build);
}

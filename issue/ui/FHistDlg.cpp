#include "issue/ui/FHistDlg.h"

#include "store/Database.h"
#include "store/Sql.h"

#include <QGridLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QPushButton>
#include <QTextCursor>
#include <QTextEdit>
#include <QVBoxLayout>

THistDlg::THistDlg(QWidget *parent) : QDialog(parent)
{
    setObjectName(QStringLiteral("HistDlg"));
    setWindowTitle(QStringLiteral("履歴"));
    resize(520, 420);
    auto *layout = new QVBoxLayout(this);
    auto *header = new QWidget(this);
    header->setObjectName(QStringLiteral("Panel1"));
    auto *grid = new QGridLayout(header);
    grid->setContentsMargins(0, 0, 0, 0);
    Label1 = new QLabel(QStringLiteral("送信日時"), header);
    Label1->setObjectName(QStringLiteral("Label1"));
    Label3 = new QLabel(header);
    Label3->setObjectName(QStringLiteral("Label3"));
    Label2 = new QLabel(QStringLiteral("件名"), header);
    Label2->setObjectName(QStringLiteral("Label2"));
    Label4 = new QLabel(header);
    Label4->setObjectName(QStringLiteral("Label4"));
    grid->addWidget(Label1, 0, 0);
    grid->addWidget(Label3, 0, 1);
    grid->addWidget(Label2, 1, 0);
    grid->addWidget(Label4, 1, 1);
    grid->setColumnStretch(1, 1);
    layout->addWidget(header);
    RichEdit1 = new QTextEdit(this);
    RichEdit1->setObjectName(QStringLiteral("RichEdit1"));
    RichEdit1->setReadOnly(true);
    RichEdit1->setAcceptRichText(false);
    RichEdit1->setContextMenuPolicy(Qt::NoContextMenu);
    layout->addWidget(RichEdit1, 1);
    auto *buttons = new QHBoxLayout;
    Button1 = new QPushButton(QStringLiteral("閉じる"), this);
    Button1->setObjectName(QStringLiteral("Button1"));
    buttons->addStretch();
    buttons->addWidget(Button1);
    layout->addLayout(buttons);
    connect(Button1, &QPushButton::clicked, this, &QDialog::close);
}

void THistDlg::addLine(const QString &name, const QString &address)
{
    QTextCursor c(RichEdit1->document());
    c.movePosition(QTextCursor::End);
    QTextCharFormat blue;
    blue.setForeground(Qt::blue);
    if (!RichEdit1->document()->isEmpty())
        c.insertBlock();
    c.insertText(name + QStringLiteral(" <") + address + QStringLiteral(">"), blue);
}

void THistDlg::FormShow()
{
    RichEdit1->clear();
    Statement s;
    if (ListMode == Mode::Targets) {
        s.open(Sql::lines({QStringLiteral("select U.UserName,U.UserAdrs from MagUser U"), ListWhere,
                           QStringLiteral("and U.MagIdx = ") + QString::number(ListMagIdx)}));
        setWindowTitle(QStringLiteral("対象者一覧"));
        Label1->setText(QStringLiteral("対象者一覧"));
        Label2->clear();
        Label3->clear();
        Label4->clear();
        while (s.next())
            addLine(s.text(0), s.text(1));
        return;
    }
    s.open(Sql::lines({QStringLiteral("select U.UserName,U.UserAdrs,I.AddDate,I.Title from MagHist H,MagUser U,MagInfo I"),
                       QStringLiteral("where H.MagIdx = ") + QString::number(ListMagIdx),
                       QStringLiteral("and H.MagCnt = ") + QString::number(ListMagCnt),
                       QStringLiteral("and U.MagIdx = H.MagIdx and U.UserIdx = H.MagUser"),
                       QStringLiteral("and I.MagIdx = H.MagIdx and I.MagCnt = H.MagCnt")}));
    Label3->clear();
    Label4->clear();
    bool first = true;
    while (s.next()) {
        if (first) {
            Label3->setText(s.text(2));
            Label4->setText(s.text(3));
            first = false;
        }
        addLine(s.text(0), s.text(1));
    }
}

QStringList THistDlg::lines() const
{
    const QString text = RichEdit1->toPlainText();
    return text.isEmpty() ? QStringList() : text.split(QLatin1Char('\n'));
}

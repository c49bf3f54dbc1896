#include "issue/ui/FHistDlg.h"

#include "issue/DeliveryOffers.h"
#include "store/HistoryRecords.h"
#include "store/SendStates.h"

#include <QGridLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QPushButton>
#include <QTextCursor>
#include <QPlainTextEdit>
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
    // Plain text: a recipients list of a large issue fills in a fraction of the time.
    RichEdit1 = new QPlainTextEdit(this);
    RichEdit1->setObjectName(QStringLiteral("RichEdit1"));
    RichEdit1->setReadOnly(true);
    RichEdit1->setContextMenuPolicy(Qt::NoContextMenu);
    // The lines are blue; a long recipients list is set as plain text at once in this colour.
    QPalette pal = RichEdit1->palette();
    pal.setColor(QPalette::Text, Qt::blue);
    RichEdit1->setPalette(pal);
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
    if (ListMode == Mode::Targets) {
        const QList<TargetLine> targets = ListTargets(ListWhere, ListMagIdx);
        setWindowTitle(QStringLiteral("対象者一覧"));
        Label1->setText(QStringLiteral("対象者一覧"));
        Label2->clear();
        Label3->clear();
        Label4->clear();
        for (const TargetLine &t : targets)
            addLine(t.name, t.address);
        return;
    }
    // An issue with per-recipient records lists every recipient with where it stands;
    // one recorded before them lists the members it was sent to, as it always did.
    const QList<SendStateRow> states = SendStates::rows(ListMagIdx, ListMagCnt);
    if (!states.isEmpty()) {
        const std::optional<IssueInfoRecord> issue = ReadHistoryIssue(ListMagIdx, ListMagCnt);
        Label3->setText(issue ? issue->AddDate : QString());
        Label4->setText(issue ? issue->Title : QString());
        RichEdit1->setPlainText(DeliveryOffers::recipientsText(states));
        return;
    }
    const IssueRecipients recipients = ReadIssueRecipients(ListMagIdx, ListMagCnt);
    Label3->setText(recipients.AddDate);
    Label4->setText(recipients.Title);
    for (const RecipientRecord &r : recipients.members)
        addLine(r.UserName, r.UserAdrs);
}

QStringList THistDlg::lines() const
{
    const QString text = RichEdit1->toPlainText();
    return text.isEmpty() ? QStringList() : text.split(QLatin1Char('\n'));
}

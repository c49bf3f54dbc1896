#include "issue/ui/FSQLEditDlg.h"

#include "issue/UCondition.h"
#include "issue/UTextFile.h"
#include "widgets/FileDialog.h"
#include "widgets/MessageBox.h"

#include <QComboBox>
#include <QFileInfo>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QStyle>
#include <QToolButton>
#include <QVBoxLayout>

TSQLEditDlg::TSQLEditDlg(const QString &dataDir, QWidget *parent) : FormDialog(parent), m_dataDir(dataDir)
{
    setObjectName(QStringLiteral("SQLEditDlg"));
    setWindowTitle(QStringLiteral("条件エディタ"));
    auto *layout = new QVBoxLayout(this);
    auto *grid = new QGridLayout;
    const auto label = [this](const char *name, const QString &text) {
        auto *l = new QLabel(text, this);
        l->setObjectName(QString::fromLatin1(name));
        return l;
    };
    const auto combo = [this](const char *name) {
        auto *c = new QComboBox(this);
        c->setObjectName(QString::fromLatin1(name));
        c->setEditable(false);
        c->setMinimumContentsLength(8);
        return c;
    };
    ComboBox1 = combo("ComboBox1");
    ComboBox2 = combo("ComboBox2");
    ComboBox3 = combo("ComboBox3");
    ComboBox4 = combo("ComboBox4");
    ComboBox4->addItems({QStringLiteral("かつ　(AND)"), QStringLiteral("または (OR)")});
    ComboBox4->setCurrentIndex(-1);
    Button1 = new QPushButton(QStringLiteral("項目挿入"), this);
    Button1->setObjectName(QStringLiteral("Button1"));
    Button5 = new QPushButton(QStringLiteral("結合子挿入"), this);
    Button5->setObjectName(QStringLiteral("Button5"));
    grid->addWidget(label("Label1", QStringLiteral("項目")), 0, 0);
    grid->addWidget(label("Label2", QStringLiteral("条件")), 0, 1);
    grid->addWidget(label("Label3", QStringLiteral("値")), 0, 2);
    grid->addWidget(ComboBox1, 1, 0);
    grid->addWidget(ComboBox2, 1, 1);
    grid->addWidget(ComboBox3, 1, 2);
    grid->addWidget(Button1, 1, 3);
    grid->addWidget(label("Label4", QStringLiteral("結合子")), 2, 0);
    grid->addWidget(ComboBox4, 3, 0);
    grid->addWidget(Button5, 3, 3);
    layout->addLayout(grid);

    auto *tools = new QHBoxLayout;
    SpeedButton1 = new QToolButton(this);
    SpeedButton1->setObjectName(QStringLiteral("SpeedButton1"));
    SpeedButton1->setIcon(style()->standardIcon(QStyle::SP_DialogOpenButton));
    SpeedButton1->setToolTip(QStringLiteral("条件式を開く"));
    SpeedButton2 = new QToolButton(this);
    SpeedButton2->setObjectName(QStringLiteral("SpeedButton2"));
    SpeedButton2->setIcon(style()->standardIcon(QStyle::SP_DialogSaveButton));
    SpeedButton2->setToolTip(QStringLiteral("条件式を保存"));
    tools->addWidget(SpeedButton1);
    tools->addWidget(SpeedButton2);
    tools->addStretch();
    layout->addLayout(tools);

    Memo1 = new QPlainTextEdit(this);
    Memo1->setObjectName(QStringLiteral("Memo1"));
    Memo1->setLineWrapMode(QPlainTextEdit::NoWrap);
    Memo1->setAttribute(Qt::WA_InputMethodEnabled, false);
    Memo1->setMinimumSize(420, 180);
    layout->addWidget(Memo1, 1);

    auto *buttons = new QHBoxLayout;
    Button2 = new QPushButton(QStringLiteral("チェック"), this);
    Button2->setObjectName(QStringLiteral("Button2"));
    Button3 = new QPushButton(QStringLiteral("OK"), this);
    Button3->setObjectName(QStringLiteral("Button3"));
    Button4 = new QPushButton(QStringLiteral("キャンセル"), this);
    Button4->setObjectName(QStringLiteral("Button4"));
    buttons->addWidget(Button2);
    buttons->addStretch();
    buttons->addWidget(Button3);
    buttons->addWidget(Button4);
    layout->addLayout(buttons);

    connect(ComboBox1, &QComboBox::currentIndexChanged, this, &TSQLEditDlg::ComboBox1Change);
    connect(Button1, &QPushButton::clicked, this, &TSQLEditDlg::Button1Click);
    connect(Button5, &QPushButton::clicked, this, &TSQLEditDlg::Button5Click);
    connect(Button2, &QPushButton::clicked, this, &TSQLEditDlg::Button2Click);
    connect(Button3, &QPushButton::clicked, this, &TSQLEditDlg::Button3Click);
    connect(Button4, &QPushButton::clicked, this, &QDialog::reject);
    connect(SpeedButton1, &QToolButton::clicked, this, &TSQLEditDlg::SpeedButton1Click);
    connect(SpeedButton2, &QToolButton::clicked, this, &TSQLEditDlg::SpeedButton2Click);
}

QString TSQLEditDlg::conditionText() const
{
    QString t = Memo1->toPlainText();
    t.replace(QLatin1Char('\n'), QLatin1String("\r\n"));
    return t;
}

void TSQLEditDlg::fillForm()
{
    QString t = ConditionSql;
    t.replace(QLatin1String("\r\n"), QLatin1String("\n"));
    Memo1->setPlainText(t);
    ComboBox1->clear();
    for (const QString &n : FieldNames)
        ComboBox1->addItem(n);
    ComboBox1->setCurrentIndex(-1);
}

void TSQLEditDlg::ComboBox1Change()
{
    const int field = ComboBox1->currentIndex();
    ComboBox2->clear();
    ComboBox3->clear();
    ComboBox2->addItems(ConditionOperators(field));
    ComboBox3->addItems(ConditionValues(field));
    ComboBox2->setCurrentIndex(ComboBox2->count() ? 0 : -1);
    ComboBox3->setCurrentIndex(ComboBox3->count() ? 0 : -1);
}

void TSQLEditDlg::insertAtCaret(const QString &text)
{
    if (Memo1->document()->isEmpty()) {
        Memo1->setPlainText(text);
    } else {
        Memo1->textCursor().insertText(text);
    }
    Memo1->moveCursor(QTextCursor::End);
    Memo1->setFocus();
}

void TSQLEditDlg::Button1Click()
{
    const int field = ComboBox1->currentIndex();
    if (field < 0)
        return;
    const QString piece = ConditionPiece(field, FieldNames, ComboBox2->currentText(), ComboBox3->currentIndex(),
                                         ComboBox3->currentText(), QDate::currentDate());
    insertAtCaret(piece + QStringLiteral(" \n"));
    Memo1->setToolTip(QStringLiteral("さらに条件を続けるには、and(かつ) or(または)を入力してください。"));
}

void TSQLEditDlg::Button5Click()
{
    if (Memo1->document()->isEmpty())
        return;
    QString connector;
    if (ComboBox4->currentIndex() == 0)
        connector = QStringLiteral(" AND ");
    else if (ComboBox4->currentIndex() == 1)
        connector = QStringLiteral(" OR ");
    insertAtCaret(connector + QStringLiteral(" \n"));
}

void TSQLEditDlg::Button2Click()
{
    QString message;
    if (CheckCondition(TranslateToSql(conditionText(), FieldNames), FieldNames, &message))
        MessageBox::info(this, QStringLiteral("エラーはありません。"));
    else
        MessageBox::warning(this, message);
}

void TSQLEditDlg::Button3Click()
{
    const QString clause = TranslateToSql(conditionText(), FieldNames);
    QString message;
    if (!CheckCondition(clause, FieldNames, &message)) {
        MessageBox::warning(this, message);
        return;
    }
    ConditionSql = clause;
    accept();
}

void TSQLEditDlg::SpeedButton1Click()
{
    const QString path =
        FileDialog::open(this, QString(), m_dataDir + QStringLiteral("where"), QStringLiteral("条件式(*.whr)"));
    if (path.isEmpty())
        return;
    Memo1->clear();
    QStringList lines;
    QString error;
    if (!TextFile::readLines(path, &lines, &error)) {
        MessageBox::error(this, error);
        return;
    }
    Memo1->setPlainText(lines.join(QLatin1Char('\n')));
    // A file is anybody's text: say at once when it is not a condition that can be sent.
    QString message;
    if (!CheckCondition(TranslateToSql(conditionText(), FieldNames), FieldNames, &message))
        MessageBox::warning(this, message);
}

void TSQLEditDlg::SpeedButton2Click()
{
    if (Memo1->document()->isEmpty())
        return;
    const QString path = FileDialog::save(this, QString(), m_dataDir + QStringLiteral("where"),
                                          QStringLiteral("条件式(*.whr)"), QStringLiteral("whr"));
    if (path.isEmpty())
        return;
    QString error;
    if (!TextFile::writeLines(path, TextFile::splitLines(Memo1->toPlainText()), &error))
        MessageBox::error(this, error);
}

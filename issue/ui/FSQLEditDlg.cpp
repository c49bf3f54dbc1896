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
    fieldCombo = combo("ComboBox1");
    operatorCombo = combo("ComboBox2");
    valueCombo = combo("ComboBox3");
    joinCombo = combo("ComboBox4");
    joinCombo->addItems({QStringLiteral("かつ　(AND)"), QStringLiteral("または (OR)")});
    joinCombo->setCurrentIndex(-1);
    insertFieldButton = new QPushButton(QStringLiteral("項目挿入"), this);
    insertFieldButton->setObjectName(QStringLiteral("Button1"));
    insertJoinButton = new QPushButton(QStringLiteral("結合子挿入"), this);
    insertJoinButton->setObjectName(QStringLiteral("Button5"));
    grid->addWidget(label("Label1", QStringLiteral("項目")), 0, 0);
    grid->addWidget(label("Label2", QStringLiteral("条件")), 0, 1);
    grid->addWidget(label("Label3", QStringLiteral("値")), 0, 2);
    grid->addWidget(fieldCombo, 1, 0);
    grid->addWidget(operatorCombo, 1, 1);
    grid->addWidget(valueCombo, 1, 2);
    grid->addWidget(insertFieldButton, 1, 3);
    grid->addWidget(label("Label4", QStringLiteral("結合子")), 2, 0);
    grid->addWidget(joinCombo, 3, 0);
    grid->addWidget(insertJoinButton, 3, 3);
    layout->addLayout(grid);

    auto *tools = new QHBoxLayout;
    openButton = new QToolButton(this);
    openButton->setObjectName(QStringLiteral("SpeedButton1"));
    openButton->setIcon(style()->standardIcon(QStyle::SP_DialogOpenButton));
    openButton->setToolTip(QStringLiteral("条件式を開く"));
    saveButton = new QToolButton(this);
    saveButton->setObjectName(QStringLiteral("SpeedButton2"));
    saveButton->setIcon(style()->standardIcon(QStyle::SP_DialogSaveButton));
    saveButton->setToolTip(QStringLiteral("条件式を保存"));
    tools->addWidget(openButton);
    tools->addWidget(saveButton);
    tools->addStretch();
    layout->addLayout(tools);

    conditionMemo = new QPlainTextEdit(this);
    conditionMemo->setObjectName(QStringLiteral("Memo1"));
    conditionMemo->setLineWrapMode(QPlainTextEdit::NoWrap);
    conditionMemo->setAttribute(Qt::WA_InputMethodEnabled, false);
    conditionMemo->setMinimumSize(420, 180);
    layout->addWidget(conditionMemo, 1);

    auto *buttons = new QHBoxLayout;
    checkButton = new QPushButton(QStringLiteral("チェック"), this);
    checkButton->setObjectName(QStringLiteral("Button2"));
    okButton = new QPushButton(QStringLiteral("OK"), this);
    okButton->setObjectName(QStringLiteral("Button3"));
    cancelButton = new QPushButton(QStringLiteral("キャンセル"), this);
    cancelButton->setObjectName(QStringLiteral("Button4"));
    buttons->addWidget(checkButton);
    buttons->addStretch();
    buttons->addWidget(okButton);
    buttons->addWidget(cancelButton);
    layout->addLayout(buttons);

    connect(fieldCombo, &QComboBox::currentIndexChanged, this, &TSQLEditDlg::ComboBox1Change);
    connect(insertFieldButton, &QPushButton::clicked, this, &TSQLEditDlg::Button1Click);
    connect(insertJoinButton, &QPushButton::clicked, this, &TSQLEditDlg::Button5Click);
    connect(checkButton, &QPushButton::clicked, this, &TSQLEditDlg::Button2Click);
    connect(okButton, &QPushButton::clicked, this, &TSQLEditDlg::Button3Click);
    connect(cancelButton, &QPushButton::clicked, this, &QDialog::reject);
    connect(openButton, &QToolButton::clicked, this, &TSQLEditDlg::SpeedButton1Click);
    connect(saveButton, &QToolButton::clicked, this, &TSQLEditDlg::SpeedButton2Click);
}

QString TSQLEditDlg::conditionText() const
{
    QString t = conditionMemo->toPlainText();
    t.replace(QLatin1Char('\n'), QLatin1String("\r\n"));
    return t;
}

void TSQLEditDlg::fillForm()
{
    QString t = ConditionSql;
    t.replace(QLatin1String("\r\n"), QLatin1String("\n"));
    conditionMemo->setPlainText(t);
    fieldCombo->clear();
    for (const QString &n : FieldNames)
        fieldCombo->addItem(n);
    fieldCombo->setCurrentIndex(-1);
}

void TSQLEditDlg::ComboBox1Change()
{
    const int field = fieldCombo->currentIndex();
    operatorCombo->clear();
    valueCombo->clear();
    operatorCombo->addItems(ConditionOperators(field));
    valueCombo->addItems(ConditionValues(field));
    operatorCombo->setCurrentIndex(operatorCombo->count() ? 0 : -1);
    valueCombo->setCurrentIndex(valueCombo->count() ? 0 : -1);
}

void TSQLEditDlg::insertAtCaret(const QString &text)
{
    if (conditionMemo->document()->isEmpty()) {
        conditionMemo->setPlainText(text);
    } else {
        conditionMemo->textCursor().insertText(text);
    }
    conditionMemo->moveCursor(QTextCursor::End);
    conditionMemo->setFocus();
}

void TSQLEditDlg::Button1Click()
{
    const int field = fieldCombo->currentIndex();
    if (field < 0)
        return;
    const QString piece = ConditionPiece(field, FieldNames, operatorCombo->currentText(), valueCombo->currentIndex(),
                                         valueCombo->currentText(), QDate::currentDate());
    insertAtCaret(piece + QStringLiteral(" \n"));
    conditionMemo->setToolTip(QStringLiteral("さらに条件を続けるには、and(かつ) or(または)を入力してください。"));
}

void TSQLEditDlg::Button5Click()
{
    if (conditionMemo->document()->isEmpty())
        return;
    QString connector;
    if (joinCombo->currentIndex() == 0)
        connector = QStringLiteral(" AND ");
    else if (joinCombo->currentIndex() == 1)
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
    conditionMemo->clear();
    QStringList lines;
    QString error;
    if (!TextFile::readLines(path, &lines, &error)) {
        MessageBox::error(this, error);
        return;
    }
    conditionMemo->setPlainText(lines.join(QLatin1Char('\n')));
    // A file is anybody's text: say at once when it is not a condition that can be sent.
    QString message;
    if (!CheckCondition(TranslateToSql(conditionText(), FieldNames), FieldNames, &message))
        MessageBox::warning(this, message);
}

void TSQLEditDlg::SpeedButton2Click()
{
    if (conditionMemo->document()->isEmpty())
        return;
    const QString path = FileDialog::save(this, QString(), m_dataDir + QStringLiteral("where"),
                                          QStringLiteral("条件式(*.whr)"), QStringLiteral("whr"));
    if (path.isEmpty())
        return;
    QString error;
    if (!TextFile::writeLines(path, TextFile::splitLines(conditionMemo->toPlainText()), &error))
        MessageBox::error(this, error);
}

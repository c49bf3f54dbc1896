#include "members/FMagzineDlg.h"

#include "members/UMemberOrder.h"
#include "members/USignName.h"
#include "store/Database.h"
#include "widgets/Command.h"
#include "widgets/MessageBox.h"

#include <QCheckBox>
#include <QComboBox>
#include <QDir>
#include <QFormLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QMetaMethod>
#include <QPushButton>
#include <QVBoxLayout>

namespace {

QLineEdit *lineEdit(QWidget *parent, const char *name, int maxLength, bool japanese)
{
    auto *e = new QLineEdit(parent);
    e->setObjectName(QLatin1String(name));
    e->setMaxLength(maxLength);
    if (!japanese)
        e->setInputMethodHints(Qt::ImhLatinOnly | Qt::ImhNoPredictiveText);
    return e;
}

// The width at which `edit` shows `sample` whole, frame and margins included.
int fieldWidthFor(const QLineEdit *edit, const QString &sample)
{
    const QMargins m = edit->textMargins();
    return edit->fontMetrics().horizontalAdvance(sample) + m.left() + m.right() + 24;
}

} // namespace

TMagzineDlg::TMagzineDlg(const QString &dataDir, QWidget *parent) : QDialog(parent), m_dataDir(dataDir)
{
    setObjectName(QStringLiteral("MagzineDlg"));
    setWindowTitle(QStringLiteral("マガジン名"));
    setModal(true);

    Edit1 = lineEdit(this, "Edit1", 64, true);
    Edit4 = lineEdit(this, "Edit4", 64, true);
    CheckBox1 = new QCheckBox(QStringLiteral("個別に送信"), this);
    CheckBox1->setObjectName(QStringLiteral("CheckBox1"));
    CheckBox1->setToolTip(QStringLiteral("ONにした場合には送信に時間がかかります。"));
    Edit2 = lineEdit(this, "Edit2", 64, true);
    Edit3 = lineEdit(this, "Edit3", 128, false);
    ComboBox1 = new QComboBox(this);
    ComboBox1->setObjectName(QStringLiteral("ComboBox1"));
    ComboBox1->setEditable(false);
    Label4 = new QLabel(QStringLiteral("<a href=\"sign\">署　　　名</a>"), this);
    Label4->setObjectName(QStringLiteral("Label4"));
    Label4->setTextFormat(Qt::RichText);
    connect(Label4, &QLabel::linkActivated, this, &TMagzineDlg::Label4Click);
    Edit5 = lineEdit(this, "Edit5", 32, true);
    Edit6 = lineEdit(this, "Edit6", 32, true);
    Edit7 = lineEdit(this, "Edit7", 32, true);
    Edit8 = lineEdit(this, "Edit8", 32, true);
    Edit9 = lineEdit(this, "Edit9", 32, true);
    Edit10 = lineEdit(this, "Edit10", 32, true);
    Edit11 = lineEdit(this, "Edit11", 32, true);
    Button1 = new QPushButton(QStringLiteral("OK"), this);
    Button1->setObjectName(QStringLiteral("Button1"));
    Button1->setDefault(true);
    Button2 = new QPushButton(QStringLiteral("キャンセル"), this);
    Button2->setObjectName(QStringLiteral("Button2"));
    connect(Button1, &QPushButton::clicked, this, &TMagzineDlg::Button1Click);
    connect(Button2, &QPushButton::clicked, this, &QDialog::reject);

    // Wide enough for a usual sender address, so that it does not scroll inside its field; the
    // other fields of the form grow with it.
    Edit3->setMinimumWidth(fieldWidthFor(Edit3, QStringLiteral("tsubame-news@mail.example.co.jp")));

    auto *form = new QFormLayout;
    form->setFieldGrowthPolicy(QFormLayout::AllNonFixedFieldsGrow);
    form->addRow(QStringLiteral("マガジン名"), Edit1);
    form->addRow(QStringLiteral("メール宛名"), Edit4);
    form->addRow(QString(), CheckBox1);
    form->addRow(QStringLiteral("発行者名"), Edit2);
    form->addRow(QStringLiteral("メールアドレス"), Edit3);
    form->addRow(Label4, ComboBox1);
    auto *heading = new QLabel(QStringLiteral("フラグ名称"), this);
    QFont bold = heading->font();
    bold.setBold(true);
    heading->setFont(bold);
    form->addRow(heading);
    form->addRow(QStringLiteral("フラグ１"), Edit5);
    form->addRow(QStringLiteral("フラグ２"), Edit6);
    form->addRow(QStringLiteral("フラグ３"), Edit7);
    form->addRow(QStringLiteral("カウンタ１"), Edit8);
    form->addRow(QStringLiteral("カウンタ２"), Edit9);
    form->addRow(QStringLiteral("日付１"), Edit10);
    form->addRow(QStringLiteral("日付２"), Edit11);

    auto *buttons = new QHBoxLayout;
    buttons->addStretch(1);
    buttons->addWidget(Button1);
    buttons->addWidget(Button2);
    auto *layout = new QVBoxLayout(this);
    layout->addLayout(form);
    layout->addLayout(buttons);

    setTabOrder(Edit1, Edit4);
    setTabOrder(Edit4, CheckBox1);
    setTabOrder(CheckBox1, Edit2);
    setTabOrder(Edit2, Edit3);
    setTabOrder(Edit3, ComboBox1);
    setTabOrder(ComboBox1, Edit5);
    setTabOrder(Edit5, Edit6);
    setTabOrder(Edit6, Edit7);
    setTabOrder(Edit7, Edit8);
    setTabOrder(Edit8, Edit9);
    setTabOrder(Edit9, Edit10);
    setTabOrder(Edit10, Edit11);
    setTabOrder(Edit11, Button1);
    setTabOrder(Button1, Button2);
}

void TMagzineDlg::showEvent(QShowEvent *event)
{
    if (!m_shown)
        FormShow();
    QDialog::showEvent(event);
}

void TMagzineDlg::fillSignatures()
{
    ComboBox1->clear();
    // The first entry is "no signature", so a chosen one can be taken back.
    ComboBox1->addItem(QString());
    const QDir dir(SignatureFolder(m_dataDir));
    // A file whose name could not be given back as a signature name is not offered.
    for (const QString &name : dir.entryList({QStringLiteral("*.txt")}, QDir::Files, QDir::Name))
        if (IsSignatureName(name))
            ComboBox1->addItem(name);
}

void TMagzineDlg::chooseSignature(const QString &fileName)
{
    int index = 0;
    if (!fileName.isEmpty()) {
        for (int i = 1; i < ComboBox1->count(); ++i) {
            if (ComboBox1->itemText(i) == fileName) {
                index = i;
                break;
            }
        }
    }
    ComboBox1->setCurrentIndex(index);
}

QString TMagzineDlg::chosenSignature() const
{
    return ComboBox1->currentIndex() > 0 ? ComboBox1->currentText() : QString();
}

void TMagzineDlg::FormShow()
{
    m_shown = true;
    fillSignatures();
    EditMode = MagIdx != -1;
    if (!EditMode) {
        Edit2->clear();
        Edit3->clear();
        Edit4->clear();
        const auto names = MagazineSql::defaultFieldNames();
        QLineEdit *edits[7] = {Edit5, Edit6, Edit7, Edit8, Edit9, Edit10, Edit11};
        for (int i = 0; i < 7; ++i)
            edits[i]->setText(names[size_t(i)]);
        CheckBox1->setChecked(false);
        chooseSignature(QString());
        return;
    }
    // Found by its index, not by its name: two magazines may share a name.
    Command::run(this, [this] {
        const auto m = MagazineSql::load(MagIdx);
        if (!m)
            return;
        Edit1->setText(m->name);
        Edit2->setText(m->owner);
        Edit3->setText(m->adrs);
        Edit4->setText(m->atena);
        QLineEdit *edits[7] = {Edit5, Edit6, Edit7, Edit8, Edit9, Edit10, Edit11};
        for (int i = 0; i < 7; ++i)
            edits[i]->setText(m->fieldNames[size_t(i)]);
        CheckBox1->setChecked(m->useUserName);
        chooseSignature(m->sign);
    });
}

void TMagzineDlg::Label4Click()
{
    const QString chosen = chosenSignature();
    if (!isSignalConnected(QMetaMethod::fromSignal(&TMagzineDlg::SignatureEditRequested)))
        return;
    Q_EMIT SignatureEditRequested(chosen);
    fillSignatures();
    chooseSignature(chosen);
}

MagazineRecord TMagzineDlg::record() const
{
    MagazineRecord m;
    m.magIdx = MagIdx;
    m.name = Edit1->text();
    m.owner = Edit2->text();
    m.adrs = Edit3->text();
    m.atena = Edit4->text();
    m.sign = chosenSignature();
    const QLineEdit *edits[7] = {Edit5, Edit6, Edit7, Edit8, Edit9, Edit10, Edit11};
    for (int i = 0; i < 7; ++i)
        m.fieldNames[size_t(i)] = edits[i]->text();
    m.useUserName = CheckBox1->isChecked();
    return m;
}

void TMagzineDlg::Button1Click()
{
    struct Check {
        QLineEdit *edit;
        QString message;
    };
    const QString missingName = QStringLiteral("%1名称が未入力です。");
    const Check checks[] = {
        {Edit1, QStringLiteral("マガジン名が未入力です。")},
        {Edit2, QStringLiteral("発行者名が未入力です。")},
        {Edit3, QStringLiteral("メールアドレスが未入力です。")},
        {Edit5, missingName.arg(QStringLiteral("フラグ１"))},
        {Edit6, missingName.arg(QStringLiteral("フラグ２"))},
        {Edit7, missingName.arg(QStringLiteral("フラグ３"))},
        {Edit8, missingName.arg(QStringLiteral("数字１"))},
        {Edit9, missingName.arg(QStringLiteral("数字２"))},
        {Edit10, missingName.arg(QStringLiteral("日付１"))},
        {Edit11, missingName.arg(QStringLiteral("日付２"))},
    };
    for (const Check &c : checks) {
        if (c.edit->text().isEmpty()) {
            MessageBox::warning(this, c.message);
            c.edit->setFocus();
            return;
        }
    }
    bool duplicate = false;
    const bool saved = Command::run(this, [this, &duplicate] {
        MagazineRecord m = record();
        // Another magazine of the same name would make the two indistinguishable in every
        // list, whether it comes from an add or a rename.
        if (MagazineSql::countByName(m.name, EditMode ? MagIdx : -1) > 0) {
            duplicate = true;
            return;
        }
        if (EditMode) {
            MagazineSql::update(m);
            return;
        }
        m.magIdx = int(MagazineSql::maxIdx() + 1);
        MagazineSql::insert(m);
        MagIdx = m.magIdx;
        MemberOrder::save(m.magIdx, MemberOrder::defaultText());
    });
    if (duplicate) {
        MessageBox::warning(this, QStringLiteral("同じ名前のマガジン名がすでに存在します。"));
        return;
    }
    if (saved)
        accept();
}

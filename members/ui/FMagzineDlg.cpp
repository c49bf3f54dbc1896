#include "members/ui/FMagzineDlg.h"

#include "members/MagazineEntry.h"
#include "members/USignName.h"
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

#include <iterator>
#include <utility>

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

TMagzineDlg::TMagzineDlg(const QString &dataDir, QWidget *parent)
    : FormDialog(parent), m_dataDir(dataDir), m_record(MagazineEntry::blank())
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
    QLineEdit **names[7] = {&Edit5, &Edit6, &Edit7, &Edit8, &Edit9, &Edit10, &Edit11};
    for (int i = 0; i < 7; ++i)
        *names[i] = lineEdit(this, qPrintable(QStringLiteral("Edit%1").arg(5 + i)), 32, true);
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

    auto *buttons = new QHBoxLayout;
    buttons->addStretch(1);
    buttons->addWidget(Button1);
    buttons->addWidget(Button2);
    auto *layout = new QVBoxLayout(this);
    layout->addLayout(layOut());
    layout->addLayout(buttons);

    QWidget *const order[] = {Edit1, Edit4, CheckBox1, Edit2, Edit3,  ComboBox1, Edit5,  Edit6,
                              Edit7, Edit8, Edit9,     Edit10, Edit11, Button1,  Button2};
    for (size_t i = 1; i < std::size(order); ++i)
        setTabOrder(order[i - 1], order[i]);
}

QFormLayout *TMagzineDlg::layOut()
{
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
    const char *const captions[7] = {"フラグ１", "フラグ２", "フラグ３", "カウンタ１", "カウンタ２", "日付１", "日付２"};
    for (int i = 0; i < 7; ++i)
        form->addRow(QString::fromUtf8(captions[i]), fieldEdit(int(MagazineEntry::Field::FieldName1) + i));
    return form;
}

QLineEdit *TMagzineDlg::fieldEdit(int field) const
{
    QLineEdit *const edits[] = {Edit1, Edit2, Edit3, Edit5, Edit6, Edit7, Edit8, Edit9, Edit10, Edit11};
    return field >= 0 && size_t(field) < std::size(edits) ? edits[field] : nullptr;
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

void TMagzineDlg::setRecord(const MagazineRecord &m)
{
    m_record = m;
}

void TMagzineDlg::setSave(std::function<void(MagazineRecord &)> save)
{
    m_save = std::move(save);
}

void TMagzineDlg::fillForm()
{
    fillSignatures();
    m_editMode = m_record.magIdx != -1;
    const MagazineRecord &m = m_record;
    Edit1->setText(m.name);
    Edit2->setText(m.owner);
    Edit3->setText(m.adrs);
    Edit4->setText(m.atena);
    for (int i = 0; i < 7; ++i)
        fieldEdit(int(MagazineEntry::Field::FieldName1) + i)->setText(m.fieldNames[size_t(i)]);
    CheckBox1->setChecked(m.useUserName);
    chooseSignature(m.sign);
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
    m.magIdx = m_record.magIdx;
    m.name = Edit1->text();
    m.owner = Edit2->text();
    m.adrs = Edit3->text();
    m.atena = Edit4->text();
    m.sign = chosenSignature();
    for (int i = 0; i < 7; ++i)
        m.fieldNames[size_t(i)] = fieldEdit(int(MagazineEntry::Field::FieldName1) + i)->text();
    m.useUserName = CheckBox1->isChecked();
    return m;
}

void TMagzineDlg::Button1Click()
{
    MagazineRecord m = record();
    const MagazineEntry::Problem missing = MagazineEntry::missingEntry(m);
    if (!missing.message.isEmpty()) {
        MessageBox::warning(this, missing.message);
        fieldEdit(missing.field)->setFocus();
        return;
    }
    QString taken;
    const bool saved = Command::run(this, [this, &m, &taken] {
        taken = MagazineEntry::nameProblem(m);
        if (taken.isEmpty() && m_save)
            m_save(m);
    });
    if (!taken.isEmpty()) {
        MessageBox::warning(this, taken);
        return;
    }
    if (!saved)
        return;
    m_record = m;
    accept();
}

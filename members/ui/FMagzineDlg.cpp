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

    nameEdit = lineEdit(this, "Edit1", 64, true);
    salutationEdit = lineEdit(this, "Edit4", 64, true);
    individualCheck = new QCheckBox(QStringLiteral("個別に送信"), this);
    individualCheck->setObjectName(QStringLiteral("CheckBox1"));
    individualCheck->setToolTip(QStringLiteral("ONにした場合には送信に時間がかかります。"));
    ownerEdit = lineEdit(this, "Edit2", 64, true);
    addressEdit = lineEdit(this, "Edit3", 128, false);
    signatureCombo = new QComboBox(this);
    signatureCombo->setObjectName(QStringLiteral("ComboBox1"));
    signatureCombo->setEditable(false);
    signatureLink = new QLabel(QStringLiteral("<a href=\"sign\">署　　　名</a>"), this);
    signatureLink->setObjectName(QStringLiteral("Label4"));
    signatureLink->setTextFormat(Qt::RichText);
    connect(signatureLink, &QLabel::linkActivated, this, &TMagzineDlg::Label4Click);
    QLineEdit **names[7] = {&flag1NameEdit,  &flag2NameEdit, &flag3NameEdit, &count1NameEdit,
                            &count2NameEdit, &date1NameEdit, &date2NameEdit};
    for (int i = 0; i < 7; ++i)
        *names[i] = lineEdit(this, qPrintable(QStringLiteral("Edit%1").arg(5 + i)), 32, true);
    okButton = new QPushButton(QStringLiteral("OK"), this);
    okButton->setObjectName(QStringLiteral("Button1"));
    okButton->setDefault(true);
    cancelButton = new QPushButton(QStringLiteral("キャンセル"), this);
    cancelButton->setObjectName(QStringLiteral("Button2"));
    connect(okButton, &QPushButton::clicked, this, &TMagzineDlg::Button1Click);
    connect(cancelButton, &QPushButton::clicked, this, &QDialog::reject);

    // Wide enough for a usual sender address, so that it does not scroll inside its field; the
    // other fields of the form grow with it.
    addressEdit->setMinimumWidth(fieldWidthFor(addressEdit, QStringLiteral("tsubame-news@mail.example.co.jp")));

    auto *buttons = new QHBoxLayout;
    buttons->addStretch(1);
    buttons->addWidget(okButton);
    buttons->addWidget(cancelButton);
    auto *layout = new QVBoxLayout(this);
    layout->addLayout(layOut());
    layout->addLayout(buttons);

    QWidget *const order[] = {nameEdit,       salutationEdit, individualCheck, ownerEdit,     addressEdit,
                              signatureCombo, flag1NameEdit,  flag2NameEdit,   flag3NameEdit, count1NameEdit,
                              count2NameEdit, date1NameEdit,  date2NameEdit,   okButton,      cancelButton};
    for (size_t i = 1; i < std::size(order); ++i)
        setTabOrder(order[i - 1], order[i]);
}

QFormLayout *TMagzineDlg::layOut()
{
    auto *form = new QFormLayout;
    form->setFieldGrowthPolicy(QFormLayout::AllNonFixedFieldsGrow);
    form->addRow(QStringLiteral("マガジン名"), nameEdit);
    form->addRow(QStringLiteral("メール宛名"), salutationEdit);
    form->addRow(QString(), individualCheck);
    form->addRow(QStringLiteral("発行者名"), ownerEdit);
    form->addRow(QStringLiteral("メールアドレス"), addressEdit);
    form->addRow(signatureLink, signatureCombo);
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
    QLineEdit *const edits[] = {nameEdit,      ownerEdit,      addressEdit,    flag1NameEdit, flag2NameEdit,
                                flag3NameEdit, count1NameEdit, count2NameEdit, date1NameEdit, date2NameEdit};
    return field >= 0 && size_t(field) < std::size(edits) ? edits[field] : nullptr;
}

void TMagzineDlg::fillSignatures()
{
    signatureCombo->clear();
    // The first entry is "no signature", so a chosen one can be taken back.
    signatureCombo->addItem(QString());
    const QDir dir(SignatureFolder(m_dataDir));
    // A file whose name could not be given back as a signature name is not offered.
    for (const QString &name : dir.entryList({QStringLiteral("*.txt")}, QDir::Files, QDir::Name))
        if (IsSignatureName(name))
            signatureCombo->addItem(name);
}

void TMagzineDlg::chooseSignature(const QString &fileName)
{
    int index = 0;
    if (!fileName.isEmpty()) {
        for (int i = 1; i < signatureCombo->count(); ++i) {
            if (signatureCombo->itemText(i) == fileName) {
                index = i;
                break;
            }
        }
    }
    signatureCombo->setCurrentIndex(index);
}

QString TMagzineDlg::chosenSignature() const
{
    return signatureCombo->currentIndex() > 0 ? signatureCombo->currentText() : QString();
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
    nameEdit->setText(m.name);
    ownerEdit->setText(m.owner);
    addressEdit->setText(m.adrs);
    salutationEdit->setText(m.atena);
    for (int i = 0; i < 7; ++i)
        fieldEdit(int(MagazineEntry::Field::FieldName1) + i)->setText(m.fieldNames[size_t(i)]);
    individualCheck->setChecked(m.useUserName);
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
    m.name = nameEdit->text();
    m.owner = ownerEdit->text();
    m.adrs = addressEdit->text();
    m.atena = salutationEdit->text();
    m.sign = chosenSignature();
    for (int i = 0; i < 7; ++i)
        m.fieldNames[size_t(i)] = fieldEdit(int(MagazineEntry::Field::FieldName1) + i)->text();
    m.useUserName = individualCheck->isChecked();
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

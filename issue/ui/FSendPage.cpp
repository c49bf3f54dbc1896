#include "issue/ui/FSendPage.h"

#include "issue/ui/FHistDlg.h"
#include "issue/ui/FSQLEditDlg.h"
#include "issue/ui/RadioGroup.h"
#include "issue/UIssue.h"
#include "issue/UUnmappable.h"
#include "members/CurrentMagazine.h"
#include "members/ui/MagazineGuard.h"
#include "members/UMagazineChoice.h"
#include "members/UMemberRecord.h"
#include "widgets/Command.h"
#include "widgets/MessageBox.h"
#include "widgets/WaitCursor.h"

#include <QButtonGroup>
#include <QCheckBox>
#include <QDateEdit>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QPushButton>
#include <QRadioButton>
#include <QScrollArea>
#include <QSpinBox>
#include <QVBoxLayout>

#include <climits>
#include <optional>

namespace {

const QString wholeDateFormat = QStringLiteral("yyyy'年'M'月'd'日'");
const QString monthDayFormat = QStringLiteral("M'月'd'日'");

} // namespace

TSendPage::TSendPage(const CurrentMagazine &magazine, const QString &dataDir, QWidget *parent)
    : QWidget(parent), m_magazine(magazine), m_dataDir(dataDir)
{
    // The page scrolls rather than forcing its width on the window and the magazine pane.
    auto *outer = new QVBoxLayout(this);
    outer->setContentsMargins(0, 0, 0, 0);
    auto *scroll = new QScrollArea(this);
    scroll->setObjectName(QStringLiteral("ScrollBox1"));
    scroll->setFrameShape(QFrame::NoFrame);
    scroll->setWidgetResizable(true);
    outer->addWidget(scroll);
    auto *content = new QWidget(scroll);
    auto *layout = new QVBoxLayout(content);

    conditionGroup = new TRadioGroup(QStringLiteral("送信条件"), 2, this);
    conditionGroup->setObjectName(QStringLiteral("RadioGroup3"));
    conditionGroup->setItems(SendCondition::Items());
    conditionGroup->setItemIndex(0);
    layout->addWidget(conditionGroup);

    fieldGroup = new TRadioGroup(QStringLiteral("フラグの選択"), 3, this);
    fieldGroup->setObjectName(QStringLiteral("RadioGroup1"));
    layout->addWidget(fieldGroup);

    auto *inputs = new QGridLayout;
    dateLabel = new QLabel(QStringLiteral("指定日"), this);
    dateLabel->setObjectName(QStringLiteral("Label7"));
    datePicker = new QDateEdit(QDate::currentDate(), this);
    datePicker->setObjectName(QStringLiteral("DateTimePicker1"));
    datePicker->setCalendarPopup(true);
    datePicker->setDisplayFormat(wholeDateFormat);
    wholeDateRadio = new QRadioButton(QStringLiteral("年月日"), this);
    wholeDateRadio->setObjectName(QStringLiteral("RadioButton1"));
    monthDayRadio = new QRadioButton(QStringLiteral("月日"), this);
    monthDayRadio->setObjectName(QStringLiteral("RadioButton2"));
    auto *dateParts = new QButtonGroup(this);
    dateParts->addButton(wholeDateRadio, 1);
    dateParts->addButton(monthDayRadio, 2);
    wholeDateRadio->setChecked(true);
    valueLabel = new QLabel(QStringLiteral("発行番号"), this);
    valueLabel->setObjectName(QStringLiteral("Label6"));
    valueSpin = new QSpinBox(this);
    valueSpin->setObjectName(QStringLiteral("NumberSpin1"));
    valueSpin->setRange(INT_MIN, INT_MAX);
    valueSpin->setSingleStep(1);
    valueSpin->setMinimumWidth(100);
    detailsButton = new QPushButton(QStringLiteral("詳細設定..."), this);
    detailsButton->setObjectName(QStringLiteral("Button2"));
    inputs->addWidget(dateLabel, 0, 0);
    inputs->addWidget(datePicker, 0, 1);
    inputs->addWidget(wholeDateRadio, 0, 2);
    inputs->addWidget(monthDayRadio, 0, 3);
    inputs->addWidget(valueLabel, 1, 0);
    inputs->addWidget(valueSpin, 1, 1);
    inputs->addWidget(detailsButton, 2, 0, 1, 2, Qt::AlignLeft);
    inputs->setColumnStretch(4, 1);
    layout->addLayout(inputs);

    auto *after = new QGroupBox(this);
    after->setObjectName(QStringLiteral("GroupBox1"));
    auto *afterLayout = new QGridLayout(after);
    afterSendLabel = new QLabel(QStringLiteral("送信後フラグを更新"), after);
    afterSendLabel->setObjectName(QStringLiteral("Label2"));
    QFont bold = afterSendLabel->font();
    bold.setBold(true);
    afterSendLabel->setFont(bold);
    afterLayout->addWidget(afterSendLabel, 0, 0, 1, 3);
    const char16_t *design[7] = {u"フラグ１をON", u"フラグ２をON", u"フラグ３をON", u"カウンタ１を加算",
                                 u"カウンタ２を加算", u"日付１を今日の日付", u"日付２を今日の日付"};
    // flags on the first row, counters on the second, dates on the third
    const int rowOf[7] = {1, 1, 1, 2, 2, 3, 3};
    const int colOf[7] = {0, 1, 2, 0, 1, 0, 1};
    for (size_t i = 0; i < 7; ++i) {
        CheckBoxes[i] = new QCheckBox(QString::fromUtf16(design[i]), after);
        CheckBoxes[i]->setObjectName(QStringLiteral("CheckBox%1").arg(i + 1));
        afterLayout->addWidget(CheckBoxes[i], rowOf[i], colOf[i]);
    }
    layout->addWidget(after);

    auto *buttons = new QHBoxLayout;
    showTargetsButton = new QPushButton(QStringLiteral("対象者表示..."), this);
    showTargetsButton->setObjectName(QStringLiteral("Button4"));
    sendButton = new QPushButton(QStringLiteral("メール送信"), this);
    sendButton->setObjectName(QStringLiteral("Button1"));
    buttons->addStretch();
    buttons->addWidget(showTargetsButton);
    buttons->addWidget(sendButton);
    layout->addLayout(buttons);
    layout->addStretch();
    scroll->setWidget(content);

    connect(conditionGroup, &TRadioGroup::clicked, this, &TSendPage::RadioGroup3Click);
    connect(dateParts, &QButtonGroup::idToggled, this, [this](int id, bool on) {
        if (on)
            RadioButton1Click(id);
    });
    connect(sendButton, &QPushButton::clicked, this, &TSendPage::Button1Click);
    connect(detailsButton, &QPushButton::clicked, this, &TSendPage::Button2Click);
    connect(showTargetsButton, &QPushButton::clicked, this, &TSendPage::Button4Click);
    // The captions name the fields of the magazine shown; with none selected they stay.
    connect(&m_magazine, &CurrentMagazine::changed, this, [this] {
        if (m_magazine.isChosen())
            SetAfterSendCaptions(AfterSendCaptions(m_magazine.MagFieldNames()));
    });

    RadioGroup3Click(0);
}

void TSendPage::SetAfterSendCaptions(const std::array<QString, 7> &captions)
{
    for (size_t i = 0; i < 7; ++i) {
        CheckBoxes[i]->setText(captions[i]);
        CheckBoxes[i]->setToolTip(captions[i]);
    }
}

SendInputs TSendPage::inputs() const
{
    SendInputs in;
    in.condition = conditionGroup->itemIndex();
    in.magIdx = m_magazine.CurMagIdx();
    in.fieldItem = fieldGroup->itemIndex();
    in.date = datePicker->date();
    in.wholeDate = wholeDateRadio->isChecked();
    in.value = valueSpin->value();
    in.fieldNames = m_magazine.MagFieldNames();
    in.customSql = CustomCondSql;
    in.customText = CustomCondText;
    return in;
}

std::array<bool, 7> TSendPage::afterSendUpdates() const
{
    std::array<bool, 7> out{};
    for (size_t i = 0; i < 7; ++i)
        out[i] = CheckBoxes[i]->isChecked();
    return out;
}

SendConditionText TSendPage::BuildSendCondition() const
{
    return ::BuildSendCondition(inputs());
}

bool TSendPage::CheckSendSettings(bool withText)
{
    SendCheckInputs in;
    in.smtpHost = m_hooks.smtpHost ? m_hooks.smtpHost() : QString();
    in.magIdx = m_magazine.CurMagIdx();
    in.withText = withText;
    in.subject = m_hooks.subject ? m_hooks.subject() : QString();
    in.body = m_hooks.body ? m_hooks.body() : QString();
    in.condition = conditionGroup->itemIndex();
    in.fieldItem = fieldGroup->itemIndex();
    in.customSql = CustomCondSql;
    const SendCheck r = ::CheckSendSettings(in);
    if (r.ok)
        return true;
    MessageBox::warning(window(), r.message);
    using Focus = SendCheck::Focus;
    switch (r.focus) {
    case Focus::Subject:
    case Focus::Body:
        if (m_hooks.showComposer)
            m_hooks.showComposer(r.focus == Focus::Subject);
        break;
    case Focus::FieldGroup:
    case Focus::ConditionEditor:
        if (m_hooks.showPage)
            m_hooks.showPage();
        if (r.focus == Focus::FieldGroup) {
            if (auto *b = fieldGroup->button(0))
                b->setFocus();
            else
                fieldGroup->setFocus();
        } else {
            detailsButton->setFocus();
        }
        break;
    case Focus::None: break;
    }
    return false;
}

void TSendPage::RadioGroup3Click(int index)
{
    // Every condition but "all" needs the magazine's fields: fall back to "all" first.
    if (index != 0 && !MagazineChoice::isChosen(m_magazine.CurMagIdx())) {
        conditionGroup->setItemIndex(0);
        index = 0;
        MessageBox::warning(window(), MagazineChoice::missingText());
    }
    using namespace SendCondition;
    const auto &n = m_magazine.MagFieldNames();
    bool group = false, date = false, number = false, wholeShown = false, monthDayShown = false, editor = false;
    switch (index) {
    case AddedSince:
    case AddedBefore:
        date = true;
        wholeShown = true;
        wholeDateRadio->setChecked(true);
        break;
    case FlagOn:
    case FlagOff:
        group = true;
        fieldGroup->setTitle(QStringLiteral("フラグの選択"));
        fieldGroup->setItems({n[0], n[1], n[2]});
        break;
    case SentIssue:
    case NotSentIssue:
        number = true;
        valueLabel->setText(QStringLiteral("発行番号"));
        break;
    case CountAtLeast:
    case CountAtMost:
    case CountEquals:
        group = true;
        fieldGroup->setTitle(QStringLiteral("カウンタの選択"));
        fieldGroup->setItems({n[3], n[4]});
        number = true;
        valueLabel->setText(QStringLiteral("カウンタ値"));
        break;
    case DateSince:
    case DateBefore:
        group = true;
        fieldGroup->setTitle(QStringLiteral("日付の選択"));
        fieldGroup->setItems({n[5], n[6]});
        date = true;
        wholeDateRadio->setChecked(true);
        break;
    case DateOn:
        group = true;
        fieldGroup->setTitle(QStringLiteral("日付の選択"));
        fieldGroup->setItems({n[5], n[6]});
        date = true;
        wholeShown = true;
        monthDayShown = true;
        break;
    case Custom: editor = true; break;
    default: break;
    }
    fieldGroup->setVisible(group);
    dateLabel->setVisible(date);
    datePicker->setVisible(date);
    valueLabel->setVisible(number);
    valueSpin->setVisible(number);
    wholeDateRadio->setVisible(wholeShown);
    monthDayRadio->setVisible(monthDayShown);
    detailsButton->setVisible(editor);
}

void TSendPage::RadioButton1Click(int tag)
{
    datePicker->setDisplayFormat(tag == 1 ? wholeDateFormat : monthDayFormat);
}

void TSendPage::Button4Click()
{
    if (!RequireMagazine(window(), m_magazine.CurMagIdx()))
        return;
    if (!CheckSendSettings(false))
        return;
    const SendConditionText cond = BuildSendCondition();
    THistDlg dlg(window());
    dlg.ListMode = THistDlg::Mode::Targets;
    dlg.ListMagIdx = m_magazine.CurMagIdx();
    dlg.ListWhere = cond.where;
    bool filled = false;
    Command::run(window(), [&] {
        WaitCursor wait;
        dlg.FormShow();
        filled = true;
    });
    if (filled)
        dlg.exec();
}

void TSendPage::Button2Click()
{
    TSQLEditDlg dlg(m_dataDir, window());
    dlg.FieldNames = m_magazine.MagFieldNames();
    dlg.ConditionSql = CustomCondText;
    if (dlg.exec() != QDialog::Accepted)
        return;
    CustomCondSql = dlg.ConditionSql;
    CustomCondText = dlg.conditionText();
}

bool TSendPage::DispatchIssue()
{
    IssueDraft draft;
    draft.inputs = inputs();
    draft.title = m_hooks.subject ? m_hooks.subject() : QString();
    draft.body = m_hooks.body ? m_hooks.body() : QString();
    draft.updates = afterSendUpdates();
    draft.now = clock();
    int magCnt = 0;
    Command::run(window(), [&] {
        std::optional<WaitCursor> wait(std::in_place);
        magCnt = ::DispatchIssue(draft, [&](int magIdx, int cnt, int recipients) {
            wait.reset();
            if (m_hooks.issueCreated)
                m_hooks.issueCreated(magIdx, cnt, recipients);
        });
    });
    return magCnt > 0;
}

bool TSendPage::ConfirmUnmappable()
{
    MailTexts texts;
    texts.subject = m_hooks.subject ? m_hooks.subject() : QString();
    texts.body = m_hooks.body ? m_hooks.body() : QString();
    if (!Command::run(window(), [&] { ReadMagazineTexts(m_magazine.CurMagIdx(), &texts); }))
        return false;
    int total = 0;
    const QList<UnmappableChar> found = FindUnmappable(texts, 10, &total);
    if (found.isEmpty())
        return true;
    if (MessageBox::confirm(window(), UnmappableQuestion(found, total), MessageBox::Buttons::YesNo)
        == MessageBox::Answer::Yes)
        return true;
    // back to where the first one can be changed
    const QString &field = found.first().field;
    if (m_hooks.showComposer && (field == QStringLiteral("件名") || field == QStringLiteral("本文")))
        m_hooks.showComposer(field == QStringLiteral("件名"));
    return false;
}

void TSendPage::Button1Click()
{
    if (!CheckSendSettings(true))
        return;
    if (!ConfirmUnmappable())
        return;
    const SendConditionText cond = BuildSendCondition();
    if (MessageBox::confirm(window(), cond.text + QStringLiteral("\r\n上記の条件でメールを送信します。よろしいですか？"),
                            MessageBox::Buttons::YesNoCancel)
        != MessageBox::Answer::Yes)
        return;
    DispatchIssue();
}

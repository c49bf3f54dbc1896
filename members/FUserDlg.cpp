#include "members/FUserDlg.h"

#include "members/UAddress.h"
#include "store/Database.h"
#include "widgets/Command.h"
#include "widgets/MessageBox.h"

#include <QAction>
#include <QApplication>
#include <QCalendarWidget>
#include <QCheckBox>
#include <QClipboard>
#include <QDateEdit>
#include <QDragEnterEvent>
#include <QDropEvent>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QMimeData>
#include <QPushButton>
#include <QVBoxLayout>

#include <algorithm>
#include <climits>

namespace {

const QDate kNoDate(1752, 9, 14);

QString yyyymmdd(const QDate &d)
{
    return d.toString(QStringLiteral("yyyyMMdd"));
}

std::optional<QDate> parseStoredDate(const QString &text)
{
    if (text.size() != 8)
        return std::nullopt;
    for (QChar c : text)
        if (c < QLatin1Char('0') || c > QLatin1Char('9'))
            return std::nullopt;
    const QDate d = QDate::fromString(text, QStringLiteral("yyyyMMdd"));
    if (!d.isValid() || d <= kNoDate)
        return std::nullopt;
    return d;
}

QDateEdit *datePicker(QWidget *parent, const char *name)
{
    auto *p = new QDateEdit(parent);
    p->setObjectName(QLatin1String(name));
    p->setLocale(QLocale(QLocale::Japanese, QLocale::Japan));
    p->setDisplayFormat(QStringLiteral("yyyy年M月d日"));
    p->setCalendarPopup(true);
    p->setMinimumDate(kNoDate);
    p->setDate(QDate::currentDate());
    return p;
}

} // namespace

NumberSpin::NumberSpin(QWidget *parent) : QSpinBox(parent)
{
    setRange(0, INT_MAX);
    setSingleStep(1);
    setGroupSeparatorShown(true);
    setAlignment(Qt::AlignRight);
}

void NumberSpin::keyPressEvent(QKeyEvent *event)
{
    if (event->key() == Qt::Key_PageUp || event->key() == Qt::Key_PageDown) {
        const qint64 next = qint64(value()) + (event->key() == Qt::Key_PageUp ? fastStep : -fastStep);
        setValue(int(std::clamp<qint64>(next, minimum(), maximum())));
        event->accept();
        return;
    }
    QSpinBox::keyPressEvent(event);
}

TUserDlg::TUserDlg(QWidget *parent) : QDialog(parent)
{
    setObjectName(QStringLiteral("UserDlg"));
    setWindowTitle(QStringLiteral("ユーザ管理"));
    setModal(true);
    setAcceptDrops(true);

    Edit1 = new QLineEdit(this);
    Edit1->setObjectName(QStringLiteral("Edit1"));
    Edit2 = new QLineEdit(this);
    Edit2->setObjectName(QStringLiteral("Edit2"));
    Edit2->setInputMethodHints(Qt::ImhLatinOnly | Qt::ImhNoPredictiveText);
    Edit3 = new QLineEdit(this);
    Edit3->setObjectName(QStringLiteral("Edit3"));
    Edit3->setInputMethodHints(Qt::ImhLatinOnly | Qt::ImhNoPredictiveText);
    for (QLineEdit *e : {Edit1, Edit2, Edit3}) {
        // Text dropped anywhere on the dialog, fields included, is read as a name or address.
        e->setAcceptDrops(false);
        // An imported value may be longer than a line edit takes by default; opening and
        // saving the member must not cut it.
        e->setMaxLength(INT_MAX);
    }

    CheckBox2 = new QCheckBox(QStringLiteral("フラグ１"), this);
    CheckBox2->setObjectName(QStringLiteral("CheckBox2"));
    CheckBox3 = new QCheckBox(QStringLiteral("フラグ２"), this);
    CheckBox3->setObjectName(QStringLiteral("CheckBox3"));
    CheckBox4 = new QCheckBox(QStringLiteral("フラグ３"), this);
    CheckBox4->setObjectName(QStringLiteral("CheckBox4"));
    Label3 = new QLabel(QStringLiteral("数字１"), this);
    Label3->setObjectName(QStringLiteral("Label3"));
    Label4 = new QLabel(QStringLiteral("数字２"), this);
    Label4->setObjectName(QStringLiteral("Label4"));
    NumberSpin1 = new NumberSpin(this);
    NumberSpin1->setObjectName(QStringLiteral("NumberSpin1"));
    NumberSpin2 = new NumberSpin(this);
    NumberSpin2->setObjectName(QStringLiteral("NumberSpin2"));
    Label5 = new QLabel(QStringLiteral("日付１"), this);
    Label5->setObjectName(QStringLiteral("Label5"));
    Label6 = new QLabel(QStringLiteral("日付２"), this);
    Label6->setObjectName(QStringLiteral("Label6"));
    DateTimePicker1 = datePicker(this, "DateTimePicker1");
    DateTimePicker2 = datePicker(this, "DateTimePicker2");
    for (QDateEdit *p : {DateTimePicker1, DateTimePicker2})
        p->calendarWidget()->installEventFilter(this);
    connect(DateTimePicker1, &QDateEdit::dateChanged, this, [this](const QDate &d) {
        if (d != kNoDate) {
            m_keepStored[0] = false;
            DateTimePicker1->setSpecialValueText(QString());
        }
    });
    connect(DateTimePicker2, &QDateEdit::dateChanged, this, [this](const QDate &d) {
        if (d != kNoDate) {
            m_keepStored[1] = false;
            DateTimePicker2->setSpecialValueText(QString());
        }
    });
    CheckBox1 = new QCheckBox(QStringLiteral("配信停止"), this);
    CheckBox1->setObjectName(QStringLiteral("CheckBox1"));
    Button1 = new QPushButton(QStringLiteral("OK"), this);
    Button1->setObjectName(QStringLiteral("Button1"));
    Button1->setDefault(true);
    Button2 = new QPushButton(QStringLiteral("キャンセル"), this);
    Button2->setObjectName(QStringLiteral("Button2"));
    connect(Button1, &QPushButton::clicked, this, &TUserDlg::Button1Click);
    connect(Button2, &QPushButton::clicked, this, &QDialog::reject);

    PopupMenu1 = new QMenu(this);
    PopupMenu1->setObjectName(QStringLiteral("PopupMenu1"));
    QAction *paste = PopupMenu1->addAction(QStringLiteral("貼り付け"));
    paste->setObjectName(QStringLiteral("Paste1"));
    paste->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_V));
    paste->setShortcutContext(Qt::WindowShortcut);
    addAction(paste);
    connect(paste, &QAction::triggered, this, &TUserDlg::Paste1Click);
    setContextMenuPolicy(Qt::CustomContextMenu);
    connect(this, &QWidget::customContextMenuRequested, this,
            [this](const QPoint &pos) { PopupMenu1->popup(mapToGlobal(pos)); });

    auto *grid = new QGridLayout;
    int row = 0;
    grid->addWidget(new QLabel(QStringLiteral("名前"), this), row, 0);
    grid->addWidget(Edit1, row++, 1, 1, 3);
    grid->addWidget(new QLabel(QStringLiteral("アドレス"), this), row, 0);
    grid->addWidget(Edit2, row++, 1, 1, 3);
    grid->addWidget(new QLabel(QStringLiteral("url"), this), row, 0);
    grid->addWidget(Edit3, row++, 1, 1, 3);
    grid->addWidget(CheckBox2, row, 1);
    grid->addWidget(CheckBox3, row, 2);
    grid->addWidget(CheckBox4, row++, 3);
    grid->addWidget(Label3, row, 0);
    grid->addWidget(NumberSpin1, row, 1);
    grid->addWidget(Label4, row, 2);
    grid->addWidget(NumberSpin2, row++, 3);
    grid->addWidget(Label5, row, 0);
    grid->addWidget(DateTimePicker1, row, 1);
    grid->addWidget(Label6, row, 2);
    grid->addWidget(DateTimePicker2, row++, 3);
    grid->addWidget(CheckBox1, row++, 1);
    auto *buttons = new QHBoxLayout;
    buttons->addStretch(1);
    buttons->addWidget(Button1);
    buttons->addWidget(Button2);
    auto *layout = new QVBoxLayout(this);
    layout->addLayout(grid);
    layout->addLayout(buttons);

    setTabOrder(Edit1, Edit2);
    setTabOrder(Edit2, Edit3);
    setTabOrder(Edit3, CheckBox2);
    setTabOrder(CheckBox2, CheckBox3);
    setTabOrder(CheckBox3, CheckBox4);
    setTabOrder(CheckBox4, NumberSpin1);
    setTabOrder(NumberSpin1, NumberSpin2);
    setTabOrder(NumberSpin2, DateTimePicker1);
    setTabOrder(DateTimePicker1, DateTimePicker2);
    setTabOrder(DateTimePicker2, CheckBox1);
    setTabOrder(CheckBox1, Button1);
    setTabOrder(Button1, Button2);
}

void TUserDlg::setFieldNames(const std::array<QString, 7> &names, bool withHints)
{
    CheckBox2->setText(names[0]);
    CheckBox3->setText(names[1]);
    CheckBox4->setText(names[2]);
    Label3->setText(names[3]);
    Label4->setText(names[4]);
    Label5->setText(names[5]);
    Label6->setText(names[6]);
    if (!withHints)
        return;
    QWidget *fields[7] = {CheckBox2, CheckBox3, CheckBox4, NumberSpin1, NumberSpin2, DateTimePicker1, DateTimePicker2};
    for (int i = 0; i < 7; ++i)
        fields[i]->setToolTip(names[size_t(i)]);
}

void TUserDlg::showEvent(QShowEvent *event)
{
    if (!m_shown)
        FormShow();
    QDialog::showEvent(event);
}

void TUserDlg::setDate(int which, const std::optional<QString> &stored)
{
    QDateEdit *picker = which == 0 ? DateTimePicker1 : DateTimePicker2;
    const std::optional<QDate> d = stored ? parseStoredDate(*stored) : std::nullopt;
    if (d) {
        m_keepStored[size_t(which)] = false;
        picker->setSpecialValueText(QString());
        picker->setDate(*d);
        return;
    }
    // Not a day: show the stored text as it is (a NULL shows blank) and keep it.
    m_storedDate[size_t(which)] = stored;
    const QString shown = stored.value_or(QString());
    picker->setSpecialValueText(shown.isEmpty() ? QStringLiteral(" ") : shown);
    picker->setDate(kNoDate);
    m_keepStored[size_t(which)] = true;
}

std::optional<QString> TUserDlg::dateValue(int which) const
{
    if (m_keepStored[size_t(which)])
        return m_storedDate[size_t(which)];
    const QDateEdit *picker = which == 0 ? DateTimePicker1 : DateTimePicker2;
    return yyyymmdd(picker->date());
}

bool TUserDlg::eventFilter(QObject *watched, QEvent *event)
{
    // A picker that shows a stored text opens its calendar on today, not on its blank day.
    if (event->type() == QEvent::Show) {
        for (QDateEdit *p : {DateTimePicker1, DateTimePicker2}) {
            if (watched == p->calendarWidget() && p->date() == kNoDate) {
                const QDate today = QDate::currentDate();
                p->calendarWidget()->setCurrentPage(today.year(), today.month());
            }
        }
    }
    return QDialog::eventFilter(watched, event);
}

void TUserDlg::FormShow()
{
    m_shown = true;
    if (UserIdx == -1) {
        CheckBox1->setChecked(false);
        CheckBox2->setChecked(false);
        CheckBox3->setChecked(false);
        CheckBox4->setChecked(false);
        NumberSpin1->setValue(0);
        NumberSpin2->setValue(0);
        m_keepStored = {false, false};
        DateTimePicker1->setDate(QDate::currentDate());
        DateTimePicker2->setDate(QDate::currentDate());
        return;
    }
    Command::run(this, [this] {
        const auto m = MemberSql::load(MagIdx, UserIdx);
        if (!m)
            return;
        Edit1->setText(m->name);
        Edit2->setText(m->address);
        Edit3->setText(m->url);
        CheckBox1->setChecked(m->sleep);
        CheckBox2->setChecked(m->flags[0]);
        CheckBox3->setChecked(m->flags[1]);
        CheckBox4->setChecked(m->flags[2]);
        // A counter stored outside the field's range shows at the nearest limit.
        NumberSpin1->setValue(int(std::clamp<qint64>(m->counts[0], 0, INT_MAX)));
        NumberSpin2->setValue(int(std::clamp<qint64>(m->counts[1], 0, INT_MAX)));
        setDate(0, m->date1);
        setDate(1, m->date2);
        m_addDate = m->addDate;
    });
}

MemberRecord TUserDlg::record() const
{
    MemberRecord m;
    m.magIdx = MagIdx;
    m.userIdx = UserIdx;
    m.name = Edit1->text();
    m.address = Edit2->text();
    m.url = Edit3->text();
    m.sleep = CheckBox1->isChecked();
    m.flags = {CheckBox2->isChecked(), CheckBox3->isChecked(), CheckBox4->isChecked()};
    m.counts = {NumberSpin1->value(), NumberSpin2->value()};
    m.date1 = dateValue(0);
    m.date2 = dateValue(1);
    m.addDate = m_addDate;
    return m;
}

void TUserDlg::Button1Click()
{
    const QString address = Edit2->text();
    if (address.isEmpty()) {
        MessageBox::warning(this, QStringLiteral("メールアドレスが未入力です。"));
        return;
    }
    if (!IsValidAddress(address) || !IsSingleByteText(address)) {
        MessageBox::warning(this, QStringLiteral("メールアドレスが間違っています。確認してください。"));
        return;
    }
    bool declined = false;
    const bool saved = Command::run(this, [this, &declined] {
        MemberRecord m = record();
        if (UserIdx != -1) {
            MemberSql::update(m);
            return;
        }
        if (MemberSql::countAddress(MagIdx, m.address) > 0
            && MessageBox::confirm(this, QStringLiteral("同じメールアドレスが登録されています。追加しますか？"),
                                   MessageBox::Buttons::YesNoCancel)
                   != MessageBox::Answer::Yes) {
            declined = true;
            return;
        }
        m.addDate = yyyymmdd(QDate::currentDate());
        m.userIdx = int(MemberSql::maxUserIdx(MagIdx) + 1);
        MemberSql::insert(m);
        UserIdx = m.userIdx;
        m_addDate = m.addDate;
    });
    if (!saved || declined)
        return;
    m_sleepValue = CheckBox1->isChecked() ? 1 : 0;
    accept();
}

void TUserDlg::Paste1Click()
{
    const QMimeData *data = QApplication::clipboard()->mimeData();
    if (!data || !data->hasText())
        return;
    const QString text = data->text();
    if (text.startsWith(QLatin1String("http://"))) {
        Edit3->setText(text);
        return;
    }
    const AddressText parsed = ParseAddressText(text);
    if (!parsed.name.isEmpty())
        Edit1->setText(parsed.name);
    if (!parsed.address.isEmpty())
        Edit2->setText(parsed.address);
}

void TUserDlg::dropText(const QString &text)
{
    const AddressText parsed = ParseAddressText(text);
    if (!parsed.name.isEmpty())
        Edit1->setText(parsed.name);
    if (!parsed.address.isEmpty())
        Edit2->setText(parsed.address);
    activateWindow();
    raise();
}

void TUserDlg::dragEnterEvent(QDragEnterEvent *event)
{
    if (event->mimeData()->hasText())
        event->acceptProposedAction();
}

void TUserDlg::dropEvent(QDropEvent *event)
{
    if (!event->mimeData()->hasText())
        return;
    event->acceptProposedAction();
    dropText(event->mimeData()->text());
}

#include "members/ui/FUserDlg.h"

#include "members/MemberEntry.h"
#include "members/UAddress.h"
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
#include <utility>

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

// A child widget with its object name; the arguments before the parent go to its constructor.
template <class W, class... Args>
W *named(QWidget *parent, const char *name, Args &&...args)
{
    auto *w = new W(std::forward<Args>(args)..., parent);
    w->setObjectName(QLatin1String(name));
    return w;
}

QDateEdit *datePicker(QWidget *parent, const char *name)
{
    auto *p = named<QDateEdit>(parent, name);
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

TUserDlg::TUserDlg(QWidget *parent) : FormDialog(parent), m_record(MemberEntry::blank(-1))
{
    setObjectName(QStringLiteral("UserDlg"));
    setWindowTitle(QStringLiteral("ユーザ管理"));
    setModal(true);
    setAcceptDrops(true);

    nameEdit = named<QLineEdit>(this, "Edit1");
    addressEdit = named<QLineEdit>(this, "Edit2");
    urlEdit = named<QLineEdit>(this, "Edit3");
    for (QLineEdit *e : {nameEdit, addressEdit, urlEdit}) {
        // Text dropped anywhere on the dialog, fields included, is read as a name or address.
        e->setAcceptDrops(false);
        // An imported value may be longer than a line edit takes by default; opening and
        // saving the member must not cut it.
        e->setMaxLength(INT_MAX);
    }
    for (QLineEdit *e : {addressEdit, urlEdit})
        e->setInputMethodHints(Qt::ImhLatinOnly | Qt::ImhNoPredictiveText);
    flag1Check = named<QCheckBox>(this, "CheckBox2", QStringLiteral("フラグ１"));
    flag2Check = named<QCheckBox>(this, "CheckBox3", QStringLiteral("フラグ２"));
    flag3Check = named<QCheckBox>(this, "CheckBox4", QStringLiteral("フラグ３"));
    count1Label = named<QLabel>(this, "Label3", QStringLiteral("数字１"));
    count2Label = named<QLabel>(this, "Label4", QStringLiteral("数字２"));
    count1Spin = named<NumberSpin>(this, "NumberSpin1");
    count2Spin = named<NumberSpin>(this, "NumberSpin2");
    date1Label = named<QLabel>(this, "Label5", QStringLiteral("日付１"));
    date2Label = named<QLabel>(this, "Label6", QStringLiteral("日付２"));
    date1Picker = datePicker(this, "DateTimePicker1");
    date2Picker = datePicker(this, "DateTimePicker2");
    for (int which : {0, 1}) {
        QDateEdit *picker = which == 0 ? date1Picker : date2Picker;
        picker->calendarWidget()->installEventFilter(this);
        // Picking a day replaces a stored text that is no day.
        connect(picker, &QDateEdit::dateChanged, this, [this, picker, which](const QDate &d) {
            if (d != kNoDate) {
                m_keepStored[size_t(which)] = false;
                picker->setSpecialValueText(QString());
            }
        });
    }
    sleepCheck = named<QCheckBox>(this, "CheckBox1", QStringLiteral("配信停止"));
    okButton = named<QPushButton>(this, "Button1", QStringLiteral("OK"));
    okButton->setDefault(true);
    cancelButton = named<QPushButton>(this, "Button2", QStringLiteral("キャンセル"));
    connect(okButton, &QPushButton::clicked, this, &TUserDlg::Button1Click);
    connect(cancelButton, &QPushButton::clicked, this, &QDialog::reject);

    pasteMenu = named<QMenu>(this, "PopupMenu1");
    QAction *paste = pasteMenu->addAction(QStringLiteral("貼り付け"));
    paste->setObjectName(QStringLiteral("Paste1"));
    paste->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_V));
    paste->setShortcutContext(Qt::WindowShortcut);
    addAction(paste);
    connect(paste, &QAction::triggered, this, &TUserDlg::Paste1Click);
    setContextMenuPolicy(Qt::CustomContextMenu);
    connect(this, &QWidget::customContextMenuRequested, this,
            [this](const QPoint &pos) { pasteMenu->popup(mapToGlobal(pos)); });

    layOut();
}

void TUserDlg::layOut()
{
    auto *grid = new QGridLayout;
    const QString captions[3] = {QStringLiteral("名前"), QStringLiteral("アドレス"), QStringLiteral("url")};
    QLineEdit *edits[3] = {nameEdit, addressEdit, urlEdit};
    for (int row = 0; row < 3; ++row) {
        grid->addWidget(new QLabel(captions[row], this), row, 0);
        grid->addWidget(edits[row], row, 1, 1, 3);
    }
    // Four columns from row 3 on: a caption and its field, twice.
    const QList<QList<QWidget *>> rows = {{nullptr, flag1Check, flag2Check, flag3Check},
                                          {count1Label, count1Spin, count2Label, count2Spin},
                                          {date1Label, date1Picker, date2Label, date2Picker},
                                          {nullptr, sleepCheck}};
    for (int r = 0; r < rows.size(); ++r)
        for (int c = 0; c < rows[r].size(); ++c)
            if (rows[r][c])
                grid->addWidget(rows[r][c], 3 + r, c);
    auto *buttons = new QHBoxLayout;
    buttons->addStretch(1);
    buttons->addWidget(okButton);
    buttons->addWidget(cancelButton);
    auto *layout = new QVBoxLayout(this);
    layout->addLayout(grid);
    layout->addLayout(buttons);

    QWidget *const order[] = {nameEdit,   addressEdit, urlEdit,     flag1Check, flag2Check, flag3Check,  count1Spin,
                              count2Spin, date1Picker, date2Picker, sleepCheck, okButton,   cancelButton};
    for (size_t i = 1; i < std::size(order); ++i)
        setTabOrder(order[i - 1], order[i]);
}

void TUserDlg::setFieldNames(const std::array<QString, 7> &names, bool withHints)
{
    flag1Check->setText(names[0]);
    flag2Check->setText(names[1]);
    flag3Check->setText(names[2]);
    count1Label->setText(names[3]);
    count2Label->setText(names[4]);
    date1Label->setText(names[5]);
    date2Label->setText(names[6]);
    if (!withHints)
        return;
    QWidget *fields[7] = {flag1Check, flag2Check, flag3Check, count1Spin, count2Spin, date1Picker, date2Picker};
    for (int i = 0; i < 7; ++i)
        fields[i]->setToolTip(names[size_t(i)]);
}

void TUserDlg::setDate(int which, const std::optional<QString> &stored)
{
    QDateEdit *picker = which == 0 ? date1Picker : date2Picker;
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
    const QDateEdit *picker = which == 0 ? date1Picker : date2Picker;
    return yyyymmdd(picker->date());
}

bool TUserDlg::eventFilter(QObject *watched, QEvent *event)
{
    // A picker that shows a stored text opens its calendar on today, not on its blank day.
    if (event->type() == QEvent::Show) {
        for (QDateEdit *p : {date1Picker, date2Picker}) {
            if (watched == p->calendarWidget() && p->date() == kNoDate) {
                const QDate today = QDate::currentDate();
                p->calendarWidget()->setCurrentPage(today.year(), today.month());
            }
        }
    }
    return QDialog::eventFilter(watched, event);
}

void TUserDlg::setRecord(const MemberRecord &m)
{
    m_record = m;
}

void TUserDlg::setSave(std::function<void(MemberRecord &)> save)
{
    m_save = std::move(save);
}

void TUserDlg::fillForm()
{
    const MemberRecord &m = m_record;
    nameEdit->setText(m.name);
    addressEdit->setText(m.address);
    urlEdit->setText(m.url);
    sleepCheck->setChecked(m.sleep);
    flag1Check->setChecked(m.flags[0]);
    flag2Check->setChecked(m.flags[1]);
    flag3Check->setChecked(m.flags[2]);
    // A counter stored outside the field's range shows at the nearest limit.
    count1Spin->setValue(int(std::clamp<qint64>(m.counts[0], 0, INT_MAX)));
    count2Spin->setValue(int(std::clamp<qint64>(m.counts[1], 0, INT_MAX)));
    setDate(0, m.date1);
    setDate(1, m.date2);
}

MemberRecord TUserDlg::record() const
{
    MemberRecord m;
    m.magIdx = m_record.magIdx;
    m.userIdx = m_record.userIdx;
    m.name = nameEdit->text();
    m.address = addressEdit->text();
    m.url = urlEdit->text();
    m.sleep = sleepCheck->isChecked();
    m.flags = {flag1Check->isChecked(), flag2Check->isChecked(), flag3Check->isChecked()};
    m.counts = {count1Spin->value(), count2Spin->value()};
    m.date1 = dateValue(0);
    m.date2 = dateValue(1);
    m.addDate = m_record.addDate;
    return m;
}

void TUserDlg::Button1Click()
{
    const QString problem = MemberEntry::addressProblem(addressEdit->text());
    if (!problem.isEmpty()) {
        MessageBox::warning(this, problem);
        return;
    }
    MemberRecord m = record();
    const QString tooLong = MemberEntry::lengthProblem(m);
    if (!tooLong.isEmpty()) {
        MessageBox::warning(this, tooLong);
        return;
    }
    bool declined = false;
    const bool saved = Command::run(this, [this, &m, &declined] {
        if (m.userIdx == -1 && MemberEntry::addressTaken(m)
            && MessageBox::confirm(this, QStringLiteral("同じメールアドレスが登録されています。追加しますか？"),
                                   MessageBox::Buttons::YesNoCancel)
                   != MessageBox::Answer::Yes) {
            declined = true;
            return;
        }
        if (m_save)
            m_save(m);
    });
    if (!saved || declined)
        return;
    m_record = m;
    m_sleepValue = m.sleep ? 1 : 0;
    accept();
}

void TUserDlg::Paste1Click()
{
    const QMimeData *data = QApplication::clipboard()->mimeData();
    if (!data || !data->hasText())
        return;
    const QString text = data->text();
    if (text.startsWith(QLatin1String("http://"))) {
        urlEdit->setText(text);
        return;
    }
    const AddressText parsed = ParseAddressText(text);
    if (!parsed.name.isEmpty())
        nameEdit->setText(parsed.name);
    if (!parsed.address.isEmpty())
        addressEdit->setText(parsed.address);
}

void TUserDlg::dropText(const QString &text)
{
    const AddressText parsed = ParseAddressText(text);
    if (!parsed.name.isEmpty())
        nameEdit->setText(parsed.name);
    if (!parsed.address.isEmpty())
        addressEdit->setText(parsed.address);
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

#include "members/ui/FMagMailDlg.h"

#include "widgets/Command.h"
#include "widgets/MessageBox.h"

#include <QCheckBox>
#include <QComboBox>
#include <QFormLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QSpinBox>
#include <QVBoxLayout>

TMagMailDlg::TMagMailDlg(int magIdx, const QString &magazineName, QWidget *parent)
    : FormDialog(parent), m_magIdx(magIdx)
{
    setObjectName(QStringLiteral("MagMailDlg"));
    setWindowTitle(QStringLiteral("マガジンのメール設定 - ") + magazineName);
    setModal(true);

    Utf8Check = new QCheckBox(QStringLiteral("常に UTF-8 で送信する"), this);
    Utf8Check->setObjectName(QStringLiteral("Utf8Check"));
    Utf8Check->setToolTip(QStringLiteral("OFFのときは、ISO-2022-JP でそのまま読めるメールは ISO-2022-JP で、"
                                         "読めない文字を含むメールだけを UTF-8 で送信します。"));
    AddressEdit = new QLineEdit(this);
    AddressEdit->setObjectName(QStringLiteral("AddressEdit"));
    AddressEdit->setMaxLength(254);
    AddressEdit->setInputMethodHints(Qt::ImhEmailCharactersOnly);
    AddressEdit->setPlaceholderText(QStringLiteral("例: stop@example.jp (空欄: 配信停止のヘッダーを付けない)"));
    UrlEdit = new QLineEdit(this);
    UrlEdit->setObjectName(QStringLiteral("UrlEdit"));
    UrlEdit->setMaxLength(MagazineMailSettings::kMaxUrlLength);
    UrlEdit->setInputMethodHints(Qt::ImhUrlCharactersOnly);
    UrlEdit->setPlaceholderText(QStringLiteral("例: https://example.jp/stop (空欄可)"));
    ActionCombo = new QComboBox(this);
    ActionCombo->setObjectName(QStringLiteral("ActionCombo"));
    ActionCombo->addItem(QStringLiteral("配信停止にする"));
    ActionCombo->addItem(QStringLiteral("メンバーを削除する"));
    BounceSpin = new QSpinBox(this);
    BounceSpin->setObjectName(QStringLiteral("BounceSpin"));
    BounceSpin->setRange(1, MagazineMailSettings::kMaxBounceLimit);
    BounceSpin->setSuffix(QStringLiteral(" 回"));
    ReturnPathEdit = new QLineEdit(this);
    ReturnPathEdit->setObjectName(QStringLiteral("ReturnPathEdit"));
    ReturnPathEdit->setMaxLength(254);
    ReturnPathEdit->setInputMethodHints(Qt::ImhEmailCharactersOnly);
    ReturnPathEdit->setPlaceholderText(QStringLiteral("例: bounce@example.jp (空欄: 発行者のアドレスに戻る)"));
    auto *returnPathNote = new QLabel(
        QStringLiteral("メンバーごとのメールは bounce+識別子@example.jp から送られ、戻ってきた不達メールが"
                       "どのメンバーのものかを確実に判定できます。このアドレスのメールボックスは + 付きの"
                       "アドレスも受け取れる(またはキャッチオール)必要があります。返信メールの処理では、"
                       "このメールボックスを読むように設定してください。"),
        this);
    returnPathNote->setWordWrap(true);

    auto *form = new QFormLayout;
    form->addRow(Utf8Check);
    form->addRow(QStringLiteral("配信停止の受付アドレス"), AddressEdit);
    form->addRow(QStringLiteral("配信停止のURL (https)"), UrlEdit);
    form->addRow(QStringLiteral("配信停止の依頼が届いたとき"), ActionCombo);
    form->addRow(QStringLiteral("配信停止にする不達 (5xx) の回数"), BounceSpin);
    form->addRow(QStringLiteral("不達メールの返送先"), ReturnPathEdit);
    form->addRow(returnPathNote);

    OkButton = new QPushButton(QStringLiteral("OK"), this);
    OkButton->setObjectName(QStringLiteral("OkButton"));
    OkButton->setDefault(true);
    CancelButton = new QPushButton(QStringLiteral("キャンセル"), this);
    CancelButton->setObjectName(QStringLiteral("CancelButton"));
    connect(OkButton, &QPushButton::clicked, this, &TMagMailDlg::OkButtonClick);
    connect(CancelButton, &QPushButton::clicked, this, &QDialog::reject);
    auto *buttons = new QHBoxLayout;
    buttons->addStretch(1);
    buttons->addWidget(OkButton);
    buttons->addWidget(CancelButton);

    auto *layout = new QVBoxLayout(this);
    layout->addLayout(form);
    layout->addLayout(buttons);
    AddressEdit->setMinimumWidth(AddressEdit->fontMetrics().horizontalAdvance(QStringLiteral("m")) * 36);
}

void TMagMailDlg::fillForm()
{
    MagazineMailSettings m;
    if (!Command::run(this, [&] { m = MagazineMailSettings::load(m_magIdx); }))
        return;
    Utf8Check->setChecked(m.forceUtf8);
    AddressEdit->setText(m.unsubscribeAddress);
    UrlEdit->setText(m.unsubscribeUrl);
    ActionCombo->setCurrentIndex(int(m.unsubscribeAction));
    BounceSpin->setValue(m.bounceLimit);
    ReturnPathEdit->setText(m.returnPath);
}

MagazineMailSettings TMagMailDlg::settings() const
{
    MagazineMailSettings m;
    m.forceUtf8 = Utf8Check->isChecked();
    m.unsubscribeAddress = AddressEdit->text().trimmed();
    m.unsubscribeUrl = UrlEdit->text().trimmed();
    m.unsubscribeAction = ActionCombo->currentIndex() == 1 ? MagazineMailSettings::UnsubscribeAction::Delete
                                                           : MagazineMailSettings::UnsubscribeAction::Suspend;
    m.bounceLimit = BounceSpin->value();
    m.returnPath = ReturnPathEdit->text().trimmed();
    return m;
}

void TMagMailDlg::OkButtonClick()
{
    const MagazineMailSettings m = settings();
    const QString why = m.problem();
    if (!why.isEmpty()) {
        MessageBox::warning(this, why);
        return;
    }
    if (!Command::run(this, [&] { MagazineMailSettings::save(m_magIdx, m); }))
        return;
    accept();
}

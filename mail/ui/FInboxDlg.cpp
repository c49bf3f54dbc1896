#include "mail/ui/FInboxDlg.h"

#include "store/Database.h"
#include "store/InboxSettings.h"
#include "widgets/Command.h"
#include "widgets/MessageBox.h"
#include "widgets/RunAside.h"

#include <QCheckBox>
#include <QComboBox>
#include <QCoreApplication>
#include <QFormLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QProgressBar>
#include <QPushButton>
#include <QRadioButton>
#include <QSpinBox>
#include <QVBoxLayout>

namespace {

QLineEdit *latinEdit(QWidget *parent, const char *name, bool password = false)
{
    auto *e = new QLineEdit(parent);
    e->setObjectName(QLatin1String(name));
    e->setMaxLength(255);
    e->setInputMethodHints(Qt::ImhLatinOnly | Qt::ImhNoPredictiveText);
    if (password)
        e->setEchoMode(QLineEdit::Password);
    return e;
}

// The usual ports of each protocol: clear or STLS/STARTTLS, and TLS from the first byte.
constexpr int kPlainPort[] = {110, 143};
constexpr int kTlsPort[] = {995, 993};

} // namespace

TInboxDlg::TInboxDlg(QWidget *parent) : FormDialog(parent)
{
    setObjectName(QStringLiteral("InboxDlg"));
    setWindowTitle(QStringLiteral("返信メールの処理"));
    setModal(true);

    PopRowRadio = new QRadioButton(QStringLiteral("接続情報の POP サーバーを使う"), this);
    PopRowRadio->setObjectName(QStringLiteral("PopRowRadio"));
    OwnRadio = new QRadioButton(QStringLiteral("次のサーバーを使う"), this);
    OwnRadio->setObjectName(QStringLiteral("OwnRadio"));
    HostEdit = latinEdit(this, "HostEdit");
    PortSpin = new QSpinBox(this);
    PortSpin->setObjectName(QStringLiteral("PortSpin"));
    PortSpin->setRange(1, 65535);
    PortSpin->setValue(kPlainPort[0]);
    UserEdit = latinEdit(this, "UserEdit");
    PasswordEdit = latinEdit(this, "PasswordEdit", true);
    TlsCombo = new QComboBox(this);
    TlsCombo->setObjectName(QStringLiteral("TlsCombo"));
    TlsCombo->addItems({QStringLiteral("なし"), QStringLiteral("STLS / STARTTLS"), QStringLiteral("SSL/TLS (995 / 993)")});
    ProtocolCombo = new QComboBox(this);
    ProtocolCombo->setObjectName(QStringLiteral("ProtocolCombo"));
    ProtocolCombo->addItems({QStringLiteral("POP3"), QStringLiteral("IMAP")});
    FolderEdit = new QLineEdit(this);
    FolderEdit->setObjectName(QStringLiteral("FolderEdit"));
    FolderEdit->setMaxLength(255);
    FolderEdit->setPlaceholderText(QStringLiteral("INBOX"));
    MoveToEdit = new QLineEdit(this);
    MoveToEdit->setObjectName(QStringLiteral("MoveToEdit"));
    MoveToEdit->setMaxLength(255);
    MoveToEdit->setPlaceholderText(QStringLiteral("空欄: 削除する (例: 処理済み)"));
    DeleteUnknownSpin = new QSpinBox(this);
    DeleteUnknownSpin->setObjectName(QStringLiteral("DeleteUnknownSpin"));
    DeleteUnknownSpin->setRange(0, 3650);
    DeleteUnknownSpin->setSpecialValueText(QStringLiteral("削除しない"));
    DeleteUnknownSpin->setSuffix(QStringLiteral(" 日後に削除"));
    KeepCheck = new QCheckBox(QStringLiteral("処理したメールをメールボックスから削除しない"), this);
    KeepCheck->setObjectName(QStringLiteral("KeepCheck"));
    ProgressBar = new QProgressBar(this);
    ProgressBar->setObjectName(QStringLiteral("ProgressBar"));
    ProgressBar->setRange(0, 1);
    ProgressBar->setValue(0);
    StatusLabel = new QLabel(this);
    StatusLabel->setObjectName(QStringLiteral("StatusLabel"));
    StatusLabel->setWordWrap(true);
    StatusLabel->setText(QStringLiteral("配信停止の依頼と不達の通知を読み、メンバーに反映します。"
                                        "それ以外のメールはメールボックスに残します。"));
    RunButton = new QPushButton(QStringLiteral("実行"), this);
    RunButton->setObjectName(QStringLiteral("RunButton"));
    RunButton->setDefault(true);
    CloseButton = new QPushButton(QStringLiteral("閉じる"), this);
    CloseButton->setObjectName(QStringLiteral("CloseButton"));

    connect(RunButton, &QPushButton::clicked, this, &TInboxDlg::RunButtonClick);
    connect(CloseButton, &QPushButton::clicked, this, &TInboxDlg::CloseButtonClick);
    connect(TlsCombo, &QComboBox::currentIndexChanged, this, &TInboxDlg::TlsComboChange);
    connect(OwnRadio, &QRadioButton::toggled, this, &TInboxDlg::OwnRadioClick);
    connect(ProtocolCombo, &QComboBox::currentIndexChanged, this, &TInboxDlg::ProtocolComboChange);

    auto *server = new QFormLayout;
    server->addRow(QStringLiteral("サーバの種類"), ProtocolCombo);
    server->addRow(QStringLiteral("受信サーバ"), HostEdit);
    server->addRow(QStringLiteral("ポート"), PortSpin);
    server->addRow(QStringLiteral("ユーザ名"), UserEdit);
    server->addRow(QStringLiteral("パスワード"), PasswordEdit);
    auto *security = new QFormLayout;
    security->addRow(QStringLiteral("暗号化"), TlsCombo);
    security->addRow(QStringLiteral("フォルダ (IMAP)"), FolderEdit);
    security->addRow(QStringLiteral("処理したメールの移動先 (IMAP)"), MoveToEdit);
    security->addRow(QStringLiteral("残したメール (初めて読んでから)"), DeleteUnknownSpin);

    auto *buttons = new QHBoxLayout;
    buttons->addStretch(1);
    buttons->addWidget(RunButton);
    buttons->addWidget(CloseButton);

    auto *layout = new QVBoxLayout(this);
    layout->addWidget(PopRowRadio);
    layout->addWidget(OwnRadio);
    layout->addLayout(server);
    layout->addLayout(security);
    layout->addWidget(KeepCheck);
    layout->addWidget(StatusLabel);
    layout->addWidget(ProgressBar);
    layout->addLayout(buttons);
    HostEdit->setMinimumWidth(HostEdit->fontMetrics().horizontalAdvance(QLatin1Char('m')) * 28);
}

void TInboxDlg::fillForm()
{
    InboxSettings s;
    if (!Command::run(this, [&] { s = InboxSettings::load(); }))
        return;
    (s.useOwn ? OwnRadio : PopRowRadio)->setChecked(true);
    HostEdit->setText(s.host);
    PortSpin->setValue(qBound(1, s.port, 65535));
    UserEdit->setText(s.user);
    PasswordEdit->setText(s.password);
    {
        // The stored port stands as it is, whatever the usual one of its encryption.
        const QSignalBlocker quiet(TlsCombo);
        const QSignalBlocker quietToo(ProtocolCombo);
        TlsCombo->setCurrentIndex(qBound(0, s.tls, 2));
        ProtocolCombo->setCurrentIndex(s.protocol == 1 ? 1 : 0);
    }
    FolderEdit->setText(s.folder);
    MoveToEdit->setText(s.moveTo);
    DeleteUnknownSpin->setValue(qBound(0, s.deleteUnknownAfterDays, 3650));
    OwnRadioClick();
}

void TInboxDlg::OwnRadioClick()
{
    const bool own = OwnRadio->isChecked();
    for (QWidget *w : {static_cast<QWidget *>(HostEdit), static_cast<QWidget *>(PortSpin),
                       static_cast<QWidget *>(UserEdit), static_cast<QWidget *>(PasswordEdit),
                       static_cast<QWidget *>(ProtocolCombo)})
        w->setEnabled(own && !m_running);
    // The POP row of the connection dialog is a POP3 server: folders are IMAP's alone.
    const bool imap = own && ProtocolCombo->currentIndex() == 1;
    FolderEdit->setEnabled(imap && !m_running);
    MoveToEdit->setEnabled(imap && !m_running);
    DeleteUnknownSpin->setEnabled(!m_running);
}

void TInboxDlg::ProtocolComboChange(int index)
{
    // Moves the port to the other protocol's usual one, unless the user chose one of their own.
    const int tls = TlsCombo->currentIndex() == 2 ? 1 : 0;
    const int other = index == 1 ? 0 : 1;
    const int was = tls ? kTlsPort[other] : kPlainPort[other];
    if (PortSpin->value() == was)
        PortSpin->setValue(tls ? kTlsPort[index == 1 ? 1 : 0] : kPlainPort[index == 1 ? 1 : 0]);
    OwnRadioClick();
}

void TInboxDlg::TlsComboChange(int index)
{
    // Moves the port along with the encryption, unless the user chose one of their own.
    const int p = ProtocolCombo->currentIndex() == 1 ? 1 : 0;
    if (index == 2 && PortSpin->value() == kPlainPort[p])
        PortSpin->setValue(kTlsPort[p]);
    else if (index != 2 && PortSpin->value() == kTlsPort[p])
        PortSpin->setValue(kPlainPort[p]);
}

bool TInboxDlg::saveSettings()
{
    InboxSettings s;
    s.useOwn = OwnRadio->isChecked();
    s.host = HostEdit->text().trimmed();
    s.port = PortSpin->value();
    s.user = UserEdit->text();
    s.password = PasswordEdit->text();
    s.tls = TlsCombo->currentIndex();
    s.protocol = ProtocolCombo->currentIndex() == 1 ? 1 : 0;
    s.folder = FolderEdit->text().trimmed();
    s.moveTo = MoveToEdit->text().trimmed();
    s.deleteUnknownAfterDays = DeleteUnknownSpin->value();
    if (s.useOwn && s.host.isEmpty()) {
        MessageBox::warning(this, s.protocol == 1 ? QStringLiteral("IMAPサーバを入力してください")
                                                  : QStringLiteral("POPサーバを入力してください"));
        HostEdit->setFocus();
        return false;
    }
    return Command::run(this, [&] { InboxSettings::save(s); });
}

void TInboxDlg::setRunning(bool running)
{
    m_running = running;
    RunButton->setEnabled(!running);
    PopRowRadio->setEnabled(!running);
    OwnRadio->setEnabled(!running);
    TlsCombo->setEnabled(!running);
    KeepCheck->setEnabled(!running);
    CloseButton->setText(running ? QStringLiteral("中止") : QStringLiteral("閉じる"));
    OwnRadioClick();
}

void TInboxDlg::RunButtonClick()
{
    if (m_running || !saveSettings())
        return;
    std::optional<InboxOptions> options;
    QString why;
    if (!Command::run(this, [&] { options = InboxOptionsFromStore(&why); }))
        return;
    if (!options) {
        MessageBox::warning(this, why);
        return;
    }
    options->keep = KeepCheck->isChecked();

    m_cancel = false;
    setRunning(true);
    StatusLabel->setText(QStringLiteral("メールボックスを読んでいます..."));
    ProgressBar->setRange(0, 0);
    InboxSummary summary;
    RunAside::run(
        [&] {
            const auto progress = [this](int done, int total) {
                QMetaObject::invokeMethod(this, [this, done, total] {
                    ProgressBar->setRange(0, qMax(1, total));
                    ProgressBar->setValue(qBound(0, done, qMax(1, total)));
                    StatusLabel->setText(QStringLiteral("%1 / %2 件").arg(done).arg(total));
                }, Qt::QueuedConnection);
            };
            summary = ProcessInbox(*options, SocketFactory, progress, &m_cancel);
            Store::releaseThreadConnection();
        },
        RunAside::Input::Allowed);
    // Progress queued by the thread's last steps must not land after the summary.
    QCoreApplication::sendPostedEvents(this);

    m_summary = summary;
    m_ran = true;
    setRunning(false);
    ProgressBar->setRange(0, 1);
    ProgressBar->setValue(1);
    StatusLabel->setText(summary.text());
    if (summary.end == InboxSummary::End::Done || summary.end == InboxSummary::End::Cancelled)
        MessageBox::info(this, summary.text());
    else
        MessageBox::error(this, summary.text());
}

void TInboxDlg::CloseButtonClick()
{
    if (m_running) {
        m_cancel = true;
        StatusLabel->setText(QStringLiteral("中止しています..."));
        return;
    }
    accept();
}

void TInboxDlg::reject()
{
    // Esc or the window's close box during a pass stops it; the dialog closes afterwards.
    if (m_running) {
        CloseButtonClick();
        return;
    }
    QDialog::reject();
}

#include "mail/ui/FConnDlg.h"

#include "mail/ConnSettingsCheck.h"
#include "mail/MailFormat.h"
#include "mail/MessageIdSource.h"
#include "store/Database.h"
#include "widgets/MessageBox.h"
#include "widgets/RunAside.h"
#include "widgets/WaitCursor.h"

#include <QCheckBox>
#include <QComboBox>
#include <QDateTime>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QSpinBox>
#include <QVBoxLayout>

namespace {

QLineEdit *edit(QWidget *parent, const char *name, bool password = false)
{
    auto *e = new QLineEdit(parent);
    e->setObjectName(QLatin1String(name));
    // Host names, accounts and addresses are typed in single-byte characters.
    e->setAttribute(Qt::WA_InputMethodEnabled, false);
    if (password)
        e->setEchoMode(QLineEdit::Password);
    return e;
}

QLabel *label(QWidget *parent, const char *name, const QString &text)
{
    auto *l = new QLabel(text, parent);
    l->setObjectName(QLatin1String(name));
    return l;
}

QSpinBox *port(QWidget *parent, const char *name)
{
    auto *s = new QSpinBox(parent);
    s->setObjectName(QLatin1String(name));
    s->setRange(1, 65535);
    s->setSingleStep(1);  // Page Up / Page Down step by ten
    s->setAttribute(Qt::WA_InputMethodEnabled, false);
    return s;
}

// A count of mails or seconds where 0 means "no limit".
QSpinBox *limit(QWidget *parent, const char *name, int maximum, const QString &none)
{
    auto *s = new QSpinBox(parent);
    s->setObjectName(QLatin1String(name));
    s->setRange(0, maximum);
    s->setSpecialValueText(none);
    s->setAttribute(Qt::WA_InputMethodEnabled, false);
    return s;
}

// Network work of the test, on a thread of its own while the window keeps painting.
bool runAside(const std::function<bool()> &work)
{
    bool result = false;
    RunAside::run([&] { result = work(); });
    return result;
}

} // namespace

TConnDlg::TConnDlg(const ServerSettings &info, QWidget *parent) : FormDialog(parent)
{
    setObjectName(QStringLiteral("ConnDlg"));
    setWindowTitle(QStringLiteral("接続情報"));

    smtpHostLabel = label(this, "Label4", QStringLiteral("SMTPサーバ"));
    smtpHostEdit = edit(this, "Edit4");
    smtpPortLabel = label(this, "Label7", QStringLiteral("ポート"));
    smtpPortSpin = port(this, "NumberSpin2");
    // Created in the order shown, which is also the order of the Tab key.
    securityLabel = label(this, "Label16", QStringLiteral("接続の保護"));
    securityCombo = new QComboBox(this);
    securityCombo->setObjectName(QStringLiteral("ComboBox1"));
    securityCombo->addItems({QStringLiteral("なし"), QStringLiteral("STARTTLS"), QStringLiteral("SSL/TLS (465)")});
    verifyCertificateCheck = new QCheckBox(QStringLiteral("証明書を検証する"), this);
    verifyCertificateCheck->setObjectName(QStringLiteral("CheckBox4"));
    smtpAuthCheck = new QCheckBox(QStringLiteral("SMTPサーバは認証が必要"), this);
    smtpAuthCheck->setObjectName(QStringLiteral("CheckBox2"));
    smtpUserLabel = label(this, "Label8", QStringLiteral("ユーザ名"));
    smtpUserEdit = edit(this, "Edit5");
    smtpPasswordLabel = label(this, "Label9", QStringLiteral("パスワード"));
    smtpPasswordEdit = edit(this, "Edit6", true);

    popBeforeSmtpCheck = new QCheckBox(QStringLiteral("POP before SMTP"), this);
    popBeforeSmtpCheck->setObjectName(QStringLiteral("CheckBox1"));
    popHostLabel = label(this, "Label1", QStringLiteral("POPサーバ"));
    popHostEdit = edit(this, "Edit1");
    popPortLabel = label(this, "Label6", QStringLiteral("ポート"));
    popPortSpin = port(this, "NumberSpin1");
    popUserLabel = label(this, "Label2", QStringLiteral("ユーザ名"));
    popUserEdit = edit(this, "Edit2");
    popPasswordLabel = label(this, "Label3", QStringLiteral("パスワード"));
    popPasswordEdit = edit(this, "Edit3", true);

    retryLabel = label(this, "Label11", QStringLiteral("再送の間隔"));
    retryEdit = edit(this, "Edit8");
    retryEdit->setPlaceholderText(QStringLiteral("1m,5m,15m,1h"));
    retryEdit->setToolTip(QStringLiteral("一時的に送れなかったメールを再送するまでの待ち時間（s 秒、m 分、h 時間）"));
    perMinuteLabel = label(this, "Label12", QStringLiteral("1分あたりの通数"));
    perMinuteSpin = limit(this, "NumberSpin3", 100000, QStringLiteral("制限なし"));
    perHourLabel = label(this, "Label13", QStringLiteral("1時間あたりの通数"));
    perHourSpin = limit(this, "NumberSpin4", 1000000, QStringLiteral("制限なし"));
    perConnectionLabel = label(this, "Label14", QStringLiteral("1接続あたりの通数"));
    perConnectionSpin = limit(this, "NumberSpin5", 1000000, QStringLiteral("制限なし"));
    pauseLabel = label(this, "Label15", QStringLiteral("一括送信の間の休止（秒）"));
    pauseSpin = limit(this, "NumberSpin6", 3600, QStringLiteral("なし"));

    testAddressLabel = label(this, "Label10", QStringLiteral("テスト用アドレス"));
    testAddressEdit = edit(this, "Edit7");
    testButton = new QPushButton(QStringLiteral("テスト"), this);
    testButton->setObjectName(QStringLiteral("Button3"));
    testButton->setAutoDefault(false);
    testLogMemo = new QPlainTextEdit(this);
    testLogMemo->setObjectName(QStringLiteral("Memo1"));
    testLogMemo->setReadOnly(true);
    testLogMemo->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
    testLogMemo->setLineWrapMode(QPlainTextEdit::NoWrap);
    okButton = new QPushButton(QStringLiteral("OK"), this);
    okButton->setObjectName(QStringLiteral("Button1"));
    okButton->setDefault(true);
    cancelButton = new QPushButton(QStringLiteral("キャンセル"), this);
    cancelButton->setObjectName(QStringLiteral("Button2"));
    cancelButton->setAutoDefault(false);

    auto *smtp = new QGroupBox(QStringLiteral("SMTP"), this);
    auto *sg = new QGridLayout(smtp);
    sg->addWidget(smtpHostLabel, 0, 0);
    sg->addWidget(smtpHostEdit, 0, 1);
    sg->addWidget(smtpPortLabel, 0, 2);
    sg->addWidget(smtpPortSpin, 0, 3);
    sg->addWidget(securityLabel, 1, 0);
    sg->addWidget(securityCombo, 1, 1);
    sg->addWidget(verifyCertificateCheck, 1, 2, 1, 2);
    sg->addWidget(smtpAuthCheck, 2, 0, 1, 4);
    sg->addWidget(smtpUserLabel, 3, 0);
    sg->addWidget(smtpUserEdit, 3, 1, 1, 3);
    sg->addWidget(smtpPasswordLabel, 4, 0);
    sg->addWidget(smtpPasswordEdit, 4, 1, 1, 3);

    auto *pop = new QGroupBox(QStringLiteral("POP3"), this);
    auto *pg = new QGridLayout(pop);
    pg->addWidget(popBeforeSmtpCheck, 0, 0, 1, 4);
    pg->addWidget(popHostLabel, 1, 0);
    pg->addWidget(popHostEdit, 1, 1);
    pg->addWidget(popPortLabel, 1, 2);
    pg->addWidget(popPortSpin, 1, 3);
    pg->addWidget(popUserLabel, 2, 0);
    pg->addWidget(popUserEdit, 2, 1, 1, 3);
    pg->addWidget(popPasswordLabel, 3, 0);
    pg->addWidget(popPasswordEdit, 3, 1, 1, 3);

    auto *delivery = new QGroupBox(QStringLiteral("配信の設定"), this);
    delivery->setObjectName(QStringLiteral("GroupBox3"));
    auto *dg = new QGridLayout(delivery);
    dg->addWidget(retryLabel, 0, 0);
    dg->addWidget(retryEdit, 0, 1, 1, 3);
    dg->addWidget(perMinuteLabel, 1, 0);
    dg->addWidget(perMinuteSpin, 1, 1);
    dg->addWidget(perHourLabel, 1, 2);
    dg->addWidget(perHourSpin, 1, 3);
    dg->addWidget(perConnectionLabel, 2, 0);
    dg->addWidget(perConnectionSpin, 2, 1);
    dg->addWidget(pauseLabel, 2, 2);
    dg->addWidget(pauseSpin, 2, 3);

    auto *test = new QHBoxLayout;
    test->addWidget(testAddressLabel);
    test->addWidget(testAddressEdit, 1);
    test->addWidget(testButton);

    auto *buttons = new QHBoxLayout;
    buttons->addStretch(1);
    buttons->addWidget(okButton);
    buttons->addWidget(cancelButton);

    auto *layout = new QVBoxLayout(this);
    layout->addWidget(smtp);
    layout->addWidget(pop);
    layout->addWidget(delivery);
    layout->addLayout(test);
    layout->addWidget(testLogMemo, 1);
    layout->addLayout(buttons);
    resize(480, 680);

    fillSmtp(info);
    fillPop(info);
    fillDelivery(DeliverySettings());

    connect(popBeforeSmtpCheck, &QCheckBox::clicked, this, &TConnDlg::CheckBox1Click);
    connect(smtpAuthCheck, &QCheckBox::clicked, this, &TConnDlg::CheckBox2Click);
    connect(securityCombo, &QComboBox::activated, this, &TConnDlg::ComboBox1Change);
    connect(okButton, &QPushButton::clicked, this, &TConnDlg::Button1Click);
    connect(cancelButton, &QPushButton::clicked, this, &QDialog::reject);
    connect(testButton, &QPushButton::clicked, this, &TConnDlg::Button3Click);
}

void TConnDlg::fillSmtp(const ServerSettings &settings)
{
    smtpHostEdit->setText(settings.SmtpHost);
    smtpPortSpin->setValue(settings.SmtpPort);
    smtpAuthCheck->setChecked(settings.SmtpAuth);
    // What applies: rows stored before the choice existed show what their SSL flag did.
    securityCombo->setCurrentIndex(int(settings.smtpSecurity()));
    verifyCertificateCheck->setChecked(settings.VerifyCertificate);
    smtpUserEdit->setText(settings.SmtpUser);
    smtpPasswordEdit->setText(settings.SmtpPassword);
}

void TConnDlg::fillPop(const ServerSettings &settings)
{
    popBeforeSmtpCheck->setChecked(settings.PopBeforeSmtp);
    popHostEdit->setText(settings.PopHost);
    popPortSpin->setValue(settings.PopPort);
    popUserEdit->setText(settings.PopUser);
    popPasswordEdit->setText(settings.PopPassword);
}

void TConnDlg::fillDelivery(const DeliverySettings &settings)
{
    retryEdit->setText(settings.retry.text());
    perMinuteSpin->setValue(settings.pacing.perMinute);
    perHourSpin->setValue(settings.pacing.perHour);
    perConnectionSpin->setValue(settings.pacing.perConnection);
    // Shown in whole seconds, a part of a second rounded up so that a pause stays a pause.
    pauseSpin->setValue((settings.pacing.pauseBetweenGroupsMs + 999) / 1000);
}

DeliverySettings TConnDlg::deliverySettings() const
{
    DeliverySettings s;
    if (const auto retry = RetrySchedule::parse(retryEdit->text().trimmed()))
        s.retry = *retry;
    s.pacing.perMinute = perMinuteSpin->value();
    s.pacing.perHour = perHourSpin->value();
    s.pacing.perConnection = perConnectionSpin->value();
    s.pacing.pauseBetweenGroupsMs = pauseSpin->value() * 1000;
    return s;
}

QString TConnDlg::retryScheduleWarning()
{
    return QStringLiteral("再送の間隔は「1m,5m,15m,1h」のように、1秒から24時間までの待ち時間を"
                          "カンマで区切って20個まで入力してください（s 秒、m 分、h 時間）。");
}

ServerSettings TConnDlg::settings() const
{
    ServerSettings s;
    s.SmtpHost = smtpHostEdit->text();
    s.SmtpPort = smtpPortSpin->value();
    s.SmtpAuth = smtpAuthCheck->isChecked();
    s.SmtpTls = SmtpSecurity(securityCombo->currentIndex());
    s.VerifyCertificate = verifyCertificateCheck->isChecked();
    // Builds that do not know the choice read the SSL flag: on for any TLS.
    s.UseSsl = *s.SmtpTls != SmtpSecurity::None;
    s.SmtpUser = smtpUserEdit->text();
    s.SmtpPassword = smtpPasswordEdit->text();
    s.PopBeforeSmtp = popBeforeSmtpCheck->isChecked();
    s.PopHost = popHostEdit->text();
    s.PopPort = popPortSpin->value();
    s.PopUser = popUserEdit->text();
    s.PopPassword = popPasswordEdit->text();
    return s;
}

void TConnDlg::fillForm()
{
    try {
        ServerSettings::Stored stored;
        const ServerSettings rows = ServerSettings::load(&stored);
        if (stored.smtp)
            fillSmtp(rows);
        if (stored.pop)
            fillPop(rows);
        fillDelivery(SendSettings::load());
    } catch (const StoreError &e) {
        MessageBox::error(this, e.text());
    }
    CheckBox1Click();
    CheckBox2Click();
    verifyCertificateCheck->setEnabled(securityCombo->currentIndex() != int(SmtpSecurity::None));
    ProtocolLog.clear();
    testAddressEdit->clear();
    testLogMemo->clear();
}

void TConnDlg::CheckBox1Click()
{
    const bool on = popBeforeSmtpCheck->isChecked();
    for (QWidget *w : {static_cast<QWidget *>(popHostEdit), static_cast<QWidget *>(popUserEdit),
                       static_cast<QWidget *>(popPasswordEdit), static_cast<QWidget *>(popPortSpin),
                       static_cast<QWidget *>(popHostLabel), static_cast<QWidget *>(popUserLabel),
                       static_cast<QWidget *>(popPasswordLabel), static_cast<QWidget *>(popPortLabel)})
        w->setEnabled(on);
}

void TConnDlg::CheckBox2Click()
{
    const bool on = smtpAuthCheck->isChecked();
    for (QWidget *w : {static_cast<QWidget *>(smtpUserLabel), static_cast<QWidget *>(smtpPasswordLabel),
                       static_cast<QWidget *>(smtpUserEdit), static_cast<QWidget *>(smtpPasswordEdit)})
        w->setEnabled(on);
}

void TConnDlg::ComboBox1Change()
{
    const auto security = SmtpSecurity(securityCombo->currentIndex());
    verifyCertificateCheck->setEnabled(security != SmtpSecurity::None);
    // The usual ports follow the choice; a port of one's own stays as typed.
    const int port = smtpPortSpin->value();
    if (security == SmtpSecurity::Implicit && (port == 25 || port == 587))
        smtpPortSpin->setValue(465);
    else if (security != SmtpSecurity::Implicit && port == 465)
        smtpPortSpin->setValue(587);
}

void TConnDlg::Button1Click()
{
    const ConnSettingsProblem problem = CheckConnSettings(settings());
    if (!problem.ok()) {
        using Field = ConnSettingsProblem::Field;
        QWidget *field = nullptr;
        switch (problem.field) {
        case Field::PopHost: field = popHostEdit; break;
        case Field::PopUser: field = popUserEdit; break;
        case Field::PopPassword: field = popPasswordEdit; break;
        case Field::SmtpUser: field = smtpUserEdit; break;
        case Field::SmtpPassword: field = smtpPasswordEdit; break;
        case Field::None: break;
        }
        MessageBox::warning(this, problem.message);
        if (field)
            field->setFocus();
        return;
    }
    if (!RetrySchedule::parse(retryEdit->text().trimmed())) {
        MessageBox::warning(this, retryScheduleWarning());
        retryEdit->setFocus();
        return;
    }
    accept();
}

void TConnDlg::Button3Click()
{
    if (smtpHostEdit->text().isEmpty()) {
        MessageBox::warning(this, QStringLiteral("SMTPサーバをセットしてください"));
        smtpHostEdit->setFocus();
        return;
    }
    if (testAddressEdit->text().isEmpty()) {
        MessageBox::warning(this, QStringLiteral("メールアドレスをセットしてください"));
        testAddressEdit->setFocus();
        return;
    }
    const MailSocketFactory factory = SocketFactory ? SocketFactory : MailSocketFactory(makeTcpMailSocket);
    const ServerSettings typed = settings();

    if (typed.PopBeforeSmtp) {
        if (popPortSpin->cleanText().isEmpty()) {
            MessageBox::warning(this, QStringLiteral("POPポートをセットしてください"));
            popPortSpin->setFocus();
            return;
        }
        Pop3Options p = Pop3OptionsFor(typed);
        p.connectTimeoutMs = TimeoutMs;
        p.replyTimeoutMs = TimeoutMs;
        QString why;
        bool ok;
        {
            WaitCursor wait;
            ok = runAside([&] { return Pop3LoginLogout(*factory(), p, &why); });
        }
        if (!ok) {
            MessageBox::warning(this, QStringLiteral("POPサーバの接続に失敗しました ") + why);
            return;
        }
    }

    bool sent = false;
    QString error;
    TlsReport tls;
    {
        WaitCursor wait;
        testLogMemo->clear();
        ProtocolLog.clear();
        repaint();

        const QString address = testAddressEdit->text();
        const MailFormat format(QString(), address, QString(), QStringLiteral("ツバメ便送信テスト"));
        const QByteArray message =
            format.individual(address, format.encodeBody(QStringLiteral("テストメールを送信しました")),
                              QDateTime::currentDateTime(), MessageIdSource(format.sender()).nextField());

        SmtpOptions o = SmtpOptionsFor(typed);
        o.connectTimeoutMs = TimeoutMs;
        o.replyTimeoutMs = TimeoutMs;
        QStringList log;
        sent = runAside([&] {
            auto socket = factory();
            SmtpClient smtp(*socket);
            smtp.setOptions(o);
            smtp.setTrafficLog([&log](const QByteArray &block) {
                QString text = QString::fromUtf8(block);
                text.remove(QStringLiteral("\r\n"));
                if (!text.isEmpty())
                    log += text;
            });
            const bool ok = smtp.connectToServer() && smtp.sendMail(format.sender(), {address.trimmed()}, message);
            if (ok)
                smtp.quit();
            else
                smtp.close();
            error = smtp.errorString();
            tls = smtp.tlsReport();
            return ok;
        });
        ProtocolLog = log;
        testLogMemo->setPlainText(ProtocolLog.join(u'\n'));
    }
    if (sent) {
        QString text = QStringLiteral("メールを送信しました。確認してください");
        // Over TLS, whether the server's certificate verified and against which name.
        if (tls.encrypted)
            text += u'\n' + CertificateReportText(tls);
        MessageBox::info(this, text);
    }
    else
        MessageBox::warning(this, QStringLiteral("送信テストに失敗しました ") + error);
}

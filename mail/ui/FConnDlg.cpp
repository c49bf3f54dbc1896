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

    Label4 = label(this, "Label4", QStringLiteral("SMTPサーバ"));
    Edit4 = edit(this, "Edit4");
    Label7 = label(this, "Label7", QStringLiteral("ポート"));
    NumberSpin2 = port(this, "NumberSpin2");
    // Created in the order shown, which is also the order of the Tab key.
    Label16 = label(this, "Label16", QStringLiteral("接続の保護"));
    ComboBox1 = new QComboBox(this);
    ComboBox1->setObjectName(QStringLiteral("ComboBox1"));
    ComboBox1->addItems({QStringLiteral("なし"), QStringLiteral("STARTTLS"), QStringLiteral("SSL/TLS (465)")});
    CheckBox4 = new QCheckBox(QStringLiteral("証明書を検証する"), this);
    CheckBox4->setObjectName(QStringLiteral("CheckBox4"));
    CheckBox2 = new QCheckBox(QStringLiteral("SMTPサーバは認証が必要"), this);
    CheckBox2->setObjectName(QStringLiteral("CheckBox2"));
    Label8 = label(this, "Label8", QStringLiteral("ユーザ名"));
    Edit5 = edit(this, "Edit5");
    Label9 = label(this, "Label9", QStringLiteral("パスワード"));
    Edit6 = edit(this, "Edit6", true);

    CheckBox1 = new QCheckBox(QStringLiteral("POP before SMTP"), this);
    CheckBox1->setObjectName(QStringLiteral("CheckBox1"));
    Label1 = label(this, "Label1", QStringLiteral("POPサーバ"));
    Edit1 = edit(this, "Edit1");
    Label6 = label(this, "Label6", QStringLiteral("ポート"));
    NumberSpin1 = port(this, "NumberSpin1");
    Label2 = label(this, "Label2", QStringLiteral("ユーザ名"));
    Edit2 = edit(this, "Edit2");
    Label3 = label(this, "Label3", QStringLiteral("パスワード"));
    Edit3 = edit(this, "Edit3", true);

    Label11 = label(this, "Label11", QStringLiteral("再送の間隔"));
    Edit8 = edit(this, "Edit8");
    Edit8->setPlaceholderText(QStringLiteral("1m,5m,15m,1h"));
    Edit8->setToolTip(QStringLiteral("一時的に送れなかったメールを再送するまでの待ち時間（s 秒、m 分、h 時間）"));
    Label12 = label(this, "Label12", QStringLiteral("1分あたりの通数"));
    NumberSpin3 = limit(this, "NumberSpin3", 100000, QStringLiteral("制限なし"));
    Label13 = label(this, "Label13", QStringLiteral("1時間あたりの通数"));
    NumberSpin4 = limit(this, "NumberSpin4", 1000000, QStringLiteral("制限なし"));
    Label14 = label(this, "Label14", QStringLiteral("1接続あたりの通数"));
    NumberSpin5 = limit(this, "NumberSpin5", 1000000, QStringLiteral("制限なし"));
    Label15 = label(this, "Label15", QStringLiteral("一括送信の間の休止（秒）"));
    NumberSpin6 = limit(this, "NumberSpin6", 3600, QStringLiteral("なし"));

    Label10 = label(this, "Label10", QStringLiteral("テスト用アドレス"));
    Edit7 = edit(this, "Edit7");
    Button3 = new QPushButton(QStringLiteral("テスト"), this);
    Button3->setObjectName(QStringLiteral("Button3"));
    Button3->setAutoDefault(false);
    Memo1 = new QPlainTextEdit(this);
    Memo1->setObjectName(QStringLiteral("Memo1"));
    Memo1->setReadOnly(true);
    Memo1->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
    Memo1->setLineWrapMode(QPlainTextEdit::NoWrap);
    Button1 = new QPushButton(QStringLiteral("OK"), this);
    Button1->setObjectName(QStringLiteral("Button1"));
    Button1->setDefault(true);
    Button2 = new QPushButton(QStringLiteral("キャンセル"), this);
    Button2->setObjectName(QStringLiteral("Button2"));
    Button2->setAutoDefault(false);

    auto *smtp = new QGroupBox(QStringLiteral("SMTP"), this);
    auto *sg = new QGridLayout(smtp);
    sg->addWidget(Label4, 0, 0);
    sg->addWidget(Edit4, 0, 1);
    sg->addWidget(Label7, 0, 2);
    sg->addWidget(NumberSpin2, 0, 3);
    sg->addWidget(Label16, 1, 0);
    sg->addWidget(ComboBox1, 1, 1);
    sg->addWidget(CheckBox4, 1, 2, 1, 2);
    sg->addWidget(CheckBox2, 2, 0, 1, 4);
    sg->addWidget(Label8, 3, 0);
    sg->addWidget(Edit5, 3, 1, 1, 3);
    sg->addWidget(Label9, 4, 0);
    sg->addWidget(Edit6, 4, 1, 1, 3);

    auto *pop = new QGroupBox(QStringLiteral("POP3"), this);
    auto *pg = new QGridLayout(pop);
    pg->addWidget(CheckBox1, 0, 0, 1, 4);
    pg->addWidget(Label1, 1, 0);
    pg->addWidget(Edit1, 1, 1);
    pg->addWidget(Label6, 1, 2);
    pg->addWidget(NumberSpin1, 1, 3);
    pg->addWidget(Label2, 2, 0);
    pg->addWidget(Edit2, 2, 1, 1, 3);
    pg->addWidget(Label3, 3, 0);
    pg->addWidget(Edit3, 3, 1, 1, 3);

    auto *delivery = new QGroupBox(QStringLiteral("配信の設定"), this);
    delivery->setObjectName(QStringLiteral("GroupBox3"));
    auto *dg = new QGridLayout(delivery);
    dg->addWidget(Label11, 0, 0);
    dg->addWidget(Edit8, 0, 1, 1, 3);
    dg->addWidget(Label12, 1, 0);
    dg->addWidget(NumberSpin3, 1, 1);
    dg->addWidget(Label13, 1, 2);
    dg->addWidget(NumberSpin4, 1, 3);
    dg->addWidget(Label14, 2, 0);
    dg->addWidget(NumberSpin5, 2, 1);
    dg->addWidget(Label15, 2, 2);
    dg->addWidget(NumberSpin6, 2, 3);

    auto *test = new QHBoxLayout;
    test->addWidget(Label10);
    test->addWidget(Edit7, 1);
    test->addWidget(Button3);

    auto *buttons = new QHBoxLayout;
    buttons->addStretch(1);
    buttons->addWidget(Button1);
    buttons->addWidget(Button2);

    auto *layout = new QVBoxLayout(this);
    layout->addWidget(smtp);
    layout->addWidget(pop);
    layout->addWidget(delivery);
    layout->addLayout(test);
    layout->addWidget(Memo1, 1);
    layout->addLayout(buttons);
    resize(480, 680);

    fillSmtp(info);
    fillPop(info);
    fillDelivery(DeliverySettings());

    connect(CheckBox1, &QCheckBox::clicked, this, &TConnDlg::CheckBox1Click);
    connect(CheckBox2, &QCheckBox::clicked, this, &TConnDlg::CheckBox2Click);
    connect(ComboBox1, &QComboBox::activated, this, &TConnDlg::ComboBox1Change);
    connect(Button1, &QPushButton::clicked, this, &TConnDlg::Button1Click);
    connect(Button2, &QPushButton::clicked, this, &QDialog::reject);
    connect(Button3, &QPushButton::clicked, this, &TConnDlg::Button3Click);
}

void TConnDlg::fillSmtp(const ServerSettings &settings)
{
    Edit4->setText(settings.SmtpHost);
    NumberSpin2->setValue(settings.SmtpPort);
    CheckBox2->setChecked(settings.SmtpAuth);
    // What applies: rows stored before the choice existed show what their SSL flag did.
    ComboBox1->setCurrentIndex(int(settings.smtpSecurity()));
    CheckBox4->setChecked(settings.VerifyCertificate);
    Edit5->setText(settings.SmtpUser);
    Edit6->setText(settings.SmtpPassword);
}

void TConnDlg::fillPop(const ServerSettings &settings)
{
    CheckBox1->setChecked(settings.PopBeforeSmtp);
    Edit1->setText(settings.PopHost);
    NumberSpin1->setValue(settings.PopPort);
    Edit2->setText(settings.PopUser);
    Edit3->setText(settings.PopPassword);
}

void TConnDlg::fillDelivery(const DeliverySettings &settings)
{
    Edit8->setText(settings.retry.text());
    NumberSpin3->setValue(settings.pacing.perMinute);
    NumberSpin4->setValue(settings.pacing.perHour);
    NumberSpin5->setValue(settings.pacing.perConnection);
    // Shown in whole seconds, a part of a second rounded up so that a pause stays a pause.
    NumberSpin6->setValue((settings.pacing.pauseBetweenGroupsMs + 999) / 1000);
}

DeliverySettings TConnDlg::deliverySettings() const
{
    DeliverySettings s;
    if (const auto retry = RetrySchedule::parse(Edit8->text().trimmed()))
        s.retry = *retry;
    s.pacing.perMinute = NumberSpin3->value();
    s.pacing.perHour = NumberSpin4->value();
    s.pacing.perConnection = NumberSpin5->value();
    s.pacing.pauseBetweenGroupsMs = NumberSpin6->value() * 1000;
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
    s.SmtpHost = Edit4->text();
    s.SmtpPort = NumberSpin2->value();
    s.SmtpAuth = CheckBox2->isChecked();
    s.SmtpTls = SmtpSecurity(ComboBox1->currentIndex());
    s.VerifyCertificate = CheckBox4->isChecked();
    // Builds that do not know the choice read the SSL flag: on for any TLS.
    s.UseSsl = *s.SmtpTls != SmtpSecurity::None;
    s.SmtpUser = Edit5->text();
    s.SmtpPassword = Edit6->text();
    s.PopBeforeSmtp = CheckBox1->isChecked();
    s.PopHost = Edit1->text();
    s.PopPort = NumberSpin1->value();
    s.PopUser = Edit2->text();
    s.PopPassword = Edit3->text();
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
    CheckBox4->setEnabled(ComboBox1->currentIndex() != int(SmtpSecurity::None));
    ProtocolLog.clear();
    Edit7->clear();
    Memo1->clear();
}

void TConnDlg::CheckBox1Click()
{
    const bool on = CheckBox1->isChecked();
    for (QWidget *w : {static_cast<QWidget *>(Edit1), static_cast<QWidget *>(Edit2), static_cast<QWidget *>(Edit3),
                       static_cast<QWidget *>(NumberSpin1), static_cast<QWidget *>(Label1), static_cast<QWidget *>(Label2),
                       static_cast<QWidget *>(Label3), static_cast<QWidget *>(Label6)})
        w->setEnabled(on);
}

void TConnDlg::CheckBox2Click()
{
    const bool on = CheckBox2->isChecked();
    for (QWidget *w : {static_cast<QWidget *>(Label8), static_cast<QWidget *>(Label9), static_cast<QWidget *>(Edit5),
                       static_cast<QWidget *>(Edit6)})
        w->setEnabled(on);
}

void TConnDlg::ComboBox1Change()
{
    const auto security = SmtpSecurity(ComboBox1->currentIndex());
    CheckBox4->setEnabled(security != SmtpSecurity::None);
    // The usual ports follow the choice; a port of one's own stays as typed.
    const int port = NumberSpin2->value();
    if (security == SmtpSecurity::Implicit && (port == 25 || port == 587))
        NumberSpin2->setValue(465);
    else if (security != SmtpSecurity::Implicit && port == 465)
        NumberSpin2->setValue(587);
}

void TConnDlg::Button1Click()
{
    const ConnSettingsProblem problem = CheckConnSettings(settings());
    if (!problem.ok()) {
        using Field = ConnSettingsProblem::Field;
        QWidget *field = nullptr;
        switch (problem.field) {
        case Field::PopHost: field = Edit1; break;
        case Field::PopUser: field = Edit2; break;
        case Field::PopPassword: field = Edit3; break;
        case Field::SmtpUser: field = Edit5; break;
        case Field::SmtpPassword: field = Edit6; break;
        case Field::None: break;
        }
        MessageBox::warning(this, problem.message);
        if (field)
            field->setFocus();
        return;
    }
    if (!RetrySchedule::parse(Edit8->text().trimmed())) {
        MessageBox::warning(this, retryScheduleWarning());
        Edit8->setFocus();
        return;
    }
    accept();
}

void TConnDlg::Button3Click()
{
    if (Edit4->text().isEmpty()) {
        MessageBox::warning(this, QStringLiteral("SMTPサーバをセットしてください"));
        Edit4->setFocus();
        return;
    }
    if (Edit7->text().isEmpty()) {
        MessageBox::warning(this, QStringLiteral("メールアドレスをセットしてください"));
        Edit7->setFocus();
        return;
    }
    const MailSocketFactory factory = SocketFactory ? SocketFactory : MailSocketFactory(makeTcpMailSocket);
    const ServerSettings typed = settings();

    if (typed.PopBeforeSmtp) {
        if (NumberSpin1->cleanText().isEmpty()) {
            MessageBox::warning(this, QStringLiteral("POPポートをセットしてください"));
            NumberSpin1->setFocus();
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
        Memo1->clear();
        ProtocolLog.clear();
        repaint();

        const QString address = Edit7->text();
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
        Memo1->setPlainText(ProtocolLog.join(u'\n'));
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

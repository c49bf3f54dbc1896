#pragma once
// 接続情報: the SMTP and POP3 settings, and a test mail sent with the values in the dialog
// (saved or not), its SMTP dialogue shown in testLogMemo, and how deliveries treat the server (the
// waits before a deferred mail is tried again, the mail rate and the pauses). The dialog reads
// the stored settings when it is shown and, closed with OK, hands back what was entered for
// the caller to save; it writes nothing itself.
#include "mail/ConnInfo.h"
#include "store/SendSettings.h"

#include "widgets/FormDialog.h"
#include <QStringList>

class QCheckBox;
class QComboBox;
class QLabel;
class QLineEdit;
class QPlainTextEdit;
class QPushButton;
class QSpinBox;

class TConnDlg : public FormDialog
{
    Q_OBJECT

public:
    // Fields start from the main window's copy; FormShow then reads the stored rows, and a
    // row that is missing leaves its fields as they are.
    explicit TConnDlg(const ServerSettings &info, QWidget *parent = nullptr);

    // The settings as they stand in the fields (after OK: what to save).
    ServerSettings settings() const;
    // The delivery settings as they stand in the fields; after OK the retry schedule has been
    // checked (before, one that does not read keeps the default).
    DeliverySettings deliverySettings() const;
    // "再送の間隔" as RetrySchedule::parse takes it, refused with this warning otherwise.
    static QString retryScheduleWarning();

    // Each widget's objectName keeps the name the product documents give it (Edit5 is the SMTP user).
    QLabel *smtpHostLabel, *smtpPortLabel, *smtpUserLabel, *smtpPasswordLabel;
    QLineEdit *smtpHostEdit, *smtpUserEdit, *smtpPasswordEdit;
    QSpinBox *smtpPortSpin;
    QLabel *popHostLabel, *popPortLabel, *popUserLabel, *popPasswordLabel;
    QLineEdit *popHostEdit, *popUserEdit, *popPasswordEdit;
    QSpinBox *popPortSpin;
    QLabel *testAddressLabel;
    QLineEdit *testAddressEdit;
    // "配信の設定": the retry schedule, mails per minute, per hour and per connection, and the
    // pause between batches in seconds (0: no limit, no pause).
    QLabel *retryLabel, *perMinuteLabel, *perHourLabel, *perConnectionLabel, *pauseLabel;
    QLineEdit *retryEdit;
    QSpinBox *perMinuteSpin, *perHourSpin, *perConnectionSpin, *pauseSpin;
    QCheckBox *popBeforeSmtpCheck, *smtpAuthCheck;
    // "接続の保護": なし / STARTTLS / SSL/TLS (465), in the order of SmtpSecurity; and
    // "証明書を検証する", enabled while there is TLS.
    QLabel *securityLabel;
    QComboBox *securityCombo;
    QCheckBox *verifyCertificateCheck;
    QPushButton *okButton, *cancelButton, *testButton;
    QPlainTextEdit *testLogMemo;

    // The last test's dialogue, one line per block sent or received, CR LF removed.
    QStringList ProtocolLog;

    // Time-outs of the test mail's connect and of every reply.
    int TimeoutMs = 15000;
    // The transport of the test (tests put a fake here); empty: real sockets.
    MailSocketFactory SocketFactory;

public Q_SLOTS:
    void CheckBox1Click();
    void CheckBox2Click();
    void ComboBox1Change();
    void Button1Click();
    void Button3Click();

protected:
    void fillForm() override;

private:
    void fillSmtp(const ServerSettings &settings);
    void fillPop(const ServerSettings &settings);
    void fillDelivery(const DeliverySettings &settings);
};

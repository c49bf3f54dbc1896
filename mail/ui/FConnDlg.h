#pragma once
// 接続情報: the SMTP and POP3 settings, saved as the two CommonTBL rows, and a test mail sent
// with the values in the dialog (saved or not), its SMTP dialogue shown in Memo1.
#include "mail/ConnInfo.h"

#include <QDialog>
#include <QStringList>

class QCheckBox;
class QLabel;
class QLineEdit;
class QPlainTextEdit;
class QPushButton;
class QSpinBox;

class TConnDlg : public QDialog
{
    Q_OBJECT

public:
    // Fields start from the main window's copy; FormShow then reads the rows themselves.
    explicit TConnDlg(const ConnInfo &info, QWidget *parent = nullptr);

    QLabel *Label1, *Label2, *Label3, *Label4, *Label6, *Label7, *Label8, *Label9, *Label10;
    QLineEdit *Edit1, *Edit2, *Edit3, *Edit4, *Edit5, *Edit6, *Edit7;
    QSpinBox *NumberSpin1, *NumberSpin2;
    QCheckBox *CheckBox1, *CheckBox2, *CheckBox3;
    QPushButton *Button1, *Button2, *Button3;
    QPlainTextEdit *Memo1;

    // Whether each row was there when the dialog opened (update or insert).
    bool SmtpRowExists = false;
    bool PopRowExists = false;
    // The last test's dialogue, one line per block sent or received, CR LF removed.
    QStringList ProtocolLog;

    // Time-outs of the test mail's connect and of every reply.
    int TimeoutMs = 15000;
    // The transport of the test (tests put a fake here); empty: real sockets.
    MailSocketFactory SocketFactory;

public Q_SLOTS:
    void FormShow();
    void CheckBox1Click();
    void CheckBox2Click();
    void Button1Click();
    void Button3Click();

protected:
    void showEvent(QShowEvent *event) override;

private:
    bool m_shown = false;
};

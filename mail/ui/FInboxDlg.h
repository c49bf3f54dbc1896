#pragma once
// 返信メールの処理: which mailbox replies and delivery reports come back to, and one pass over
// it with a progress bar and a stop button. The settings are saved when the pass starts; the
// pass runs on a thread of its own, so the window keeps painting, and its summary is shown
// at the end.
#include "mail/InboxProcess.h"
#include "widgets/FormDialog.h"

#include <atomic>

class QCheckBox;
class QComboBox;
class QLabel;
class QLineEdit;
class QProgressBar;
class QPushButton;
class QRadioButton;
class QSpinBox;

class TInboxDlg : public FormDialog
{
    Q_OBJECT

public:
    explicit TInboxDlg(QWidget *parent = nullptr);

    QRadioButton *PopRowRadio = nullptr;  // 接続情報の POP サーバーを使う
    QRadioButton *OwnRadio = nullptr;     // 次のサーバーを使う
    QLineEdit *HostEdit = nullptr;
    QSpinBox *PortSpin = nullptr;
    QLineEdit *UserEdit = nullptr;
    QLineEdit *PasswordEdit = nullptr;
    QComboBox *ProtocolCombo = nullptr;   // POP3 / IMAP (own server only)
    QComboBox *TlsCombo = nullptr;        // なし / STLS (STARTTLS) / SSL/TLS
    QLineEdit *FolderEdit = nullptr;      // IMAP: the folder read (empty: INBOX)
    QLineEdit *MoveToEdit = nullptr;      // IMAP: processed mail goes there (empty: deleted)
    QSpinBox *DeleteUnknownSpin = nullptr;  // days after which mail left alone is deleted; 0 never
    QCheckBox *KeepCheck = nullptr;       // メールボックスから削除しない
    QProgressBar *ProgressBar = nullptr;
    QLabel *StatusLabel = nullptr;
    QPushButton *RunButton = nullptr;     // 実行
    QPushButton *CloseButton = nullptr;   // 閉じる, 中止 while a pass runs

    // The transport of the pass (tests put a fake here); empty: real sockets.
    MailSocketFactory SocketFactory;

    // Whether a pass ran, and what it did (members may have changed).
    bool ran() const { return m_ran; }
    const InboxSummary &summary() const { return m_summary; }

public Q_SLOTS:
    void RunButtonClick();
    void CloseButtonClick();
    void TlsComboChange(int index);
    void ProtocolComboChange(int index);
    void OwnRadioClick();

protected:
    void fillForm() override;
    void reject() override;

private:
    bool saveSettings();
    void setRunning(bool running);

    std::atomic<bool> m_cancel{false};
    bool m_running = false;
    bool m_ran = false;
    InboxSummary m_summary;
};

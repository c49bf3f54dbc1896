#pragma once
// The magazine dialog: adds a magazine (MagIdx -1 when it opens) or edits the magazine
// MagIdx. A name that another magazine has already is refused either way.
#include "members/UMemberRecord.h"

#include <QDialog>

class QCheckBox;
class QComboBox;
class QLabel;
class QLineEdit;
class QPushButton;

class TMagzineDlg : public QDialog
{
    Q_OBJECT

public:
    explicit TMagzineDlg(const QString &dataDir, QWidget *parent = nullptr);

    // Set by the caller before the dialog opens: the magazine to edit, or -1 to add one;
    // after an add, the new magazine's.
    int MagIdx = -1;
    bool EditMode = false;

    QLineEdit *Edit1 = nullptr;   // マガジン名
    QLineEdit *Edit4 = nullptr;   // メール宛名
    QCheckBox *CheckBox1 = nullptr;  // 個別に送信
    QLineEdit *Edit2 = nullptr;   // 発行者名
    QLineEdit *Edit3 = nullptr;   // メールアドレス
    QComboBox *ComboBox1 = nullptr;  // signature file
    QLabel *Label4 = nullptr;     // the signature link
    QLineEdit *Edit5 = nullptr, *Edit6 = nullptr, *Edit7 = nullptr;   // flag names
    QLineEdit *Edit8 = nullptr, *Edit9 = nullptr;                      // counter names
    QLineEdit *Edit10 = nullptr, *Edit11 = nullptr;                    // date names
    QPushButton *Button1 = nullptr;  // OK
    QPushButton *Button2 = nullptr;  // キャンセル

    // The values as the fields hold them.
    MagazineRecord record() const;

Q_SIGNALS:
    // The signature link was clicked: whoever opened the dialog shows the signature editor
    // on the chosen file ("" when none) before this returns, so a signature saved there is
    // offered at once. Connect it directly.
    void SignatureEditRequested(const QString &fileName);

public Q_SLOTS:
    // Fills the fields; runs once when the dialog is first shown.
    void FormShow();
    void Button1Click();
    void Label4Click();

protected:
    void showEvent(QShowEvent *event) override;

private:
    void fillSignatures();
    void chooseSignature(const QString &fileName);
    QString chosenSignature() const;

    QString m_dataDir;
    bool m_shown = false;
};

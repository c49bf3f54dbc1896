#pragma once
// A magazine's mail settings: always UTF-8, where members unsubscribe, and what replies do
// to them. Shows the stored settings of one magazine and writes them back on OK; values that
// cannot go into a header are refused with the dialog left open.
#include "store/MagazineMailSettings.h"
#include "widgets/FormDialog.h"

class QCheckBox;
class QComboBox;
class QLineEdit;
class QPushButton;
class QSpinBox;

class TMagMailDlg : public FormDialog
{
    Q_OBJECT

public:
    TMagMailDlg(int magIdx, const QString &magazineName, QWidget *parent = nullptr);

    MagazineMailSettings settings() const;

    QCheckBox *Utf8Check = nullptr;      // 常に UTF-8 で送信する
    QLineEdit *AddressEdit = nullptr;    // 配信停止の受付アドレス
    QLineEdit *UrlEdit = nullptr;        // 配信停止のURL
    QComboBox *ActionCombo = nullptr;    // 配信停止の依頼が届いたとき
    QSpinBox *BounceSpin = nullptr;      // 不達で配信停止にする回数
    QLineEdit *ReturnPathEdit = nullptr; // 不達メールの返送先
    QPushButton *OkButton = nullptr;
    QPushButton *CancelButton = nullptr;

public Q_SLOTS:
    void OkButtonClick();

protected:
    void fillForm() override;

private:
    int m_magIdx;
};

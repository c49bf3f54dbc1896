#pragma once
// The magazine dialog: shows a magazine's record (MagIdx -1 to add one), checks it on OK,
// hands it to the caller's save and gives it back. A name that another magazine has
// already is refused either way.
#include "store/MagazineSql.h"
#include "widgets/FormDialog.h"

#include <functional>

class QCheckBox;
class QComboBox;
class QFormLayout;
class QLabel;
class QLineEdit;
class QPushButton;

class TMagzineDlg : public FormDialog
{
    Q_OBJECT

public:
    explicit TMagzineDlg(const QString &dataDir, QWidget *parent = nullptr);

    // The magazine the fields start from, set before the dialog opens; a new one (the
    // default) has MagIdx -1 and the default field names.
    void setRecord(const MagazineRecord &m);
    // Runs on OK once the checks pass: writes the magazine, filling in a new one's MagIdx.
    // A save that fails shows its error and keeps the dialog open. Without one, OK only
    // checks.
    void setSave(std::function<void(MagazineRecord &)> save);

    // The magazine edited, or -1 while a new one is not saved yet.
    int MagIdx() const { return m_record.magIdx; }
    // Whether the dialog opened on a stored magazine.
    bool EditMode() const { return m_editMode; }

    // Each widget's objectName keeps the name the product documents give it (Edit1 ...).
    QLineEdit *nameEdit = nullptr;        // マガジン名
    QLineEdit *salutationEdit = nullptr;  // メール宛名
    QCheckBox *individualCheck = nullptr; // 個別に送信
    QLineEdit *ownerEdit = nullptr;       // 発行者名
    QLineEdit *addressEdit = nullptr;     // メールアドレス
    QComboBox *signatureCombo = nullptr;  // the signature file
    QLabel *signatureLink = nullptr;      // 署名: opens the signature editor
    // The names of the magazine's flags, counters and dates.
    QLineEdit *flag1NameEdit = nullptr, *flag2NameEdit = nullptr, *flag3NameEdit = nullptr;
    QLineEdit *count1NameEdit = nullptr, *count2NameEdit = nullptr;
    QLineEdit *date1NameEdit = nullptr, *date2NameEdit = nullptr;
    QPushButton *okButton = nullptr;
    QPushButton *cancelButton = nullptr;

    // The values as the fields hold them.
    MagazineRecord record() const;

Q_SIGNALS:
    // The signature link was clicked: whoever opened the dialog shows the signature editor
    // on the chosen file ("" when none) before this returns, so a signature saved there is
    // offered at once. Connect it directly.
    void SignatureEditRequested(const QString &fileName);

public Q_SLOTS:
    void Button1Click();
    void Label4Click();

protected:
    void fillForm() override;

private:
    QFormLayout *layOut();
    QLineEdit *fieldEdit(int field) const;
    void fillSignatures();
    void chooseSignature(const QString &fileName);
    QString chosenSignature() const;

    QString m_dataDir;
    MagazineRecord m_record;
    std::function<void(MagazineRecord &)> m_save;
    bool m_editMode = false;
};

#pragma once
// The member dialog: shows a member's record (UserIdx -1 for a new one), checks it on OK,
// hands it to the caller's save and gives it back.
#include "store/MemberSql.h"
#include "widgets/FormDialog.h"

#include <QSpinBox>

#include <array>
#include <functional>
#include <optional>

class QCheckBox;
class QDateEdit;
class QLabel;
class QLineEdit;
class QMenu;
class QPushButton;

// A whole-number field shown with grouped digits; Page Up and Page Down take the fast step.
class NumberSpin : public QSpinBox
{
    Q_OBJECT

public:
    explicit NumberSpin(QWidget *parent = nullptr);
    int fastStep = 100;

protected:
    void keyPressEvent(QKeyEvent *event) override;
};

class TUserDlg : public FormDialog
{
    Q_OBJECT

public:
    explicit TUserDlg(QWidget *parent = nullptr);

    // The member the fields start from, set before the dialog opens: a stored one, or a new
    // one (UserIdx -1) whose name and address may be filled in already.
    void setRecord(const MemberRecord &m);
    // Runs on OK once the checks pass: writes the member, filling in a new one's UserIdx
    // and sign-up date. A save that fails shows its error and keeps the dialog open.
    // Without one, OK only checks.
    void setSave(std::function<void(MemberRecord &)> save);

    int MagIdx() const { return m_record.magIdx; }
    // -1 for a new member until it is saved.
    int UserIdx() const { return m_record.userIdx; }

    // Each widget's objectName keeps the name the product documents give it (Edit1 ...).
    QLineEdit *nameEdit = nullptr; // 名前
    QLineEdit *addressEdit = nullptr;
    QLineEdit *urlEdit = nullptr;
    // The member's flags, counters and dates, captioned with the magazine's field names.
    QCheckBox *flag1Check = nullptr, *flag2Check = nullptr, *flag3Check = nullptr;
    QLabel *count1Label = nullptr, *count2Label = nullptr;
    NumberSpin *count1Spin = nullptr, *count2Spin = nullptr;
    QLabel *date1Label = nullptr, *date2Label = nullptr;
    QDateEdit *date1Picker = nullptr, *date2Picker = nullptr;
    QCheckBox *sleepCheck = nullptr; // 配信停止
    QPushButton *okButton = nullptr;
    QPushButton *cancelButton = nullptr;
    QMenu *pasteMenu = nullptr; // 貼り付け

    // Labels the flag boxes and the counter and date labels with the magazine's field
    // names; with hints, each field also gets its name as its hint.
    void setFieldNames(const std::array<QString, 7> &names, bool withHints);

    // Given back after OK.
    int SleepValue() const { return m_sleepValue; }
    QString AddDate() const { return m_record.addDate; }
    // The member as the fields hold it (dates as they will be stored).
    MemberRecord record() const;

public Q_SLOTS:
    void Button1Click();
    void Paste1Click();
    // Text dropped on the dialog: a name or an address read out of it fills its field.
    void dropText(const QString &text);

protected:
    void fillForm() override;
    void dragEnterEvent(QDragEnterEvent *event) override;
    void dropEvent(QDropEvent *event) override;
    bool eventFilter(QObject *watched, QEvent *event) override;

private:
    void layOut();
    void setDate(int which, const std::optional<QString> &stored);
    std::optional<QString> dateValue(int which) const;

    MemberRecord m_record;
    std::function<void(MemberRecord &)> m_save;
    int m_sleepValue = 0;
    // A stored date that is not a valid day (or NULL) is shown as its text and saved back
    // unchanged unless the user picks a date.
    std::array<std::optional<QString>, 2> m_storedDate;
    std::array<bool, 2> m_keepStored{};
};

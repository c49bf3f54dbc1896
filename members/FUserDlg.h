#pragma once
// The member dialog: adds a member (UserIdx -1) or edits one, for the magazine MagIdx.
#include "members/UMemberRecord.h"

#include <QDialog>
#include <QSpinBox>

#include <array>
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

class TUserDlg : public QDialog
{
    Q_OBJECT

public:
    explicit TUserDlg(QWidget *parent = nullptr);

    // Set by the caller before the dialog opens.
    int MagIdx = -1;
    int UserIdx = -1;  // -1 for a new member; the new member's after a successful insert

    QLineEdit *Edit1 = nullptr;  // 名前
    QLineEdit *Edit2 = nullptr;  // アドレス
    QLineEdit *Edit3 = nullptr;  // url
    QCheckBox *CheckBox2 = nullptr, *CheckBox3 = nullptr, *CheckBox4 = nullptr;  // flags
    QLabel *Label3 = nullptr, *Label4 = nullptr;  // counter names
    NumberSpin *NumberSpin1 = nullptr, *NumberSpin2 = nullptr;
    QLabel *Label5 = nullptr, *Label6 = nullptr;  // date names
    QDateEdit *DateTimePicker1 = nullptr, *DateTimePicker2 = nullptr;
    QCheckBox *CheckBox1 = nullptr;  // 配信停止
    QPushButton *Button1 = nullptr;  // OK
    QPushButton *Button2 = nullptr;  // キャンセル
    QMenu *PopupMenu1 = nullptr;     // 貼り付け

    // Labels the flag boxes and the counter and date labels with the magazine's field
    // names; with hints, each field also gets its name as its hint.
    void setFieldNames(const std::array<QString, 7> &names, bool withHints);

    // Given back after OK.
    int SleepValue() const { return m_sleepValue; }
    QString AddDate() const { return m_addDate; }
    // The member as the fields hold it (dates as they will be stored).
    MemberRecord record() const;

public Q_SLOTS:
    void FormShow();
    void Button1Click();
    void Paste1Click();
    // Text dropped on the dialog: a name or an address read out of it fills its field.
    void dropText(const QString &text);

protected:
    void showEvent(QShowEvent *event) override;
    void dragEnterEvent(QDragEnterEvent *event) override;
    void dropEvent(QDropEvent *event) override;
    bool eventFilter(QObject *watched, QEvent *event) override;

private:
    void setDate(int which, const std::optional<QString> &stored);
    std::optional<QString> dateValue(int which) const;

    bool m_shown = false;
    int m_sleepValue = 0;
    QString m_addDate;
    // A stored date that is not a valid day (or NULL) is shown as its text and saved back
    // unchanged unless the user picks a date.
    std::array<std::optional<QString>, 2> m_storedDate;
    std::array<bool, 2> m_keepStored{};
};

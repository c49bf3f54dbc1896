#pragma once
// The send tab: which members receive the issue (send condition and its inputs), what is
// updated after the delivery, and the commands that list the targets and send.
#include "issue/USendCondition.h"

#include <QDateTime>
#include <QWidget>

#include <array>
#include <functional>

class CurrentMagazine;
class QCheckBox;
class QDateEdit;
class QLabel;
class QPushButton;
class QRadioButton;
class QSpinBox;
class TRadioGroup;

class TSendPage : public QWidget
{
    Q_OBJECT

public:
    // What the page needs from the main window.
    struct Hooks {
        std::function<QString()> smtpHost;
        std::function<QString()> subject;
        std::function<QString()> body;
        // Bring the mail tab to front with the focus on the subject (true) or the body.
        std::function<void(bool subject)> showComposer;
        // Bring this page to front.
        std::function<void()> showPage;
        // The issue is committed: reload the member rows and start the delivery for its
        // recipients.
        std::function<void(int magIdx, int magCnt, int recipients)> issueCreated;
    };

    // The after-send captions follow the magazine; dataDir holds the "where" folder of
    // the condition editor.
    TSendPage(const CurrentMagazine &magazine, const QString &dataDir, QWidget *parent = nullptr);
    void setHooks(const Hooks &hooks) { m_hooks = hooks; }

    // Captions (and hints) of CheckBox1..CheckBox7, set when a magazine is selected
    // (AfterSendCaptions of members/UMemberRecord.h makes them from the field names).
    void SetAfterSendCaptions(const std::array<QString, 7> &captions);

    // The current inputs as plain values.
    SendInputs inputs() const;
    std::array<bool, 7> afterSendUpdates() const;

    bool CheckSendSettings(bool withText);
    // Characters of the subject, body, sender name or salutation that have no CP932 code:
    // names them and asks whether to send anyway. True to go on.
    bool ConfirmUnmappable();
    SendConditionText BuildSendCondition() const;
    bool DispatchIssue();

    void RadioGroup3Click(int index);
    void RadioButton1Click(int tag);
    void Button1Click();
    void Button2Click();
    void Button4Click();

    // The clock of issue creation (tests fix it).
    std::function<QDateTime()> clock = [] { return QDateTime::currentDateTime(); };

    TRadioGroup *conditionGroup;
    TRadioGroup *fieldGroup;
    QLabel *dateLabel;
    QDateEdit *datePicker;
    QRadioButton *wholeDateRadio;
    QRadioButton *monthDayRadio;
    QLabel *valueLabel;
    QSpinBox *valueSpin;
    QPushButton *detailsButton;
    QPushButton *showTargetsButton;
    QPushButton *sendButton;
    QLabel *afterSendLabel;
    std::array<QCheckBox *, 7> CheckBoxes{};

    // The free condition: as a where-clause, and as the user wrote it.
    QString CustomCondSql;
    QString CustomCondText;

private:
    const CurrentMagazine &m_magazine;
    const QString m_dataDir;
    Hooks m_hooks;
};

#pragma once
// The condition editor: a free condition written with the magazine's own field names.
#include "widgets/FormDialog.h"

#include <array>

class QComboBox;
class QPlainTextEdit;
class QPushButton;
class QToolButton;

class TSQLEditDlg : public FormDialog
{
    Q_OBJECT

public:
    explicit TSQLEditDlg(const QString &dataDir, QWidget *parent = nullptr);

    std::array<QString, 7> FieldNames;
    // On entry the text to show; after OK the translated clause.
    QString ConditionSql;
    // The condition as written, line breaks CR LF.
    QString conditionText() const;

    void ComboBox1Change();
    void Button1Click();
    void Button5Click();
    void Button2Click();
    void Button3Click();
    void SpeedButton1Click();
    void SpeedButton2Click();

    QComboBox *fieldCombo;
    QComboBox *operatorCombo;
    QComboBox *valueCombo;
    QComboBox *joinCombo;
    QPushButton *insertFieldButton;
    QPushButton *checkButton;
    QPushButton *okButton;
    QPushButton *cancelButton;
    QPushButton *insertJoinButton;
    QPlainTextEdit *conditionMemo;
    QToolButton *openButton;
    QToolButton *saveButton;

protected:
    void fillForm() override;

private:
    void insertAtCaret(const QString &text);
    QString m_dataDir;
};

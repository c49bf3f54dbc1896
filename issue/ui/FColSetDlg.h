#pragma once
// The line width of the mail body, in full-width characters.
#include <QDialog>

class QSpinBox;
class QPushButton;

class TColSetDlg : public QDialog
{
    Q_OBJECT

public:
    explicit TColSetDlg(QWidget *parent = nullptr);

    int value() const;

    QSpinBox *columnSpin;
    QPushButton *okButton;
    QPushButton *cancelButton;

    void FormShow();
    void Button1Click();
};

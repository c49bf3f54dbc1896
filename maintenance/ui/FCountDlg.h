#pragma once
// The counter dialog: a value and whether it replaces, adds to or subtracts from the counter.
#include <QDialog>

class QLabel;
class QPushButton;
class QRadioButton;
class QSpinBox;

class TCountDlg : public QDialog
{
    Q_OBJECT

public:
    explicit TCountDlg(QWidget *parent = nullptr);

    // The counter's own name, shown beside the value.
    void setFieldName(const QString &name);

    // 0 = set (固定値), 1 = add (加算), 2 = subtract (減算); read when OK was pressed.
    int mode() const { return m_mode; }
    qint64 value() const;

    QLabel *valueLabel = nullptr;
    QSpinBox *valueSpin = nullptr;
    QRadioButton *setRadio = nullptr;
    QRadioButton *addRadio = nullptr;
    QRadioButton *subtractRadio = nullptr;
    QPushButton *okButton = nullptr;
    QPushButton *cancelButton = nullptr;

public Q_SLOTS:
    void Button1Click();

private:
    int m_mode = 0;
};

#pragma once
// The date dialog: one day, for setting a member date or choosing where a deletion stops.
#include <QDate>
#include <QDialog>

class QDateEdit;
class QLabel;
class QPushButton;

class TDateDlg : public QDialog
{
    Q_OBJECT

public:
    // Opens on today.
    explicit TDateDlg(QWidget *parent = nullptr);

    // What the date stands for, shown beside the picker.
    void setFieldName(const QString &name);
    void setDate(const QDate &day);
    QDate date() const;

    QLabel *fieldLabel = nullptr;
    QDateEdit *datePicker = nullptr;
    QPushButton *okButton = nullptr;
    QPushButton *cancelButton = nullptr;
};

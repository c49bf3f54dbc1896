#pragma once
// The address search box: a text and "次を検索". It does not block the main window and
// offers neither direction, nor case matching, nor whole-word matching.
#include <QDialog>

class QLabel;
class QLineEdit;
class QPushButton;

class TFindDlg : public QDialog
{
    Q_OBJECT

public:
    explicit TFindDlg(QWidget *parent = nullptr);

    QString findText() const;
    void setFindText(const QString &text);

    QLabel *findLabel = nullptr;
    QLineEdit *findEdit = nullptr;
    QPushButton *findNextButton = nullptr; // 次を検索
    QPushButton *cancelButton = nullptr;

Q_SIGNALS:
    // The user asked to find the text.
    void find();
};

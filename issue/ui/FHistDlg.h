#pragma once
// A list of members in a read-only text area: the targets of a send condition, or the
// recipients of a past issue (with each one's delivery state and the server's last reply,
// when the issue has per-recipient records).
#include "store/RecipientQuery.h"

#include <QDialog>

class QLabel;
class QPushButton;
class QPlainTextEdit;

class THistDlg : public QDialog
{
    Q_OBJECT

public:
    enum class Mode { Targets, Recipients };
    explicit THistDlg(QWidget *parent = nullptr);

    Mode ListMode = Mode::Targets;
    int ListMagIdx = -1;
    int ListMagCnt = 0;
    RecipientQuery ListWhere; // targets mode: the selection of the send condition

    // Fills the list; a failing statement throws StoreError and the caller shows it.
    void FormShow();
    // The listed lines, for tests.
    QStringList lines() const;

    QLabel *Label1;
    QLabel *Label2;
    QLabel *Label3;
    QLabel *Label4;
    QPlainTextEdit *RichEdit1;
    QPushButton *Button1;

private:
    void addLine(const QString &name, const QString &address);
};

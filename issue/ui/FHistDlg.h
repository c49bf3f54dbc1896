#pragma once
// A list of members, one blue line each: the targets of a send condition, or the
// recipients of a past issue (with each one's delivery state and the server's last reply,
// when the issue has per-recipient records). Lines are read as the list scrolls to them, so
// a magazine of a million members opens as fast as one of a hundred.
#include "store/RecipientQuery.h"

#include <QDialog>

class QLabel;
class QPushButton;
class QListView;
class MemberLinesModel;

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
    // Every listed line, read to the end first (for tests).
    QStringList lines() const;
    MemberLinesModel *model() const { return m_model; }

    QLabel *headingLabel;
    QLabel *subjectCaptionLabel;
    QLabel *sentAtLabel;
    QLabel *subjectLabel;
    QListView *memberList;
    QPushButton *closeButton;

private:
    // Ctrl+C copies the selected lines, as the text area let the user copy them.
    void copySelection();

    MemberLinesModel *m_model;
};

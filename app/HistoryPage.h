#pragma once
// The history page: the current magazine's issues over the preview of the one selected. It
// follows the current magazine (another one empties the page) and owns the list's columns and their stored widths, the preview, and the
// commands on the selected issue: its recipients, taking it into the composer, resuming its
// delivery or sending again to its failed recipients, and the deletion of the magazine's
// history up to a day. The "状態" column shows how each issue's delivery stands, and for one
// being delivered, who delivers it and since when.
#include "store/SendStates.h"

#include <QWidget>

class CurrentMagazine;
class QPlainTextEdit;
class QSplitter;
class QTreeWidget;

class THistoryPage : public QWidget
{
    Q_OBJECT

public:
    explicit THistoryPage(const CurrentMagazine &magazine, QWidget *parent = nullptr);

    QSplitter *previewSplitter;
    QTreeWidget *historyList;
    QPlainTextEdit *preview;

    // Lists the current magazine's issues, after warning when none is selected.
    void H1Click();
    // Lists the current magazine's issues; loaded() tells the window to show the page.
    void LoadHistoryList();
    // Empties the list and the preview.
    void clear();
    void ListView4SelectItem();
    // Hands the selected issue's subject and body to editIssue().
    void E4Click();
    // The recipients of the selected issue.
    void M1Click(int tag);
    // Deletes the history up to a day the user picks; true when something was deleted.
    bool D4Click();
    // Resumes the selected issue's delivery when it was left unfinished ("中断").
    void Resume1Click();
    // Queues the selected issue's failed recipients (and, when the user says so, the unknown
    // ones) again and delivers to them under the same issue number.
    void Resend1Click();
    // Reads the listed issues' states again into the "状態" column (a delivery has ended).
    void refreshStates();
    // Whether the commands above apply to the selected issue, as the list last read it.
    bool canResumeSelected() const;
    bool canResendSelected() const;

    void loadColumnWidths();
    void saveColumnWidths() const;

Q_SIGNALS:
    void loaded();
    void editIssue(const QString &subject, const QString &body);
    // A delivery of a recorded issue is to start for this many recipients.
    void startDelivery(int magIdx, int magCnt, int recipients);
    // The selection or the states changed: the commands on the selection may apply or not.
    void commandsChanged();

private:
    // Puts each listed issue's state into its row, from one read for the magazine.
    void showStates(int magIdx);
    // The selected issue and what is left of it, read afresh; false (and a warning) when
    // none is selected, a delivery holds it or it has no per-recipient records.
    bool readOpenIssue(int *magIdx, int *magCnt, SendStateCounts *counts);

    const CurrentMagazine &m_magazine;
    // Bringing the history tab to front loads the list, and loading brings the tab to
    // front: one load at a time is enough.
    bool m_loading = false;
};

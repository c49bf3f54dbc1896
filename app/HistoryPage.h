#pragma once
// The history page: the current magazine's issues (ListView4) over the preview of the one
// selected (Memo2). It owns the list's columns and their stored widths, the preview, and the
// commands on the selected issue: its recipients, taking it into the composer, and the
// deletion of the magazine's history up to a day.
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

    QSplitter *Splitter3;
    QTreeWidget *ListView4;
    QPlainTextEdit *Memo2;

    // Lists the current magazine's issues, after warning when none is selected.
    void H1Click();
    // Lists the current magazine's issues; loaded() tells the window to show the page.
    void LoadHistoryList();
    void clear();
    void ListView4SelectItem();
    // Hands the selected issue's subject and body to editIssue().
    void E4Click();
    // The recipients of the selected issue.
    void M1Click(int tag);
    // Deletes the history up to a day the user picks; true when something was deleted.
    bool D4Click();

    void loadColumnWidths();
    void saveColumnWidths() const;

Q_SIGNALS:
    void loaded();
    void editIssue(const QString &subject, const QString &body);

private:
    const CurrentMagazine &m_magazine;
    // Bringing the history tab to front loads the list, and loading brings the tab to
    // front: one load at a time is enough.
    bool m_loading = false;
};

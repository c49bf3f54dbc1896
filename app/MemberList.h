#pragma once
// The member list (ListView2): the current magazine's members with the columns its display
// settings choose. It owns its model, its columns and their stored widths, the header's sort
// indicator, the keys, the text dropped on it, its context menu and the commands on the
// selected members; it follows the current magazine by itself. Cells change only by what the
// list reads from the store.
#include "members/MemberField.h"
#include "store/BulkUpdateRecords.h"

#include <QTreeView>

#include <array>

class CurrentMagazine;
class QAction;
class QMenu;
class TFindDlg;
class TMemberListModel;

class TMemberList : public QTreeView
{
    Q_OBJECT

public:
    explicit TMemberList(const CurrentMagazine &magazine, QWidget *parent = nullptr);

    TMemberListModel *memberModel() const { return m_model; }

    // The context menu (PopupMenu1); its actions with a shortcut work while the list has the
    // focus.
    QMenu *contextMenu() const { return m_menu; }
    // An action of the context menu by its name ("popup_" handler "_" tag), or null.
    QAction *contextAction(const QString &name) const;
    // The address search box, once the find command has made it.
    TFindDlg *findDialog() const { return m_findDialog; }

    // Columns of the current magazine's display settings, widths as stored or fitted.
    void BuildMemberColumns();
    // The rows of a magazine; -1 empties the list.
    void LoadMemberRows(int magIdx);
    // Stores the width of every column shown, for the next BuildMemberColumns.
    void saveColumnWidths() const;

    // Selected rows, top to bottom.
    QList<int> selectedRowNumbers() const;
    // The rows a command on selected members acts on: the selected ones, none when no
    // magazine is chosen.
    QList<int> commandRows() const;
    // The first column that shows the field, or -1 when it is not shown.
    int columnOf(int field) const;

    // Commands (MemberList*.cpp).
    void A1Click();   // add a member
    void E3Click();   // edit the first selected member
    void yu1Click();  // delete the selected members
    void S2Click();   // suspend or resume the selected members
    void O1Click();   // display settings
    void N45Click();  // read the rows again
    void Bounces1Click();  // shows or hides the columns of returned mail
    bool ShowBounces() const { return m_showBounces; }
    void ListView2ColumnClick(int column);
    // Text dropped on the list: kept in DroppedText, then DroppedTextReady is queued.
    void OleDropTarget1Drop(const QString &text);
    // Opens the add-member dialog filled from DroppedText.
    void DroppedTextReady();
    // MemberListBulk.cpp: one field of the selected members, or of every member.
    void A4Click(MemberField flag, bool on);  // a flag ON or OFF
    void N15Click(MemberField counter);        // a counter set, raised or lowered
    void N16Click(MemberField date);           // a date set
    void OFF11Click(MemberField field);        // a field reset for every member
    // MemberListAddresses.cpp: the address check, the address search, the home pages.
    void C4Click();
    void Find1Click();
    void FindDialog1Find();
    void U2Click();

    // View state.
    const std::array<int, 32> &ColumnMap() const { return m_columnMap; }  // field per column, -1 beyond the last
    int MemberSortColumn() const { return m_sortColumn; }
    bool SortDescending() const { return m_sortDescending; }
    const QString &DroppedText() const { return m_droppedText; }

Q_SIGNALS:
    // Members were added or removed by a command of the list.
    void countChanged();
    // A command shows its result in the list: the page holding it is to come to front.
    void showRequested();

protected:
    void keyPressEvent(QKeyEvent *event) override;

private:
    void buildContextMenu();
    // The current magazine changed: its columns and rows, after keeping the widths of the
    // columns being left.
    void followMagazine();
    // The header's sort indicator changed, by a click or by a command: sort the rows by it.
    void SortMembers(int column, Qt::SortOrder order);
    // The members of the selected rows, top to bottom; none without a magazine.
    QList<int> selectedMembers() const;
    // MemberListBulk.cpp: writes the change for these members, then reads their rows again.
    void changeSelected(const QList<int> &members, const BulkUpdateRecords::Change &change);

    const CurrentMagazine &m_magazine;
    TMemberListModel *m_model;
    QMenu *m_menu = nullptr;
    TFindDlg *m_findDialog = nullptr;
    std::array<int, 32> m_columnMap;
    int m_sortColumn = 0;
    bool m_sortDescending = false;
    QString m_droppedText;  // trimmed
    bool m_showBounces = false;
};

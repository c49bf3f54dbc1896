#pragma once
// The magazine list (ListView1): every magazine with its member count, the current one
// marked as the current magazine changes. It owns its rows, their Shift-JIS order by the
// header's sort indicator, and its column widths; the window decides what choosing, editing
// or deleting a magazine does.
#include <QTreeWidget>

class CurrentMagazine;

class TMagazineList : public QTreeWidget
{
    Q_OBJECT

public:
    explicit TMagazineList(const CurrentMagazine &magazine, QWidget *parent = nullptr);

    // Every magazine of the store, none marked.
    void LoadMagazineList();
    // The row of the current magazine, or -1.
    int FindMagazineRow() const;
    // The magazine of a row.
    static int magIdxOf(const QTreeWidgetItem *item);
    // Marks the row (-1 for none) as the current magazine's, and no other.
    void markCurrent(int row);
    // The current magazine's member count.
    void ShowMemberCount(int count);

    void ListView1ColumnClick(int column);

    void loadColumnWidths();
    void saveColumnWidths() const;

    // View state.
    int MagSortColumn() const { return m_sortColumn; }
    bool SortDescending() const { return m_sortDescending; }

Q_SIGNALS:
    // A row was double-clicked: the magazine is to be edited.
    void editRequested();

private:
    // The header's sort indicator changed, by a click or by a command: sort the rows by it.
    void SortMagazines(int column, Qt::SortOrder order);

    const CurrentMagazine &m_magazine;
    int m_sortColumn = 0;
    bool m_sortDescending = false;
};

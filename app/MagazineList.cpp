#include "MagazineList.h"

#include "HeaderSort.h"
#include "ListWidths.h"
#include "members/CurrentMagazine.h"
#include "members/USjisKey.h"
#include "store/AppSettings.h"
#include "store/Database.h"
#include "store/MagazineSql.h"
#include "widgets/Command.h"
#include "widgets/WaitCursor.h"

#include <QHeaderView>
#include <QStyle>

namespace {

constexpr int kCurrentMarkRole = Qt::UserRole + 1;

// A magazine row; rows compare by the Shift-JIS rule on the sorted column's text, with
// each text's key made once and kept until the text changes.
class MagazineItem : public QTreeWidgetItem
{
public:
    using QTreeWidgetItem::QTreeWidgetItem;

    bool operator<(const QTreeWidgetItem &other) const override
    {
        const int column = treeWidget() ? treeWidget()->sortColumn() : 0;
        const auto *o = dynamic_cast<const MagazineItem *>(&other);
        if (!o)
            return QTreeWidgetItem::operator<(other);
        return key(column) < o->key(column);
    }

private:
    const std::u16string &key(int column) const
    {
        const QString t = text(column);
        if (m_keyColumn != column || m_keyText != t) {
            m_keyColumn = column;
            m_keyText = t;
            m_key = SjisKey::make(t);
        }
        return m_key;
    }
    mutable int m_keyColumn = -1;
    mutable QString m_keyText;
    mutable std::u16string m_key;
};

void setMark(QTreeWidgetItem *item, bool current)
{
    const QStyle *style = item->treeWidget() ? item->treeWidget()->style() : nullptr;
    if (style)
        item->setIcon(0, style->standardIcon(current ? QStyle::SP_ArrowRight : QStyle::SP_FileIcon));
    item->setData(0, kCurrentMarkRole, current);
}

} // namespace

void TMagazineList::LoadMagazineList()
{
    WaitCursor wait;
    Command::run(window(), [this] {
        const QList<MagazineSql::ListEntry> list = MagazineSql::list();
        clear();
        for (const MagazineSql::ListEntry &m : list) {
            auto *item = new MagazineItem(this);
            item->setData(0, Qt::UserRole, m.magIdx);
            item->setText(0, m.name);
            item->setText(1, QString::number(m.members));
            setMark(item, false);
        }
    });
}

TMagazineList::TMagazineList(const CurrentMagazine &magazine, QWidget *parent)
    : QTreeWidget(parent), m_magazine(magazine)
{
    setObjectName(QStringLiteral("ListView1"));
    setRootIsDecorated(false);
    setSelectionMode(QAbstractItemView::SingleSelection);
    setEditTriggers(QAbstractItemView::NoEditTriggers);
    setHeaderLabels({QStringLiteral("マガジン名"), QStringLiteral("参加人数")});
    header()->setSectionsClickable(true);
    // First-start widths; loadColumnWidths puts stored ones over them.
    const QStringList samples = ListWidths::magazineSamples();
    for (int c = 0; c < samples.size(); ++c)
        setColumnWidth(c, ListWidths::fitColumn(this, c, samples[c]));
    HeaderSort::clear(*header());
    connect(header(), &QHeaderView::sortIndicatorChanged, this, &TMagazineList::SortMagazines);
    connect(this, &QTreeWidget::itemDoubleClicked, this, &TMagazineList::editRequested);
    connect(&magazine, &CurrentMagazine::changed, this, [this] { markCurrent(FindMagazineRow()); });
}

void TMagazineList::loadColumnWidths()
{
    const auto s = AppSettings::open();
    for (int i = 0; i < 2; ++i) {
        const QString name = QStringLiteral("List1Width%1").arg(i + 1);
        if (s->contains(name))
            setColumnWidth(i, s->value(name).toInt());
    }
}

void TMagazineList::saveColumnWidths() const
{
    const auto s = AppSettings::open();
    s->setValue(QStringLiteral("List1Width1"), columnWidth(0));
    s->setValue(QStringLiteral("List1Width2"), columnWidth(1));
}

int TMagazineList::magIdxOf(const QTreeWidgetItem *item)
{
    return item->data(0, Qt::UserRole).toInt();
}

void TMagazineList::markCurrent(int row)
{
    for (int i = 0; i < topLevelItemCount(); ++i)
        setMark(topLevelItem(i), i == row);
}

void TMagazineList::ShowMemberCount(int count)
{
    const int row = FindMagazineRow();
    if (row < 0 || row >= topLevelItemCount())
        return;
    topLevelItem(row)->setText(1, QString::number(count));
}

int TMagazineList::FindMagazineRow() const
{
    if (!m_magazine.isChosen())
        return -1;
    for (int i = 0; i < topLevelItemCount(); ++i)
        if (topLevelItem(i)->data(0, Qt::UserRole).toInt() == m_magazine.CurMagIdx())
            return i;
    return -1;
}

void TMagazineList::ListView1ColumnClick(int column)
{
    // The header's indicator changing sorts the rows, as after a click on the header itself.
    header()->setSortIndicator(column, HeaderSort::nextOrder(*header(), column));
}

void TMagazineList::SortMagazines(int column, Qt::SortOrder order)
{
    if (column < 0)
        return;
    m_sortDescending = order == Qt::DescendingOrder;
    m_sortColumn = column;
    header()->setSortIndicatorShown(true);
    sortItems(column, order);
}

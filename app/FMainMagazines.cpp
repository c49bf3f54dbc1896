// Magazine list and magazine commands.
#include "FMain.h"

#include "HeaderSort.h"
#include "issue/ui/FSendPage.h"

#include "members/ui/FMagzineDlg.h"
#include "members/MagazineEntry.h"
#include "members/MemberListModel.h"
#include "members/UMagazineChoice.h"
#include "members/UMemberRecord.h"
#include "members/USjisKey.h"
#include "store/Database.h"
#include "widgets/Command.h"
#include "widgets/MessageBox.h"
#include "widgets/WaitCursor.h"

#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QSignalBlocker>
#include <QStyle>
#include <QTreeView>
#include <QTreeWidget>

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

void TMainForm::LoadMagazineList()
{
    WaitCursor wait;
    Command::run(this, [this] {
        const QList<MagazineSql::ListEntry> list = MagazineSql::list();
        ListView1->clear();
        for (const MagazineSql::ListEntry &m : list) {
            auto *item = new MagazineItem(ListView1);
            item->setData(0, Qt::UserRole, m.magIdx);
            item->setText(0, m.name);
            item->setText(1, QString::number(m.members));
            setMark(item, false);
        }
    });
}

void TMainForm::ShowMagazine(int magIdx)
{
    WaitCursor wait;
    Command::run(this, [this, magIdx] {
        const auto m = MagazineSql::load(magIdx);
        if (!m)
            return;
        MagFieldNames = m->fieldNames;
        SendPage->SetAfterSendCaptions(AfterSendCaptions(MagFieldNames));
        MagSign = m->sign;
    });
}

int TMainForm::FindMagazineRow() const
{
    if (!HasMagazine())
        return -1;
    for (int i = 0; i < ListView1->topLevelItemCount(); ++i)
        if (ListView1->topLevelItem(i)->data(0, Qt::UserRole).toInt() == CurMagIdx)
            return i;
    return -1;
}

void TMainForm::wireMagazineDialog(TMagzineDlg &dlg)
{
    // The editor is modal over the magazine dialog, which lists the signatures again after it.
    connect(&dlg, &TMagzineDlg::SignatureEditRequested, this,
            [this, &dlg](const QString &fileName) { EditSignature(&dlg, fileName); }, Qt::DirectConnection);
}

void TMainForm::A2Click()
{
    {
        TMagzineDlg dlg(DataDir, this);
        wireMagazineDialog(dlg);
        dlg.setSave(MagazineEntry::save);
        dlg.exec();
    }
    CurMagIdx = MagazineChoice::None;
    MagNamePanel->clear();
    LoadMagazineList();
}

void TMainForm::E2Click()
{
    const auto selected = ListView1->selectedItems();
    if (selected.isEmpty())
        return;
    QTreeWidgetItem *item = selected.first();
    MagazineRecord stored;
    if (!Command::run(this, [&] { stored = MagazineEntry::stored(item->data(0, Qt::UserRole).toInt()); }))
        return;
    TMagzineDlg dlg(DataDir, this);
    wireMagazineDialog(dlg);
    dlg.setRecord(stored);
    dlg.setSave(MagazineEntry::save);
    if (dlg.exec() != QDialog::Accepted)
        return;
    item->setText(0, dlg.record().name);
    if (item->data(0, Qt::UserRole).toInt() == CurMagIdx)
        MagNamePanel->setText(dlg.record().name);
    ShowMagazine(CurMagIdx);
    BuildMemberColumns();
}

void TMainForm::D2Click()
{
    if (!HasMagazine())
        return;
    const int r = FindMagazineRow();
    const QString caption = r >= 0 ? ListView1->topLevelItem(r)->text(0) : QString();
    if (MessageBox::confirm(this, QStringLiteral("「%1」を削除します。よろしいですか？").arg(caption),
                            MessageBox::Buttons::YesNoCancel)
        != MessageBox::Answer::Yes)
        return;
    WaitCursor wait;
    const int magIdx = CurMagIdx;
    const bool deleted = Command::run(this, [magIdx] { MagazineSql::removeWithMembers(magIdx); });
    if (!deleted)
        return;
    if (r >= 0)
        delete ListView1->takeTopLevelItem(r);
    // No magazine is current any more: member and send commands must not act on the
    // deleted one, so its name, columns and rows go too.
    CurMagIdx = MagazineChoice::None;
    MagNamePanel->clear();
    MagSign.clear();
    BuildMemberColumns();
    LoadMemberRows(-1);
    ListView4->clear();
}

void TMainForm::ListView1SelectItem()
{
    const auto selected = ListView1->selectedItems();
    if (selected.isEmpty())
        return;
    saveMemberColumnWidths();
    QTreeWidgetItem *item = selected.first();
    const int magIdx = item->data(0, Qt::UserRole).toInt();
    if (magIdx == CurMagIdx)
        return;
    for (int i = 0; i < ListView1->topLevelItemCount(); ++i)
        setMark(ListView1->topLevelItem(i), false);
    setMark(item, true);
    CurMagIdx = magIdx;
    MagNamePanel->setText(item->text(0));
    ShowMagazine(magIdx);
    BuildMemberColumns();
    LoadMemberRows(magIdx);
    ListView4->clear();
}

void TMainForm::ListView1ColumnClick(int column)
{
    // The header's indicator changing sorts the rows, as after a click on the header itself.
    ListView1->header()->setSortIndicator(column, HeaderSort::nextOrder(*ListView1->header(), column));
}

void TMainForm::SortMagazines(int column, Qt::SortOrder order)
{
    if (column < 0)
        return;
    SortDescending = order == Qt::DescendingOrder;
    MagSortColumn = column;
    ListView1->header()->setSortIndicatorShown(true);
    ListView1->sortItems(column, order);
}
